#include "frame_actions.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

#include "artwork.h"

CFrameActions::CFrameActions(QMainWindow* window, std::function<void(int id)> command)
    : m_command(std::move(command)) {
    CreateActions(window);
    CreateMenus(window);
    CreateToolbar(window);
}

void CFrameActions::CreateActions(QMainWindow* window) {
    struct ActionInfo {
        int id;
        const char* text;
        const char* prompt;
    };
    const ActionInfo infos[] = {
        {ID_FILE_OPEN, QT_TR_NOOP("Select f&olders..."),
         QT_TR_NOOP("Choose the folders to search for duplicates")},
        {ID_FILE_SAVE, QT_TR_NOOP("Save &playlist..."),
         QT_TR_NOOP("Save the listed files as an M3U playlist")},
        {ID_OPTIONS, QT_TR_NOOP("Options"), QT_TR_NOOP("Change how files are compared")},
        {ID_DELETE_MARKED, QT_TR_NOOP("Delete &marked"),
         QT_TR_NOOP("Move every marked file to the trash")},
        {ID_APP_EXIT, QT_TR_NOOP("E&xit"), QT_TR_NOOP("Quit the program")},
        {ID_APP_ABOUT, QT_TR_NOOP("&About Harmonyfox..."),
         QT_TR_NOOP("Show the program's version and web links")},
    };
    for (size_t i = 0; i < std::size(infos); ++i) {
        QAction* action = new QAction(tr(infos[i].text), window);
        action->setStatusTip(tr(infos[i].prompt));
        const int id = infos[i].id;
        QObject::connect(action, &QAction::triggered, window, [this, id] { m_command(id); });
        m_actions[i] = action;
    }
    m_actions[0]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_actions[0]->setIcon(
        QIcon::fromTheme(QStringLiteral("folder-open"), artwork::OpenFoldersIcon()));
    // The menu names Ctrl+P; Ctrl+S, the desktop's usual save key, works as well.
    m_actions[1]->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_P), QKeySequence(Qt::CTRL | Qt::Key_S)});
    m_actions[1]->setIcon(
        QIcon::fromTheme(QStringLiteral("document-save-as"), artwork::SavePlaylistIcon()));
    m_actions[2]->setIcon(
        QIcon::fromTheme(QStringLiteral("preferences-system"), artwork::OptionsIcon()));
    m_actions[5]->setIcon(QIcon::fromTheme(QStringLiteral("help-about"), artwork::AboutIcon()));

    auto scanAction = [this, window](const char* text, const char* prompt, Qt::Key key,
                                     const char* theme, QStyle::StandardPixmap fallback, int id) {
        QAction* action = new QAction(tr(text), window);
        action->setStatusTip(tr(prompt));
        action->setShortcut(QKeySequence(key));
        action->setIcon(
            QIcon::fromTheme(QString::fromLatin1(theme), window->style()->standardIcon(fallback)));
        QObject::connect(action, &QAction::triggered, window, [this, id] { m_command(id); });
        return action;
    };
    m_scanAction = scanAction(QT_TR_NOOP("&Scan"),
                              QT_TR_NOOP("Search the chosen folders for duplicates again"),
                              Qt::Key_F5, "view-refresh", QStyle::SP_BrowserReload, ID_SCAN);
    m_stopAction =
        scanAction(QT_TR_NOOP("S&top"), QT_TR_NOOP("Stop the scan; the pairs found so far stay"),
                   Qt::Key_Escape, "process-stop", QStyle::SP_BrowserStop, ID_STOP);
}

void CFrameActions::CreateMenus(QMainWindow* window) {
    QMenu* file = window->menuBar()->addMenu(tr("&File"));
    file->addAction(m_actions[0]);
    file->addAction(m_scanAction);
    file->addAction(m_stopAction);
    file->addAction(m_actions[1]);
    file->addAction(m_actions[2]);
    file->addAction(m_actions[3]);
    file->addSeparator();
    file->addAction(m_actions[4]);
    QMenu* view = window->menuBar()->addMenu(tr("&View"));
    QAction* skipped = view->addAction(tr("&Skipped files..."));
    skipped->setStatusTip(tr("List the files of the scan that gave no fingerprint"));
    QObject::connect(skipped, &QAction::triggered, window, [this] { m_command(ID_VIEW_SKIPPED); });
    QMenu* help = window->menuBar()->addMenu(tr("&Help"));
    QAction* update = help->addAction(tr("Check for &update"));
    update->setStatusTip(tr("Ask the web site whether a newer version exists"));
    QObject::connect(update, &QAction::triggered, window, [this] { m_command(ID_CHECK_UPDATE); });
    help->addAction(m_actions[5]);

    auto contextMenu = [this, window](std::initializer_list<std::pair<const char*, int>> items) {
        QMenu* menu = new QMenu(window);
        for (const auto& [text, id] : items) {
            if (id == 0) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(tr(text));
            const int command = id;
            QObject::connect(action, &QAction::triggered, window,
                             [this, command] { m_command(command); });
        }
        return menu;
    };
    m_menuBoth = contextMenu({{QT_TR_NOOP("Play left"), ID_PLAY_LEFT},
                              {QT_TR_NOOP("Play right"), ID_PLAY_RIGHT},
                              {"", 0},
                              {QT_TR_NOOP("Delete left"), ID_DELETE_LEFT},
                              {QT_TR_NOOP("Delete right"), ID_DELETE_RIGHT},
                              {"", 0},
                              {QT_TR_NOOP("Not duplicates"), ID_NOT_DUPLICATES}});
    m_menuLeft = contextMenu({{QT_TR_NOOP("Play"), ID_PLAY_LEFT},
                              {QT_TR_NOOP("Open folder"), ID_EXPLORE_LEFT},
                              {"", 0},
                              {QT_TR_NOOP("Delete"), ID_DELETE_LEFT},
                              {"", 0},
                              {QT_TR_NOOP("Not duplicates"), ID_NOT_DUPLICATES}});
    m_menuRight = contextMenu({{QT_TR_NOOP("Play"), ID_PLAY_RIGHT},
                               {QT_TR_NOOP("Open folder"), ID_EXPLORE_RIGHT},
                               {"", 0},
                               {QT_TR_NOOP("Delete"), ID_DELETE_RIGHT},
                               {"", 0},
                               {QT_TR_NOOP("Not duplicates"), ID_NOT_DUPLICATES}});
}

void CFrameActions::CreateToolbar(QMainWindow* window) {
    QToolBar* bar = new QToolBar(tr("Toolbar"), window);
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setIconSize(QSize(32, 32));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->addAction(m_actions[0]);
    bar->addAction(m_scanAction);
    bar->addAction(m_stopAction);
    bar->addAction(m_actions[1]);
    bar->addSeparator();
    bar->addAction(m_actions[2]);
    bar->addSeparator();
    bar->addAction(m_actions[5]);
    bar->addSeparator();
    window->addToolBar(Qt::TopToolBarArea, bar);
    m_toolBar = bar;
}
