#include "exec/outputflow.h"
#include "exec/processtree.h"
#include "exec/shellcommand.h"
#include "mainwindowaccess.h"
#include "modalanswer.h"
#include "piecewriterline.h"
#include "testmain.h"
#include "widgetwatch.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <functional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

// What the save dialog offered before the test answered it.
struct SeenSaveDialog
{
    bool seen = false;
    QString title;
    QString proposedName;
    QString directory;
    QStringList nameFilters;
    QString selectedNameFilter;
    QWidget *parent = nullptr;
};

// Answers the next save dialog with `path` (cancels it when empty), after running `meanwhile`
// while the dialog is open. Waits as long as the test holds the result.
QSharedPointer<SeenSaveDialog> answerSaveDialog(const QString &path,
                                                std::function<void()> meanwhile = {})
{
    auto seen = QSharedPointer<SeenSaveDialog>::create();
    const QWeakPointer<SeenSaveDialog> weak = seen;
    whenNextModal([weak] { return !weak.isNull(); },
                  [weak, path, meanwhile](QWidget *modal) {
                      const QSharedPointer<SeenSaveDialog> seen = weak.toStrongRef();
                      auto *dialog = qobject_cast<QFileDialog *>(modal);
                      if (!dialog)
                          return false;
                      seen->seen = true;
                      seen->title = dialog->windowTitle();
                      auto *nameEdit =
                          dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                      if (!nameEdit)
                          return false;
                      seen->proposedName = nameEdit->text();
                      seen->directory = dialog->directory().absolutePath();
                      seen->nameFilters = dialog->nameFilters();
                      seen->selectedNameFilter = dialog->selectedNameFilter();
                      seen->parent = dialog->parentWidget();
                      if (meanwhile)
                          meanwhile();
                      if (path.isEmpty()) {
                          dialog->reject();
                      } else {
                          // Typed as a user would: selectFile() can be undone by the folder view
                          // loading late.
                          nameEdit->setText(path);
                          static_cast<QDialog *>(dialog)->accept();
                      }
                      return true;
                  });
    return seen;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot read>";
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

const QString kRule = QString(80, QLatin1Char('='));
const QString kFooter = QStringLiteral("\n") + kRule + QStringLiteral("\n命令执行完成！\n") +
                        kRule + QStringLiteral("\n\n");

void clickRow(QTableWidget *table, int row)
{
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(row, 1)).center());
}

// Selects the pane's characters from `start` to `end`.
void selectOutput(QPlainTextEdit *edit, int start, int end)
{
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
}

} // namespace

class OutputTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saveWritesTheSnapshotAsUtf8BytesUnchanged();
    void saveRefusesEmptyOutputAndIgnoresACancelledDialog();
    void failedSaveIsReportedAndNeverDamagesTheOldFile();
    void copyActionsFillTheClipboardOnlyWhenThereIsSomething();
    void outputMenuCopiesClearsOrSavesAtTheCursor();
    void consoleLineRulesHoldAcrossTheReadsOfARealChild();
    void windowsWritersAcrossTheReadsOfARealChild();
    void longLineIsCopiedSavedOrCleared();
    void outputStillWaitingIsSavedAndComesBeforeTheStop();
    void nextRunStartsOnceTheWaitingOutputIsShown();
    void timeOutCountsFromTheLastOutput_data();
    void timeOutCountsFromTheLastOutput();
    void longMaintenanceProgramRunsUntimedAfterANotice();
    void lineWithoutEndIsShownThenCompletedInPlace_data();
    void lineWithoutEndIsShownThenCompletedInPlace();
    void promptsAreAnsweredByTypingIntoThePane();
    void heldOutputMakesAFloodWaitAtItsPipe();
    void stoppedFloodShowsAnUnbrokenPrefixThenTheNotice_data();
    void stoppedFloodShowsAnUnbrokenPrefixThenTheNotice();

private:
    // Types `text` at the end of the pane, as the user would, and Return (or Ctrl+Z) after it.
    void type(const QString &text, bool endInput = false)
    {
        ui->outputEdit()->moveCursor(QTextCursor::End);
        // As an input method hands over a word (keyClicks takes Latin-1 only).
        ui->outputEdit()->insertPlainText(text);
        QTest::keyClick(ui->outputEdit(), endInput ? Qt::Key_Z : Qt::Key_Return,
                        endInput ? Qt::ControlModifier : Qt::NoModifier);
    }
    QString pane() const { return ui->outputEdit()->toPlainText(); }

    QTemporaryDir *dir = nullptr;
    QString previousDirectory;
    MainWindow *window = nullptr;
    MainWindowAccess *ui = nullptr;
    QClipboard *clipboard() const { return QGuiApplication::clipboard(); }
    QPushButton *button(const char *text) { return findButton(window, QString::fromUtf8(text)); }
};

void OutputTest::initTestCase()
{
    // The file dialog keeps its history in the user's settings; keep the tests out of them.
    QStandardPaths::setTestModeEnabled(true);
}

void OutputTest::init()
{
    // The save dialog starts in the working directory; keep anything written there in the test's
    // own folder.
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    previousDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));

    window = new MainWindow;
    ui = new MainWindowAccess(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    ui->mainTabs()->setCurrentIndex(1);
    clipboard()->setText(QStringLiteral("clipboard before"));
}

void OutputTest::cleanup()
{
    delete ui;
    delete window;
    QDir::setCurrent(previousDirectory);
    delete dir;
}

void OutputTest::saveWritesTheSnapshotAsUtf8BytesUnchanged()
{
    // Two lines: no BOM, no CR, no final newline.
    const QString target = dir->filePath(QStringLiteral("two-lines.txt"));
    ui->outputEdit()->setPlainText(QStringLiteral("a\nb"));
    auto dialog = answerSaveDialog(target);
    auto result = answerNextMessageBox(QMessageBox::Ok);
    button("保存到文件")->click();

    QVERIFY(dialog->seen);
    QCOMPARE(dialog->title, QStringLiteral("保存输出"));
    QCOMPARE(dialog->parent, window);
    QCOMPARE(dialog->nameFilters,
             QStringList({QStringLiteral("文本文件 (*.txt)"), QStringLiteral("所有文件 (*.*)")}));
    QCOMPARE(dialog->selectedNameFilter, QStringLiteral("文本文件 (*.txt)"));
    QCOMPARE(QDir(dialog->directory), QDir(dir->path()));
    const QRegularExpressionMatch name =
        QRegularExpression(QStringLiteral("^cmd_output_(\\d{8}_\\d{6})\\.txt$"))
            .match(dialog->proposedName);
    QVERIFY2(name.hasMatch(), qPrintable(dialog->proposedName));
    const QDateTime stamp =
        QDateTime::fromString(name.captured(1), QStringLiteral("yyyyMMdd_HHmmss"));
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) <= 2);

    QCOMPARE(fileBytes(target), QByteArray("a\nb"));
    QVERIFY(result->seen);
    QCOMPARE(result->title, QStringLiteral("成功"));
    QCOMPARE(result->text, QStringLiteral("输出已保存到: %1").arg(target));
    QCOMPARE(result->icon, QMessageBox::Information);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("就绪"));

    // Chinese text as UTF-8, blank lines kept, whatever the system code page; and what arrives
    // while the dialog is open is not saved.
    const QString chinese = QStringLiteral("\n中文输出\n\n第二行  \n");
    ui->outputEdit()->setPlainText(chinese);
    const QString utf8Target = dir->filePath(QStringLiteral("chinese.txt"));
    dialog = answerSaveDialog(utf8Target, [this] {
        ui->outputEdit()->appendPlainText(QStringLiteral("arrived meanwhile"));
    });
    result = answerNextMessageBox(QMessageBox::Ok);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(dialog->seen);
    QCOMPARE(fileBytes(utf8Target), chinese.toUtf8());
    QCOMPARE(fileBytes(utf8Target).size(), qsizetype(6 + 7 * 3));
    QCOMPARE(result->title, QStringLiteral("成功"));
    QVERIFY(ui->outputEdit()->toPlainText().endsWith(QStringLiteral("arrived meanwhile")));

    // Saving onto an existing file replaces its whole content, after the dialog's own question.
    writeFile(target, "a much longer previous content");
    ui->outputEdit()->setPlainText(QStringLiteral("short"));
    dialog = answerSaveDialog(target);
    auto boxes = answerMessageBoxes(2);
    button("保存到文件")->click();
    QCOMPARE(fileBytes(target), QByteArray("short"));
    QCOMPARE(boxes->size(), 2);
    QCOMPARE(boxes->at(1).title, QStringLiteral("成功"));
}

void OutputTest::saveRefusesEmptyOutputAndIgnoresACancelledDialog()
{
    ui->outputEdit()->setPlainText(QStringLiteral("  \n\t\n   "));
    auto dialog = answerSaveDialog({}, {});
    auto refusal = answerNextMessageBox(QMessageBox::Ok);
    button("保存到文件")->click();
    QVERIFY(!dialog->seen);
    QVERIFY(refusal->seen);
    QCOMPARE(refusal->title, QStringLiteral("提示"));
    QCOMPARE(refusal->text, QStringLiteral("没有输出内容可以保存"));
    QCOMPARE(refusal->icon, QMessageBox::Information);
    QCOMPARE(ui->outputEdit()->toPlainText(), QStringLiteral("  \n\t\n   "));

    ui->outputEdit()->setPlainText(QStringLiteral("something"));
    dialog = answerSaveDialog({});
    auto noBox = answerNextMessageBox(QMessageBox::Ok, 300);
    button("保存到文件")->click();
    QVERIFY(dialog->seen);
    QVERIFY(!noBox->seen);
    QVERIFY(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(ui->outputEdit()->toPlainText(), QStringLiteral("something"));
    QTest::qWait(300); // let the unused answer expire before the next test
}

void OutputTest::failedSaveIsReportedAndNeverDamagesTheOldFile()
{
    // A folder that does not exist: the file cannot even be opened.
    ui->outputEdit()->setPlainText(QStringLiteral("output"));
    const QString missing = dir->filePath(QStringLiteral("no-such-folder/out.txt"));
    auto dialog = answerSaveDialog(missing);
    auto failure = answerNextMessageBox(QMessageBox::Ok);
    button("保存到文件")->click();
    QVERIFY(dialog->seen);
    QVERIFY(failure->seen);
    QCOMPARE(failure->title, QStringLiteral("错误"));
    QCOMPARE(failure->icon, QMessageBox::Critical);
    QVERIFY2(failure->text.startsWith(QStringLiteral("保存失败: ")), qPrintable(failure->text));
    QVERIFY(failure->text.size() > QStringLiteral("保存失败: ").size());
    QVERIFY(!QFile::exists(missing));

#ifdef Q_OS_UNIX
    // A write that fails after the file was opened (here: a file size limit, as a full disk would
    // do): the old file keeps its content and no success is claimed.
    const QString existing = dir->filePath(QStringLiteral("existing.txt"));
    const QByteArray oldContent = "old content that must survive";
    writeFile(existing, oldContent);
    ui->outputEdit()->setPlainText(QStringLiteral("new output that is far too long to fit"));

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tiny = saved;
    tiny.rlim_cur = 8;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    dialog = answerSaveDialog(existing);
    auto boxes = answerMessageBoxes(2);
    button("保存到文件")->click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(boxes->size(), 2); // the dialog's overwrite question, then the outcome
    QCOMPARE(boxes->at(1).title, QStringLiteral("错误"));
    QVERIFY2(boxes->at(1).text.startsWith(QStringLiteral("保存失败: ")),
             qPrintable(boxes->at(1).text));
    QCOMPARE(boxes->at(1).icon, QMessageBox::Critical);
    QCOMPARE(fileBytes(existing), oldContent);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("existing.txt")});
#endif
}

void OutputTest::copyActionsFillTheClipboardOnlyWhenThereIsSomething()
{
    // Whitespace only counts as nothing: the clipboard keeps what it had.
    ui->outputEdit()->setPlainText(QStringLiteral(" \n\n  "));
    button("复制输出")->click();
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("没有输出可复制"));
    QCOMPARE(clipboard()->text(), QStringLiteral("clipboard before"));

    // The whole text, untrimmed.
    const QString output = QStringLiteral("\n  first line\nsecond line\n\n");
    ui->outputEdit()->setPlainText(output);
    button("复制输出")->click();
    QCOMPARE(clipboard()->text(), output);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("输出已复制到剪贴板"));

    // The command of the selected row, even though it never ran; nothing without a selection.
    clipboard()->setText(QStringLiteral("clipboard before"));
    ui->statusLabel()->setText(QStringLiteral("status before"));
    QCOMPARE(ui->commandTable()->currentRow(), -1);
    button("复制命令")->click();
    QCOMPARE(clipboard()->text(), QStringLiteral("clipboard before"));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("status before"));

    clickRow(ui->commandTable(), 3);
    button("复制命令")->click();
    QCOMPARE(clipboard()->text(), ui->currentCommands().at(3).command);
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("命令已复制到剪贴板"));
}

void OutputTest::outputMenuCopiesClearsOrSavesAtTheCursor()
{
    QPlainTextEdit *edit = ui->outputEdit();
    edit->setPlainText(QStringLiteral("line one\nline two\nline three"));

    // A multi-line selection goes to the clipboard with "\n" line breaks. The menu opens where
    // the mouse cursor is, whatever position the request carries.
    selectOutput(edit, 5, 21);
    const QPoint cursorAt(231, 117);
    QCursor::setPos(cursorAt);
    auto menu = answerNextPopupMenu(QStringLiteral("复制"));
    rightClick(edit->viewport(), QPoint(40, 10));
    QVERIFY(menu->seen);
    QCOMPARE(menu->entries,
             QStringList({QStringLiteral("复制"), QStringLiteral("清空"), QStringLiteral("保存")}));
    QCOMPARE(menu->position, cursorAt);
    QCOMPARE(menu->parent, window);
    QCOMPARE(clipboard()->text(), QStringLiteral("one\nline two\nlin"));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("选中内容已复制到剪贴板"));

    // Without a selection it copies the whole output, with copyOutput's message.
    edit->moveCursor(QTextCursor::End);
    menu = answerNextPopupMenu(QStringLiteral("复制"));
    emit edit->customContextMenuRequested(QPoint(1, 1));
    QVERIFY(menu->seen);
    QCOMPARE(clipboard()->text(), edit->toPlainText());
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("输出已复制到剪贴板"));

    // Dismissed: nothing changes.
    clipboard()->setText(QStringLiteral("clipboard before"));
    menu = answerNextPopupMenu({});
    emit edit->customContextMenuRequested(QPoint(1, 1));
    QVERIFY(menu->seen);
    QCOMPARE(clipboard()->text(), QStringLiteral("clipboard before"));
    QCOMPARE(edit->toPlainText(), QStringLiteral("line one\nline two\nline three"));

    // "保存" runs the save action.
    auto dialog = answerSaveDialog({});
    menu = answerNextPopupMenu(QStringLiteral("保存"));
    emit edit->customContextMenuRequested(QPoint(1, 1));
    QVERIFY(menu->seen);
    QVERIFY(dialog->seen);
    QCOMPARE(dialog->title, QStringLiteral("保存输出"));

    // "清空" empties the pane; on an empty pane "复制" reports that there is nothing.
    menu = answerNextPopupMenu(QStringLiteral("清空"));
    emit edit->customContextMenuRequested(QPoint(1, 1));
    QVERIFY(menu->seen);
    QVERIFY(edit->toPlainText().isEmpty());
    menu = answerNextPopupMenu(QStringLiteral("复制"));
    emit edit->customContextMenuRequested(QPoint(1, 1));
    QCOMPARE(ui->statusLabel()->text(), QStringLiteral("没有输出可复制"));
    QCOMPARE(clipboard()->text(), QStringLiteral("clipboard before"));

    // The button clears too.
    edit->setPlainText(QStringLiteral("more"));
    button("清空输出")->click();
    QVERIFY(edit->toPlainText().isEmpty());
}

void OutputTest::consoleLineRulesHoldAcrossTheReadsOfARealChild()
{
    // Through the real runner (cmd.exe under Wine, the stand-in shell elsewhere), with the reads
    // split where Windows programs make them hurt: a CR LF torn apart, wmic's CR CR LF, a progress
    // counter rewriting its line, a shorter overwrite, and a CR still pending when the run ends.
    CommandInfo info;
    info.description = QStringLiteral("分块输出");
    info.command = pieceWriterLine(
        200, {"first\r", "\nsecond\r\r", "\n10%\r", "20%\r100%\r\n", "12345\rab\n", "last\r"});
    ui->executeCommand(info);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    const QString pane = ui->outputEdit()->toPlainText();
    QVERIFY2(pane.endsWith(QStringLiteral("=\n\nfirst\nsecond\n100%\nab345\nlast") + kFooter),
             qPrintable(pane));
    QVERIFY(!pane.contains(QLatin1Char('\r')));
}

void OutputTest::windowsWritersAcrossTheReadsOfARealChild()
{
    // The interpreter's 8-bit text around a program that writes UTF-16LE (as sfc does), its
    // progress line torn after an odd byte and inside a surrogate pair, a form feed (cls) and an
    // escape sequence; then the environment that wsl reads. Wine cannot show sfc or wsl itself.
    const QString progress = QStringLiteral("验证 5% 已完成。\r验证 100% 已完成。😀\r\n");
    const QByteArray wide(reinterpret_cast<const char *>(progress.utf16()), progress.size() * 2);
    const qsizetype surrogate = progress.indexOf(QStringLiteral("😀")) * 2 + 2;
    CommandInfo info;
    info.description = QStringLiteral("混合输出");
    info.command = pieceWriterLine(200, {"\x0c"
                                         "before\r\n",
                                         wide.left(7), wide.mid(7, surrogate - 7),
                                         wide.mid(surrogate), "\x1b[32mafter\x1b[0m\r\n"}) +
#ifdef Q_OS_WIN
                   QStringLiteral(" && echo wsl=%WSL_UTF8%");
#else
                   QStringLiteral(" && echo wsl=$WSL_UTF8");
#endif
    ui->executeCommand(info);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    QString pane = ui->outputEdit()->toPlainText();
    QVERIFY2(
        pane.endsWith(QStringLiteral("=\n\nbefore\n验证 100% 已完成。😀\nafter\nwsl=1\n") + kFooter),
        pane.toUtf8().toPercentEncoding(" =\n").constData());

    // A run that ends on half a UTF-16 character shows one replacement character; the next run
    // starts clean.
    info.command = pieceWriterLine(0, {QByteArray("o\0k\0\xd1", 5)});
    ui->executeCommand(info);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    info.command = pieceWriterLine(0, {"Ping\r\n"});
    ui->executeCommand(info);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    pane = ui->outputEdit()->toPlainText();
    QVERIFY2(pane.contains(QStringLiteral("=\n\nok\uFFFD") + kFooter), qPrintable(pane));
    QVERIFY2(pane.endsWith(QStringLiteral("=\n\nPing\n") + kFooter), qPrintable(pane));
    QVERIFY(!pane.contains(QChar(0)));
}

void OutputTest::longLineIsCopiedSavedOrCleared()
{
    // The pane holds a line this long in several blocks, so that extending it stays cheap; it is
    // still one line to copy, to save, and to a CR that returns to its start.
    QString longLine(40000, QLatin1Char('x'));
    ui->queueOutput(longLine);
    ui->queueOutput(QStringLiteral("\r"));
    ui->queueOutput(QStringLiteral("ab"));
    longLine.replace(0, 2, QStringLiteral("ab"));
    button("复制输出")->click();
    QCOMPARE(clipboard()->text(), longLine);
    clipboard()->clear();
    ui->outputEdit()->selectAll();
    QTest::keyClick(ui->outputEdit(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard()->text(), longLine);

    ui->queueOutput(QStringLiteral("more"));
    const QString target = dir->filePath(QStringLiteral("gathered.txt"));
    auto dialog = answerSaveDialog(target);
    auto result = answerNextMessageBox(QMessageBox::Ok);
    button("保存到文件")->click();
    QVERIFY(dialog->seen);
    longLine.replace(2, 4, QStringLiteral("more"));
    QCOMPARE(fileBytes(target), longLine.toUtf8());

    // So is a line that the open run's decoder holds until it ends: a prompt.
    CommandInfo asking;
    asking.description = QStringLiteral("提问");
    asking.command = pieceWriterLine(30000, {"prompt: ", "never\r\n"});
    ui->executeCommand(asking);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            button("复制输出")->click();
            return clipboard()->text().endsWith(QStringLiteral("=\n\nprompt: "));
        }(),
        30000);
    QVERIFY(clipboard()->text().startsWith(longLine + QStringLiteral("\n")));

    // Nothing received before a clear shows up after it, however long the pause.
    ui->queueOutput(QStringLiteral("gone"));
    button("清空输出")->click();
    QTest::qWait(300);
    QCOMPARE(ui->outputEdit()->toPlainText(), QString());
    ui->queueOutput(QStringLiteral("after\r\n"));
    QCOMPARE(ui->outputEdit()->toPlainText(), QStringLiteral("after\n"));
}

void OutputTest::outputStillWaitingIsSavedAndComesBeforeTheStop()
{
    // A child that writes one line and then waits, so that the run stays open.
    CommandInfo info;
    info.description = QStringLiteral("等待");
    info.command = pieceWriterLine(30000, {"started\r\n", "never\r\n"});
    ui->executeCommand(info);
    QTRY_VERIFY_WITH_TIMEOUT(ui->outputEdit()->toPlainText().endsWith(QStringLiteral("started\n")),
                             30000);

    // With no time to spare, one piece is shown at a time and the rest waits for the event loop.
    ui->setOutputBudgetMs(0);
    const auto numbered = [](const QString &prefix) {
        QString text;
        for (int i = 1; i <= 5000; ++i)
            text += prefix + QString::number(i) + QStringLiteral("\r\n");
        return text;
    };
    ui->queueOutput(numbered(QStringLiteral("a")));
    QVERIFY(!ui->outputEdit()->toPlainText().contains(QStringLiteral("a5000\n")));

    // Save and copy take everything received without inserting what waits first, so that neither
    // freezes the window. The dialog and the message box run nested event loops in which the pane
    // goes on showing it, a slice at a time: how far it gets is the machine's business, but no
    // insertion meanwhile is more than a slice.
    qsizetype largestInsertion = 0;
    connect(ui->outputEdit()->document(), &QTextDocument::contentsChange, window,
            [&](int, int, int added) {
                largestInsertion = std::max<qsizetype>(largestInsertion, added);
            });
    const qsizetype waiting = ui->waitingOutput();
    const QString target = dir->filePath(QStringLiteral("waiting.txt"));
    auto dialog = answerSaveDialog(target);
    auto result = answerNextMessageBox(QMessageBox::Ok);
    button("保存到文件")->click();
    QVERIFY(dialog->seen);
    const QString saved = QString::fromUtf8(fileBytes(target));
    QVERIFY(saved.endsWith(QStringLiteral("started\n") +
                           numbered(QStringLiteral("a")).remove(QLatin1Char('\r'))));
    button("复制输出")->click();
    QCOMPARE(clipboard()->text(), saved);
    QVERIFY2(largestInsertion < waiting / 4,
             qPrintable(QStringLiteral("%1 of %2 waiting characters inserted at once")
                            .arg(largestInsertion)
                            .arg(waiting)));

    ui->queueOutput(numbered(QStringLiteral("b")));
    QVERIFY(!ui->outputEdit()->toPlainText().contains(QStringLiteral("b5000\n")));
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    QVERIFY(ui->outputEdit()->toPlainText().endsWith(
        QStringLiteral("b4999\nb5000\n\n\n命令已被用户中断！\n") + kFooter));
}

void OutputTest::nextRunStartsOnceTheWaitingOutputIsShown()
{
    CommandInfo waiting;
    waiting.description = QStringLiteral("等待");
    waiting.command = pieceWriterLine(30000, {"started\r\n", "never\r\n"});
    ui->executeCommand(waiting);
    QTRY_VERIFY_WITH_TIMEOUT(ui->outputEdit()->toPlainText().endsWith(QStringLiteral("started\n")),
                             30000);
    ui->setOutputBudgetMs(0);
    QString lines;
    for (int i = 1; i <= 5000; ++i)
        lines += QStringLiteral("w%1\n").arg(i);
    ui->queueOutput(lines);

    // The replaced run is ended at once, but its output is still shown a slice at a time: the
    // new run's header waits for it instead of the window freezing until it is all in.
    CommandInfo next;
    next.description = QStringLiteral("下一个");
    next.command = pieceWriterLine(0, {"next\r\n"});
    ui->executeCommand(next);
    QVERIFY(!ui->outputEdit()->toPlainText().contains(QStringLiteral("w5000\n")));
    QTRY_VERIFY_WITH_TIMEOUT(
        ui->outputEdit()->toPlainText().endsWith(QStringLiteral("next\n") + kFooter), 30000);
    const QString pane = ui->outputEdit()->toPlainText();
    const qsizetype closed =
        pane.indexOf(QStringLiteral("w4999\nw5000\n\n\n命令已被用户中断！\n") + kFooter);
    QVERIFY(closed > 0);
    QCOMPARE(pane.indexOf(QStringLiteral("执行命令: 下一个")),
             pane.indexOf(kFooter, closed) + kFooter.size() + kRule.size() + 2);
}

void OutputTest::timeOutCountsFromTheLastOutput_data()
{
    QTest::addColumn<QString>("command");
    // Lines the user sends, each after this pause; 0: none.
    QTest::addColumn<int>("answerEveryMs");
    QTest::addColumn<QString>("ending");

    const auto numbered = [](int pauseMs, int pieces) {
        QList<QByteArray> writes;
        for (int i = 1; i <= pieces; ++i)
            writes << "p" + QByteArray::number(i) + "\r\n";
        return pieceWriterLine(pauseMs, writes);
    };
    // Thirteen pieces 400 ms apart take more than twice the 2 s time-out.
    QTest::newRow("writing every fifth of the time-out")
        << numbered(400, 13) << 0 << QStringLiteral("p12\np13\n") + kFooter;
    QTest::newRow("quiet for longer than the time-out")
        << numbered(6000, 2) << 0 << QStringLiteral("p1\n\n命令执行超时！\n") + kFooter;
    // A reader that prints nothing: the lines the user sends are what keeps it going.
#ifdef Q_OS_WIN
    const QString silentReader = QStringLiteral("more > nul");
#else
    const QString silentReader = QStringLiteral("cat > /dev/null");
#endif
    QTest::newRow("typing into a silent reader every fifth of the time-out")
        << silentReader << 400 << QStringLiteral("a6\n^Z\n") + kFooter;
    QTest::newRow("a question nobody answers")
        << askingLine(1) << 0 << QStringLiteral("ask1? \n命令执行超时！\n") + kFooter;
}

void OutputTest::timeOutCountsFromTheLastOutput()
{
    QFETCH(QString, command);
    QFETCH(int, answerEveryMs);
    QFETCH(QString, ending);
    ui->setRunTimeoutMs(2000);
    CommandInfo info;
    info.description = QStringLiteral("定时输出");
    info.command = command;
    ui->executeCommand(info);
    if (answerEveryMs > 0) {
        // Six lines take more than the time-out; then the end of input ends the reader.
        for (int i = 1; i <= 6; ++i) {
            QTest::qWait(answerEveryMs);
            type(QStringLiteral("a%1").arg(i));
        }
        type({}, true);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    QVERIFY2(ui->outputEdit()->toPlainText().endsWith(ending),
             qPrintable(ui->outputEdit()->toPlainText()));
}

void OutputTest::longMaintenanceProgramRunsUntimedAfterANotice()
{
    // Whether or not the program exists here, the run starts without the time-out.
    CommandInfo info;
    info.description = QStringLiteral("系统文件检查");
    info.command = QStringLiteral("sfc /scannow");
    ui->executeCommand(info);
    QVERIFY(!ui->timeOutArmed());
    QVERIFY(ui->outputEdit()->toPlainText().endsWith(
        kRule + QStringLiteral("\n\n此命令可能需要较长时间，按停止按钮可中断...\n\n")));
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
}

void OutputTest::lineWithoutEndIsShownThenCompletedInPlace_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    // What the pane shows of the first piece while the child waits; empty: not waited for.
    QTest::addColumn<QString>("shownFirst");
    QTest::addColumn<QString>("output");

    // A prompt without a line end, then nothing for long: shown as it stands, until the stop.
    QTest::newRow("prompt") << QList<QByteArray>{"Name? ", "never\r\n"} << QStringLiteral("Name? ")
                            << QStringLiteral("Name? \n\n命令已被用户中断！\n");
    const QString prompt = QStringLiteral("输入新时间: ");
    const QByteArray utf16(reinterpret_cast<const char *>(prompt.utf16()), prompt.size() * 2);
    QTest::newRow("UTF-16 prompt") << QList<QByteArray>{utf16, "never\r\n"} << prompt
                                   << prompt + QStringLiteral("\n\n命令已被用户中断！\n");
    // However the line is cut, and whether or not its first part was shown meanwhile, it ends as
    // one line, shown once.
    const QByteArray line = QStringLiteral("正在处理... 完成\r\n").toUtf8();
    for (qsizetype cut = 1; cut < line.size(); cut += 3)
        QTest::addRow("cut at %d", int(cut)) << QList<QByteArray>{line.first(cut), line.sliced(cut)}
                                             << QString() << QStringLiteral("正在处理... 完成\n");
}

void OutputTest::lineWithoutEndIsShownThenCompletedInPlace()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, shownFirst);
    QFETCH(QString, output);
    // The UTF-8 line under a code page that reads it as UTF-8 on every platform.
    ui->setRunCodePage(936);
    CommandInfo info;
    info.description = QStringLiteral("提示");
    info.command = pieceWriterLine(shownFirst.isEmpty() ? 120 : 30000, pieces);
    ui->executeCommand(info);
    if (!shownFirst.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(pane().endsWith(QStringLiteral("=\n\n") + shownFirst), 30000);
        QVERIFY(ui->process());
        QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    QVERIFY2(pane().endsWith(QStringLiteral("=\n\n") + output + kFooter), qPrintable(pane()));
}

void OutputTest::promptsAreAnsweredByTypingIntoThePane()
{
    // Typed text is sent in the run's code page, as a console sends it; the fixture repeats it.
    ui->setRunCodePage(936);
    CommandInfo info;
    info.description = QStringLiteral("提问");
    info.command = askingLine(3);
    ui->executeCommand(info);
    QTRY_VERIFY_WITH_TIMEOUT(pane().endsWith(QStringLiteral("=\n\nask1? ")), 30000);
    type(QStringLiteral("甲"));
    // A line ended by Ctrl+Z reaches the program as it stands, and the third question reads the
    // end of input.
    QTRY_VERIFY_WITH_TIMEOUT(pane().endsWith(QStringLiteral("ask2? ")), 30000);
    type(QStringLiteral("b"), true);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    QVERIFY2(
        pane().endsWith(QStringLiteral("=\n\nask1? 甲\ngot[甲]\nask2? b^Z\ngot[b]\nask3? eof\n") +
                        kFooter),
        qPrintable(pane()));

    // Output that arrives while the user types goes before the unsent text, which stays at the
    // end, after the run's footer.
    info.command = pieceWriterLine(300, {"tick1\r\n", "tick2\r\n", "tick3\r\n"});
    ui->executeCommand(info);
    ui->outputEdit()->moveCursor(QTextCursor::End);
    QTest::keyClicks(ui->outputEdit(), QStringLiteral("draft"));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    QVERIFY2(pane().endsWith(QStringLiteral("=\n\ntick1\ntick2\ntick3\n") + kFooter +
                             QStringLiteral("draft")),
             qPrintable(pane()));
    // Copy and save take what the pane shows, the answers included.
    button("复制输出")->click();
    QCOMPARE(clipboard()->text(), pane());
}

void OutputTest::heldOutputMakesAFloodWaitAtItsPipe()
{
    // The runner's way of starting a child (cmd.exe under Wine, the stand-in shell elsewhere),
    // with a child that writes 400 MB as fast as the pipe takes them. Under Wine this also shows
    // that no reader reads on behind the tool's back; what it cannot show is the size of a real
    // Windows pipe buffer.
    const QString progress = dir->filePath(QStringLiteral("progress.txt"));
    constexpr qsizetype kHoldAfter = 256 * 1024;
    QByteArray received;
    QProcess child;
    const auto endChild = qScopeGuard([&child] { ProcessTree::kill(child); });
    child.setProcessChannelMode(QProcess::MergedChannels);
    ShellCommand::prepare(child, floodWriterLine(400'000'000, progress));
    auto *flow = new OutputFlow(child);
    connect(flow, &OutputFlow::readyRead, flow, [&] {
        received += flow->read();
        if (received.size() > kHoldAfter)
            flow->hold();
    });
    QVERIFY(ProcessTree::start(child).isEmpty());
    child.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(received.size() > kHoldAfter, 30000);

    QTest::qWait(500);
    const qint64 written = floodProgress(progress);
    QTest::qWait(1000);
    QCOMPARE(floodProgress(progress), written);
    // The child got no further than what was read, a pipe buffer and the block it writes.
    QVERIFY2(
        written * 32 - received.size() < 512 * 1024,
        qPrintable(
            QStringLiteral("%1 bytes written, %2 read").arg(written * 32).arg(received.size())));

    flow->release();
    QTRY_VERIFY_WITH_TIMEOUT(floodProgress(progress) > written, 30000);
    ProcessTree::kill(child);
    QVERIFY(child.waitForFinished(30000));
    received += flow->read();
    QVERIFY(floodLinesInOrder(QString::fromLatin1(received)) > written);
}

void OutputTest::stoppedFloodShowsAnUnbrokenPrefixThenTheNotice_data()
{
    QTest::addColumn<bool>("oneLine");
    QTest::newRow("lines") << false;
    // A line past 16 K characters is gathered and shown after a pause: the child waits then too,
    // and no insertion is larger than about one read.
    QTest::newRow("one line") << true;
}

void OutputTest::stoppedFloodShowsAnUnbrokenPrefixThenTheNotice()
{
    QFETCH(bool, oneLine);
    const QString progress = dir->filePath(QStringLiteral("progress.txt"));
    qsizetype largestInsertion = 0;
    connect(ui->outputEdit()->document(), &QTextDocument::contentsChange, window,
            [&](int, int, int added) {
                largestInsertion = std::max<qsizetype>(largestInsertion, added);
            });
    qsizetype mostWaiting = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, window,
            [&] { mostWaiting = std::max(mostWaiting, ui->waitingOutput()); });
    sampler.start(1);

    CommandInfo info;
    info.description = QStringLiteral("大量输出");
    info.command = floodWriterLine(400'000'000, progress, oneLine);
    ui->executeCommand(info);
    QTRY_VERIFY_WITH_TIMEOUT(ui->outputEdit()->document()->characterCount() > 1'000'000, 30000);
    QTest::mouseClick(ui->stopBtn(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->stopBtn()->isEnabled(), 30000);
    sampler.stop();
    // Before, a one-line flood was read on at the child's speed while its chunks were gathered,
    // and inserted in one piece: megabytes each time.
    QVERIFY2(mostWaiting < 1024 * 1024 && largestInsertion < 1024 * 1024,
             qPrintable(QStringLiteral("%1 characters waited, %2 inserted at once")
                            .arg(mostWaiting)
                            .arg(largestInsertion)));

    // What was received: the pane holds a long line in several blocks.
    button("复制输出")->click();
    const QString pane = clipboard()->text();
    const QString notice = QStringLiteral("\n\n命令已被用户中断！\n") + kFooter;
    QVERIFY(pane.endsWith(notice));
    const qsizetype start = pane.indexOf(kRule + QStringLiteral("\n\n")) + kRule.size() + 2;
    const QStringView output = QStringView(pane).sliced(start, pane.size() - notice.size() - start);
    const qint64 shown = oneLine ? floodRecordsInOrder(output) : floodLinesInOrder(output);
    // Everything the child handed to its pipe before it was ended is there, once.
    QVERIFY2(
        shown >= floodProgress(progress),
        qPrintable(
            QStringLiteral("%1 lines shown, %2 written").arg(shown).arg(floodProgress(progress))));
}

QUILLWICK_TEST_MAIN(OutputTest)
#include "tst_output.moc"
