#include "exec/runtext.h"
#include "testmain.h"

namespace {

const QString kRule = QString(80, QLatin1Char('='));

CommandInfo record(const QString &description, const QString &command, bool needsAdmin)
{
    CommandInfo info;
    info.description = description;
    info.command = command;
    info.needsAdmin = needsAdmin;
    info.detail = QStringLiteral("detail is not shown");
    info.category = QStringLiteral("category is not shown");
    return info;
}

} // namespace

class RunTextTest : public QObject
{
    Q_OBJECT

private slots:
    void headerLinesWithAndWithoutAdministratorRights();
    void headerTimeStampHasTwoDigitFields();
    void footerFramesTheEndWithTwoRules();
    void endMessageByOutcome();
    void startFailureNamesTheReason();
};

void RunTextTest::headerLinesWithAndWithoutAdministratorRights()
{
    const QDateTime at(QDate(2024, 11, 23), QTime(14, 5, 9));
    QCOMPARE(
        RunText::header(
            record(QStringLiteral("显示系统详细信息"), QStringLiteral("systeminfo"), false), at),
        QStringLiteral("\n") + kRule +
            QStringLiteral("\n执行命令: 显示系统详细信息\n命令内容: systeminfo\n"
                           "执行时间: 2024-11-23 14:05:09\n") +
            kRule + QStringLiteral("\n\n"));

    // Markers in the record's own texts stay as they are: every line is filled in one pass.
    QCOMPARE(RunText::header(
                 record(QStringLiteral("name %1"), QStringLiteral("echo %2 \"a b\""), true), at),
             QStringLiteral("\n") + kRule +
                 QStringLiteral("\n执行命令: name %1\n命令内容: echo %2 \"a b\"\n"
                                "执行时间: 2024-11-23 14:05:09\n执行权限: 管理员\n") +
                 kRule + QStringLiteral("\n\n"));
}

void RunTextTest::headerTimeStampHasTwoDigitFields()
{
    const QString header = RunText::header(record(QStringLiteral("n"), QStringLiteral("c"), false),
                                           QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5)));
    QVERIFY2(header.contains(QStringLiteral("\n执行时间: 2025-01-02 03:04:05\n")),
             qPrintable(header));
    const QString evening = RunText::header(record(QStringLiteral("n"), QStringLiteral("c"), false),
                                            QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58)));
    QVERIFY(evening.contains(QStringLiteral("\n执行时间: 2025-12-31 23:59:58\n")));
}

void RunTextTest::footerFramesTheEndWithTwoRules()
{
    QCOMPARE(RunText::footer(), QStringLiteral("\n") + kRule +
                                    QStringLiteral("\n命令执行完成！\n") + kRule +
                                    QStringLiteral("\n\n"));
    QCOMPARE(kRule.size(), 80);
}

void RunTextTest::endMessageByOutcome()
{
    using RunText::Ending;
    QCOMPARE(RunText::endMessage(Ending::Exited, 0), QString());
    QCOMPARE(RunText::endMessage(Ending::Exited, 1), QStringLiteral("\n命令执行完成，返回码: 1\n"));
    QCOMPARE(RunText::endMessage(Ending::Exited, 255),
             QStringLiteral("\n命令执行完成，返回码: 255\n"));
    // Windows reports a crash as an NTSTATUS with the top bit set, e.g. 0xC0000005.
    QCOMPARE(RunText::endMessage(Ending::Exited, static_cast<int>(0xC0000005u)),
             QStringLiteral("\n命令执行完成，返回码: -1073741819\n"));
    QCOMPARE(RunText::endMessage(Ending::Exited, -1),
             QStringLiteral("\n命令执行完成，返回码: -1\n"));

    // A time-out or a stop never shows the exit code, whatever it is; the time-out comes first.
    for (const int code : {0, 1, -1, 137}) {
        QCOMPARE(RunText::endMessage(Ending::TimedOut, code), QStringLiteral("\n命令执行超时！\n"));
        QCOMPARE(RunText::endMessage(Ending::StoppedByUser, code),
                 QStringLiteral("\n\n命令已被用户中断！\n"));
    }
}

void RunTextTest::startFailureNamesTheReason()
{
    QCOMPARE(RunText::startFailure(QStringLiteral("execve: No such file or directory")),
             QStringLiteral("\n无法启动命令: execve: No such file or directory\n"));
}

QUILLWICK_TEST_MAIN(RunTextTest)
#include "tst_runtext.moc"
