#include "ui/mainwindow.h"

#include "exec/consolelines.h"
#include "exec/processtree.h"
#include "exec/shellcommand.h"
#include "exec/wmic.h"
#include "ui/accessibleoutput.h"
#include "ui/consolefont.h"
#include "ui/helptexts.h"

#include <QDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {
const QString kErrorTitle = QStringLiteral("错误");
} // namespace

void MainWindow::showTextDialog(const QString &title, const QString &text)
{
    QDialog dialog(this);
    dialog.setWindowTitle(title);
    dialog.resize(800, 600);
    auto *layout = new QVBoxLayout(&dialog);

    auto *textArea = new QPlainTextEdit;
    textArea->setReadOnly(true);
    useConsoleFont(textArea);
    // Qt tells a client of setting the text in more than one event; it hears of it once.
    auto *accessible = new AccessibleOutput(textArea);
    accessible->beginStream();
    textArea->setPlainText(text);
    accessible->endStream();
    layout->addWidget(textArea);

    auto *closeButton = new QPushButton(QStringLiteral("关闭"));
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(closeButton, 0, Qt::AlignHCenter);

    dialog.exec();
}

void MainWindow::runCommandToDialog(const QString &title, const QString &commandLine)
{
    // The run's handlers live on this guard, made before the process: the window deletes its
    // children in the order they were made, so when the window goes away the guard and the
    // handlers are gone before the process's destructor kills the child and reports its end,
    // which must not open a window on a window being destroyed.
    auto *guard = new QObject(this);
    auto *child = new QProcess(this);
    child->setProcessChannelMode(QProcess::MergedChannels);
    // Shared by the handlers; released with them.
    auto buffer = std::make_shared<QByteArray>();
    const auto release = [guard, child, buffer] {
        buffer->clear();
        child->deleteLater();
        guard->deleteLater();
    };

    connect(child, &QProcess::readyReadStandardOutput, guard,
            [child, buffer] { buffer->append(child->readAllStandardOutput()); });
    connect(child, &QProcess::finished, guard, [this, title, child, buffer, release] {
        buffer->append(child->readAllStandardOutput());
        // Decoded on its own: a run must not inherit half a character from other output.
        showTextDialog(title, consoleText(*buffer));
        release();
    });
    // A child that cannot start never finishes: without this it would stay until the window
    // closes and the user would wait for a window that never comes. Told from the event loop, as
    // on Windows the signal comes from inside start(), which must not run the box's loop.
    const auto reportStartFailure = [this, commandLine, guard, release](const QString &reason) {
        QTimer::singleShot(0, guard, [this, commandLine, reason, release] {
            release();
            QMessageBox::critical(this, kErrorTitle,
                                  QStringLiteral("无法执行命令: %1\n%2").arg(commandLine, reason));
        });
    };
    connect(child, &QProcess::errorOccurred, guard,
            [child, reportStartFailure](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    reportStartFailure(child->errorString());
            });

    // A window that closes while the run is under way ends the programs the command started too,
    // not only the interpreter that the process's own destructor kills.
    connect(guard, &QObject::destroyed, child, [child] { ProcessTree::kill(*child); });

    ShellCommand::prepare(*child, commandLine);
    const QString setUpFailure = ProcessTree::start(*child, QIODevice::ReadWrite);
    if (!setUpFailure.isEmpty()) {
        reportStartFailure(setUpFailure);
        return;
    }
    // Nobody writes to it: a program that reads its input (wmic does when the input is a pipe)
    // ends instead of keeping its window from ever opening.
    child->closeWriteChannel();
}

void MainWindow::showSystemInfo()
{
    runCommandToDialog(QStringLiteral("系统信息"), QStringLiteral("systeminfo"));
}

void MainWindow::showDiskInfo()
{
    runCommandToDialog(QStringLiteral("磁盘信息"), Wmic::diskInfoLine());
}

void MainWindow::showNetworkInfo()
{
    runCommandToDialog(QStringLiteral("网络信息"), QStringLiteral("ipconfig /all"));
}

void MainWindow::checkSystem()
{
    CommandInfo check;
    check.description = QStringLiteral("系统综合检查");
    check.command = Wmic::systemCheckLine();
    check.needsAdmin = false;
    executeCommand(check);
}

void MainWindow::showCommandHelp()
{
    const CommandInfo info = currentCommand();
    if (info.command.isEmpty())
        return;
    const QString program = helpProgramName(info.command);

    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    ShellCommand::prepare(child, program + QStringLiteral(" /?"));
    // As a tree: on a time-out the program that hangs goes too, not only its interpreter. A child
    // that could not be made ready has been ended again, so the wait below fails at once.
    ProcessTree::start(child, QIODevice::ReadWrite);
    // A program that reads its input sees the end at once instead of waiting out the bound.
    child.closeWriteChannel();

    // Blocks the window on purpose: the help is a short, synchronous look-up.
    if (!child.waitForFinished(helpTimeoutMs)) {
        ProcessTree::kill(child);
        child.waitForFinished();
        QMessageBox::warning(this, kErrorTitle, QStringLiteral("无法获取命令帮助（超时）"));
        return;
    }

    // Each channel on its own: half a character of one must not join the other.
    const QString standardOutput = consoleText(child.readAllStandardOutput());
    const QString standardError = consoleText(child.readAllStandardError());
    showTextDialog(QStringLiteral("命令帮助"),
                   commandHelpText(program, standardOutput, standardError));
}

void MainWindow::showHelp()
{
    showTextDialog(QStringLiteral("使用帮助"), usageHelpText());
}

void MainWindow::showAbout()
{
    showTextDialog(QStringLiteral("关于"), aboutText());
}
