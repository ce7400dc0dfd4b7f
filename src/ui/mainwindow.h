#pragma once

#include "catalog/commandcatalog.h"
#include "exec/consolerun.h"

#include <QList>
#include <QMainWindow>
#include <QPoint>

class OutputStream;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTreeWidget;

// The program's one window. Its member definitions are split by concern:
// mainwindow.cpp (construction), mainwindow_menus.cpp (menus and shortcuts),
// mainwindow_browsing.cpp (tree, search, paging, selection, table actions),
// mainwindow_runner.cpp (console runner), mainwindow_execution.cpp (execution entry, privilege,
// custom commands),
// mainwindow_output.cpp (output actions) and mainwindow_dialogs.cpp (text window, information
// runs, command help, usage help and About).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void onCategoryChanged();
    void onSearch();
    void changePage(int page);
    void changePageSize(int index);
    void goToLastPage();
    void onCommandSelected();
    void onCommandDoubleClicked(int row, int column);
    void executeSelectedCommand();
    void executeCustomCommand();
    void copyCommand();
    void showCommandHelp();
    void showCommandDetailsTab();
    void clearOutput();
    void saveOutput();
    void copyOutput();
    void stopCommand();
    void runAsAdmin();
    void checkSystem();
    void showSystemInfo();
    void showDiskInfo();
    void showNetworkInfo();
    void showHelp();
    void showAbout();

private:
    // Construction
    void setupUi();
    void placeOnScreen();
    void createMenus();
    void createShortcuts();

    // Browsing
    void firstPage();
    void previousPage();
    void nextPage();
    void refreshCommandList();
    void showCategoryBeforeSearch();
    void showPage(int page);
    const QList<CommandInfo> &browsedList() const;
    CommandInfo currentCommand() const;
    void showCommandContextMenu(const QPoint &position);

    // Running commands in the output pane
    void startConsoleProcess(const CommandInfo &info);
    void onProcessOutput(const QString &text);
    void onProcessFinished();
    void onProcessStartFailed(const QString &reason);
    void closeEndedRun();
    void onRunTimedOut();
    // False when the run still shows its output; it closes by itself once that is shown.
    bool interruptOpenRun();
    void finishExecution();
    void appendOutput(const QString &text);
    QString receivedOutputText() const;
    void executeCommand(const CommandInfo &info);

    // Privilege
    bool isRunningAsAdmin() const;
    void restartAsAdmin();
    void updateAdminStatus();

    // Custom commands
    void loadSavedCommands();

    // Output actions
    void showOutputContextMenu(const QPoint &position);

    // Dialogs
    void showTextDialog(const QString &title, const QString &text);
    void runCommandToDialog(const QString &title, const QString &commandLine);

    QLabel *adminStatusLabel = nullptr;
    QPushButton *adminBtn = nullptr;
    QLineEdit *searchEdit = nullptr;
    QTreeWidget *categoryTree = nullptr;
    QTableWidget *commandTable = nullptr;
    QLabel *pageInfoLabel = nullptr;
    QComboBox *pageSizeCombo = nullptr;
    QTabWidget *mainTabs = nullptr;
    QLabel *detailNameLabel = nullptr;
    QPlainTextEdit *detailCommandEdit = nullptr;
    QPlainTextEdit *detailDescriptionEdit = nullptr;
    QPlainTextEdit *outputEdit = nullptr;
    // How output reaches outputEdit.
    OutputStream *outputStream = nullptr;
    QPushButton *stopBtn = nullptr;
    QTableWidget *savedCommandsTable = nullptr;
    QLineEdit *customCommandEdit = nullptr;
    QCheckBox *runAsAdminCheck = nullptr;
    QCheckBox *waitFinishCheck = nullptr;
    QLabel *statusLabel = nullptr;
    QLabel *systemInfoLabel = nullptr;

    CommandCatalog catalog;
    // The open console run of the output pane, or none. Its child is its process() and its
    // time-out its timeoutTimer(); it goes once its end and footer are shown.
    ConsoleRun *run = nullptr;
    // How runs are set up; tests shorten the time-out and choose a code page.
    ConsoleRun::Settings runSettings;
    bool placedOnScreen = false;

    int currentPage = 0;
    int pageSize = 20;
    QList<CommandInfo> currentCommands;
    QList<CommandInfo> searchResults;
    bool isSearchMode = false;

    // Bound of the synchronous help run; tests shorten it.
    int helpTimeoutMs = 15000;

    friend struct MainWindowAccess;
};
