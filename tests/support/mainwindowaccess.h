#pragma once

#include "ui/mainwindow.h"
#include "ui/outputstream.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

#include <utility>

// Gives tests the window's private members, so that they can drive and inspect the real widgets.
struct MainWindowAccess
{
    explicit MainWindowAccess(MainWindow &window)
        : w(window)
    {}
    MainWindow &w;

    QLabel *adminStatusLabel() const { return w.adminStatusLabel; }
    QPushButton *adminBtn() const { return w.adminBtn; }
    QLineEdit *searchEdit() const { return w.searchEdit; }
    QTreeWidget *categoryTree() const { return w.categoryTree; }
    QTableWidget *commandTable() const { return w.commandTable; }
    QLabel *pageInfoLabel() const { return w.pageInfoLabel; }
    QComboBox *pageSizeCombo() const { return w.pageSizeCombo; }
    QTabWidget *mainTabs() const { return w.mainTabs; }
    QLabel *detailNameLabel() const { return w.detailNameLabel; }
    QPlainTextEdit *detailCommandEdit() const { return w.detailCommandEdit; }
    QPlainTextEdit *detailDescriptionEdit() const { return w.detailDescriptionEdit; }
    QPlainTextEdit *outputEdit() const { return w.outputEdit; }
    QPushButton *stopBtn() const { return w.stopBtn; }
    QTableWidget *savedCommandsTable() const { return w.savedCommandsTable; }
    QLineEdit *customCommandEdit() const { return w.customCommandEdit; }
    QCheckBox *runAsAdminCheck() const { return w.runAsAdminCheck; }
    QCheckBox *waitFinishCheck() const { return w.waitFinishCheck; }
    QLabel *statusLabel() const { return w.statusLabel; }
    QLabel *systemInfoLabel() const { return w.systemInfoLabel; }
    // The open run's time-out and child; none while no run is open.
    QTimer *timeoutTimer() const { return w.run ? w.run->timeoutTimer() : nullptr; }
    QProcess *process() const { return w.run ? w.run->process() : nullptr; }
    bool timeOutArmed() const { return w.run && w.run->timeoutTimer()->isActive(); }

    int currentPage() const { return w.currentPage; }
    int pageSize() const { return w.pageSize; }
    bool isSearchMode() const { return w.isSearchMode; }
    const QList<CommandInfo> &currentCommands() const { return w.currentCommands; }
    const QList<CommandInfo> &searchResults() const { return w.searchResults; }
    CommandInfo currentCommand() const { return w.currentCommand(); }

    void setRunTimeoutMs(int ms) { w.runSettings.timeoutMs = ms; }
    void setHelpTimeoutMs(int ms) { w.helpTimeoutMs = ms; }
    void setOutputBudgetMs(qint64 ms) { w.outputStream->setBudgetMs(ms); }

    void executeCommand(const CommandInfo &info) { w.executeCommand(info); }
    void runTimedOut() { w.onRunTimedOut(); }
    void appendOutput(const QString &text) { w.appendOutput(text); }
    // As if a child of the open run had written `text`.
    void queueOutput(const QString &text) { w.outputStream->queue(text); }
    qsizetype waitingOutput() const { return w.outputStream->waitingSize(); }
    // What copy and save take: the pane holds a long line in several blocks.
    QString receivedOutputText() const { return w.receivedOutputText(); }
    void setRunCodePage(unsigned codePage) { w.runSettings.codePage = codePage; }
    void showTextDialog(const QString &title, const QString &text)
    {
        w.showTextDialog(title, text);
    }
    void runCommandToDialog(const QString &title, const QString &commandLine)
    {
        w.runCommandToDialog(title, commandLine);
    }
    void showCommandContextMenu() { w.showCommandContextMenu({}); }
    void showOutputContextMenu() { w.showOutputContextMenu({}); }
};

// The push button of `parent` labelled `text` (the first one in creation order).
QPushButton *findButton(QWidget *parent, const QString &text);
