#include "frame_actions.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
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
        QKeySequence key;
    };
    const ActionInfo infos[] = {
        {ID_FILE_OPEN, QT_TR_NOOP("Select f&olders..."),
         QT_TR_NOOP("Choose the folders to search for duplicates"), QKeySequence::Open},
        {ID_FILE_SAVE,
         QT_TR_NOOP("Save &playlist..."),
         QT_TR_NOOP("Save the listed files as an M3U playlist"),
         {}},
        {ID_OPTIONS, QT_TR_NOOP("Options"), QT_TR_NOOP("Change how files are compared"), {}},
        {ID_DELETE_MARKED, QT_TR_NOOP("Delete &marked"),
         QT_TR_NOOP("Move every marked file to the trash"),
         QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
        {ID_APP_EXIT, QT_TR_NOOP("&Quit"), QT_TR_NOOP("Quit the program"), QKeySequence::Quit},
        {ID_APP_ABOUT,
         QT_TR_NOOP("&About Harmonyfox..."),
         QT_TR_NOOP("Show the program's version and web links"),
         {}},
        {ID_EXPORT, QT_TR_NOOP("&Export..."),
         QT_TR_NOOP("Save the pairs or groups shown as CSV, or as an M3U playlist"),
         QKeySequence(Qt::CTRL | Qt::Key_E)},
        {ID_SELECT_ALL, QT_TR_NOOP("Select &all"), QT_TR_NOOP("Select every row of the view shown"),
         QKeySequence::SelectAll},
        {ID_DELETE_SELECTED, QT_TR_NOOP("&Delete"),
         QT_TR_NOOP("Move the selected files to the trash; never the last copy without asking"),
         QKeySequence::Delete},
    };
    static_assert(std::size(infos) == std::size(decltype(m_actions){}));
    for (size_t i = 0; i < std::size(infos); ++i) {
        QAction* action = new QAction(tr(infos[i].text), window);
        action->setStatusTip(tr(infos[i].prompt));
        action->setShortcut(infos[i].key);
        const int id = infos[i].id;
        QObject::connect(action, &QAction::triggered, window, [this, id] { m_command(id); });
        window->addAction(action);
        m_actions[i] = action;
    }
    m_actions[0]->setIcon(
        QIcon::fromTheme(QStringLiteral("folder-open"), artwork::OpenFoldersIcon()));
    // The menu names Ctrl+P; Ctrl+S, the desktop's usual save key, works as well.
    m_actions[1]->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_P), QKeySequence(Qt::CTRL | Qt::Key_S)});
    m_actions[1]->setIcon(
        QIcon::fromTheme(QStringLiteral("document-save-as"), artwork::SavePlaylistIcon()));
    m_actions[2]->setIcon(
        QIcon::fromTheme(QStringLiteral("preferences-system"), artwork::OptionsIcon()));
    m_actions[4]->setIcon(QIcon::fromTheme(QStringLiteral("application-exit")));
    // Ctrl+Q quits on every Linux desktop, whichever key scheme the platform names.
    QList<QKeySequence> quit = QKeySequence::keyBindings(QKeySequence::Quit);
    if (!quit.contains(QKeySequence(Qt::CTRL | Qt::Key_Q))) {
        quit.append(QKeySequence(Qt::CTRL | Qt::Key_Q));
    }
    m_actions[4]->setShortcuts(quit);
    m_actions[5]->setIcon(QIcon::fromTheme(QStringLiteral("help-about"), artwork::AboutIcon()));
    m_actions[6]->setIcon(QIcon::fromTheme(QStringLiteral("document-export")));
    m_actions[8]->setIcon(QIcon::fromTheme(QStringLiteral("edit-delete")));

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
    file->addSeparator();
    file->addAction(m_actions[1]);
    file->addAction(m_actions[6]);
    file->addSeparator();
    file->addAction(m_actions[2]);
    file->addSeparator();
    file->addAction(m_actions[4]);
    m_edit = window->menuBar()->addMenu(tr("&Edit"));
    m_edit->addAction(m_actions[7]);
    m_edit->addSeparator();
    m_edit->addAction(m_actions[8]);
    m_view = window->menuBar()->addMenu(tr("&View"));
    QAction* skipped = m_view->addAction(tr("&Skipped files..."));
    skipped->setStatusTip(tr("List the files of the scan that gave no fingerprint"));
    QObject::connect(skipped, &QAction::triggered, window, [this] { m_command(ID_VIEW_SKIPPED); });
    QMenu* help = window->menuBar()->addMenu(tr("&Help"));
    QAction* manual = help->addAction(tr("Harmonyfox &Help"));
    manual->setShortcut(QKeySequence::HelpContents);
    manual->setIcon(QIcon::fromTheme(QStringLiteral("help-contents")));
    manual->setStatusTip(tr("How to use the program, and its keys"));
    QObject::connect(manual, &QAction::triggered, window, [this] { m_command(ID_HELP); });
    window->addAction(manual);
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
                              {QT_TR_NOOP("Keep this one"), ID_KEEP_LEFT},
                              {QT_TR_NOOP("Mark all in this folder"), ID_MARK_FOLDER_LEFT},
                              {QT_TR_NOOP("Unmark all in this folder"), ID_UNMARK_FOLDER_LEFT},
                              {"", 0},
                              {QT_TR_NOOP("Delete"), ID_DELETE_LEFT},
                              {"", 0},
                              {QT_TR_NOOP("Not duplicates"), ID_NOT_DUPLICATES}});
    m_menuRight = contextMenu({{QT_TR_NOOP("Play"), ID_PLAY_RIGHT},
                               {QT_TR_NOOP("Open folder"), ID_EXPLORE_RIGHT},
                               {"", 0},
                               {QT_TR_NOOP("Keep this one"), ID_KEEP_RIGHT},
                               {QT_TR_NOOP("Mark all in this folder"), ID_MARK_FOLDER_RIGHT},
                               {QT_TR_NOOP("Unmark all in this folder"), ID_UNMARK_FOLDER_RIGHT},
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
