#pragma once

#include "catalog/commandcatalog.h"
#include "exec/consoledecoder.h"
#include "exec/consolelines.h"

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QProcess>

#include <optional>

class AccessibleOutput;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;
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
    void onProcessOutput(QProcess *child);
    void onProcessFinished(QProcess *child, int exitCode);
    void onProcessStartFailed(QProcess *child, const QString &reason);
    void closeEndedRun();
    void onRunTimedOut();
    // False when the run still shows its output; it closes by itself once that is shown.
    bool interruptOpenRun();
    void finishExecution();
    void appendOutput(const QString &text);
    void queueOutput(const QString &text);
    void flushOutput();
    void insertPendingOutput(qint64 budgetMs);
    QString receivedOutputText() const;
    QString decodeConsoleOutput(const QByteArray &bytes);
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
    // What accessibility clients hear of the pane while a run streams into it.
    AccessibleOutput *accessibleOutput = nullptr;
    QPushButton *stopBtn = nullptr;
    QTableWidget *savedCommandsTable = nullptr;
    QLineEdit *customCommandEdit = nullptr;
    QCheckBox *runAsAdminCheck = nullptr;
    QCheckBox *waitFinishCheck = nullptr;
    QLabel *statusLabel = nullptr;
    QLabel *systemInfoLabel = nullptr;

    CommandCatalog catalog;
    QProcess *process = nullptr;
    QTimer *timeoutTimer = nullptr;
    bool timedOut = false;
    bool stoppedByUser = false;
    // Set when the child has ended: its run closes, with this message, once its output is shown.
    std::optional<QString> endedRunMessage;
    // A run asked for while the output of the one it replaces was still being shown.
    std::optional<CommandInfo> nextRun;
    bool placedOnScreen = false;
    // Written after the open run's output: why a wmic line failed where WMIC is missing.
    QString runNote;

    int currentPage = 0;
    int pageSize = 20;
    QList<CommandInfo> currentCommands;
    QList<CommandInfo> searchResults;
    bool isSearchMode = false;

    // Child output waiting to be shown, from pendingStart on; see queueOutput.
    QString pendingOutput;
    qsizetype pendingStart = 0;
    // The console line rules for the child output in the pane.
    ConsoleLines consoleLines;
    QTimer *outputFlushTimer = nullptr;
    int outputFlushDelayMs = 0;
    // How long output is inserted before the event loop runs again, so that the window repaints
    // and "停止执行" is heard while a fast child streams; the rest follows.
    qint64 outputBudgetMs = 5;
    // When the pane last showed the output it was given.
    QElapsedTimer sinceOutputShown;

    ConsoleDecoder consoleDecoder;
    // The code page the pane's runs are decoded in; 0 for the console's. Tests choose one.
    unsigned runCodePage = 0;

    // Bounds of a console run and of the synchronous help run; tests shorten them.
    int runTimeoutMs = 60000;
    int helpTimeoutMs = 15000;

    friend struct MainWindowAccess;
};
