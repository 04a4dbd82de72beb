// CFrameActions: the main window's commands as actions, in its menus, its
// toolbar and the list's context menus. Every action runs the window's
// command by its id. UI thread only; the actions belong to the window.
#pragma once

#include <QCoreApplication>
#include <QMainWindow>

#include <functional>

class QAction;
class QMenu;
class QToolBar;

// The menu and toolbar command ids of the main window.
enum FrameCommand : int {
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_OPTIONS = 32785,
    ID_DELETE_MARKED = 32799,
    ID_APP_EXIT = 57665,
    ID_CHECK_UPDATE = 32788,
    ID_APP_ABOUT = 57664,
    ID_PLAY_LEFT = 32791,
    ID_PLAY_RIGHT = 32792,
    ID_EXPLORE_LEFT = 32794,
    ID_EXPLORE_RIGHT = 32796,
    ID_DELETE_LEFT = 32778,
    ID_DELETE_RIGHT = 32779,
    ID_SCAN = 32800,
    ID_STOP = 32801,
    ID_VIEW_SKIPPED = 32802,
    ID_NOT_DUPLICATES = 32803,
    ID_EXPORT = 32804,
    ID_SELECT_ALL = 32805,
    ID_DELETE_SELECTED = 32806,
    ID_HELP = 32807,
    ID_KEEP_LEFT = 32808,
    ID_KEEP_RIGHT = 32809,
    ID_MARK_FOLDER_LEFT = 32810,
    ID_MARK_FOLDER_RIGHT = 32811,
    ID_UNMARK_FOLDER_LEFT = 32812,
    ID_UNMARK_FOLDER_RIGHT = 32813,
};

class CFrameActions {
    Q_DECLARE_TR_FUNCTIONS(CFrameActions)

  public:
    // Builds the actions, the menus and the toolbar of window; command runs
    // a command by its id.
    CFrameActions(QMainWindow* window, std::function<void(int id)> command);

    QAction* open() const { return m_actions[0]; }
    QAction* savePlaylist() const { return m_actions[1]; }
    QAction* options() const { return m_actions[2]; }
    QAction* deleteMarked() const { return m_actions[3]; }
    QAction* scan() const { return m_scanAction; }
    QAction* stop() const { return m_stopAction; }
    QToolBar* toolBar() const { return m_toolBar; }
    // The Edit menu (Select all, Delete; room above them for more) and the
    // View menu (Skipped files; the result views add theirs).
    QMenu* editMenu() const { return m_edit; }
    QMenu* viewMenu() const { return m_view; }
    // The list's context menu for a click in column (File #1, File #2 or another).
    QMenu* ContextMenu(bool left, bool right) const {
        return left ? m_menuLeft : right ? m_menuRight : m_menuBoth;
    }

  private:
    void CreateActions(QMainWindow* window);
    void CreateMenus(QMainWindow* window);
    void CreateToolbar(QMainWindow* window);

    std::function<void(int id)> m_command;
    QAction* m_actions[9] = {};
    QAction* m_scanAction = nullptr;
    QAction* m_stopAction = nullptr;
    QMenu* m_edit = nullptr;
    QMenu* m_view = nullptr;
    QMenu* m_menuBoth = nullptr;
    QMenu* m_menuLeft = nullptr;
    QMenu* m_menuRight = nullptr;
    QToolBar* m_toolBar = nullptr;
};
