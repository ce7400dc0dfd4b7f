#include "catalog/commandcatalog.h"
#include "exec/commandkind.h"
#include "exec/wmic.h"
#include "testmain.h"

class CommandKindTest : public QObject
{
    Q_OBJECT

private slots:
    void graphicalCommandLines_data();
    void graphicalCommandLines();
    void catalogHoldsFortySevenGraphicalCommands();
    void continuousPingNeedsBothSubstrings_data();
    void continuousPingNeedsBothSubstrings();
    void longMaintenanceProgramsAreNamedByTheirFirstWord_data();
    void longMaintenanceProgramsAreNamedByTheirFirstWord();
    void runningLongProgramsAreNamedByTheirFile_data();
    void runningLongProgramsAreNamedByTheirFile();
    void consoleReadersGetANote_data();
    void consoleReadersGetANote();
    void wmicLinesGetANoteOnlyWhereWmicIsMissing_data();
    void wmicLinesGetANoteOnlyWhereWmicIsMissing();
};

void CommandKindTest::graphicalCommandLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("graphical");

    QTest::newRow("console") << QStringLiteral("services.msc") << true;
    QTest::newRow("applet") << QStringLiteral("appwiz.cpl") << true;
    QTest::newRow("ftp") << QStringLiteral("ftp") << true;
    QTest::newRow("telnet") << QStringLiteral("telnet") << true;
    QTest::newRow("cleanmgr") << QStringLiteral("cleanmgr") << true;
    QTest::newRow("msinfo32") << QStringLiteral("msinfo32") << true;
    QTest::newRow("winver") << QStringLiteral("winver") << true;
    QTest::newRow("mstsc") << QStringLiteral("mstsc") << true;
    QTest::newRow("console through mmc") << QStringLiteral("mmc compmgmt.msc") << true;
    QTest::newRow("applet through control") << QStringLiteral("control appwiz.cpl") << true;
    QTest::newRow("suffix inside a word") << QStringLiteral("echo x.mscy") << true;

    QTest::newRow("named program with arguments")
        << QStringLiteral("msinfo32 /report x.txt") << false;
    QTest::newRow("leading blank") << QStringLiteral(" msinfo32") << false;
    QTest::newRow("trailing blank") << QStringLiteral("mstsc ") << false;
    QTest::newRow("upper case") << QStringLiteral("MSINFO32") << false;
    QTest::newRow("capitalised") << QStringLiteral("Ftp") << false;
    QTest::newRow("upper-case suffix") << QStringLiteral("SERVICES.MSC") << false;
    QTest::newRow("mmc alone") << QStringLiteral("mmc") << false;
    QTest::newRow("control alone") << QStringLiteral("control") << false;
    QTest::newRow("eventvwr") << QStringLiteral("eventvwr") << false;
    QTest::newRow("empty") << QString() << false;
}

void CommandKindTest::graphicalCommandLines()
{
    QFETCH(QString, line);
    QFETCH(bool, graphical);
    QCOMPARE(isGuiCommand(line), graphical);
}

void CommandKindTest::catalogHoldsFortySevenGraphicalCommands()
{
    int total = 0;
    QStringList graphical;
    for (const CommandCategory &category : CommandCatalog::allCategories()) {
        for (const CatalogEntry &entry : category.commands) {
            ++total;
            if (isGuiCommand(entry.command))
                graphical << entry.command;
        }
    }
    QCOMPARE(total, 717);
    QCOMPARE(graphical.size(), 47);
    for (const char *named : {"ftp", "telnet", "cleanmgr", "msinfo32", "winver", "mstsc"})
        QVERIFY2(graphical.contains(QLatin1String(named)), named);

    // Of them, only the console programs that talk with the user get a console window.
    QStringList ownConsole;
    for (const QString &line : graphical) {
        if (needsOwnConsole(line))
            ownConsole << line;
    }
    ownConsole.sort();
    QCOMPARE(ownConsole, QStringList({QStringLiteral("ftp"), QStringLiteral("telnet")}));
}

void CommandKindTest::continuousPingNeedsBothSubstrings_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("continuous");

    QTest::newRow("ping -t") << QStringLiteral("ping -t 127.0.0.1") << true;
    QTest::newRow("-t after the address") << QStringLiteral("ping 8.8.8.8 -t") << true;
    QTest::newRow("unrelated places in a chain")
        << QStringLiteral("tasklist -t && ping 127.0.0.1") << true;
    QTest::newRow("inside words") << QStringLiteral("echo pinging dir-tree") << true;
    QTest::newRow("upper-case PING") << QStringLiteral("PING -t 127.0.0.1") << false;
    QTest::newRow("upper-case -T") << QStringLiteral("ping -T 127.0.0.1") << false;
    QTest::newRow("ping without -t") << QStringLiteral("ping -n 4 127.0.0.1") << false;
    QTest::newRow("-t without ping") << QStringLiteral("sort -t x") << false;
}

void CommandKindTest::continuousPingNeedsBothSubstrings()
{
    QFETCH(QString, line);
    QFETCH(bool, continuous);
    QCOMPARE(isContinuousPing(line), continuous);
}

void CommandKindTest::longMaintenanceProgramsAreNamedByTheirFirstWord_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("longRunning");

    QTest::newRow("sfc /scannow") << QStringLiteral("sfc /scannow") << true;
    QTest::newRow("dism restore") << QStringLiteral("dism /online /cleanup-image /restorehealth")
                                  << true;
    QTest::newRow("chkdsk /r") << QStringLiteral("chkdsk /r") << true;
    QTest::newRow("defrag") << QStringLiteral("defrag C: /O") << true;
    QTest::newRow("wbadmin") << QStringLiteral("wbadmin start backup") << true;
    QTest::newRow("pathping") << QStringLiteral("pathping 8.8.8.8") << true;
    QTest::newRow("cipher /w") << QStringLiteral("cipher /w:c:\\temp") << true;
    QTest::newRow("cipher -W") << QStringLiteral("cipher -W:C:\\") << true;
    QTest::newRow("powercfg /energy") << QStringLiteral("powercfg /energy") << true;
    QTest::newRow("upper case, .exe") << QStringLiteral("SFC.EXE /SCANNOW") << true;
    QTest::newRow("switch against the name") << QStringLiteral("sfc/scannow") << true;
    QTest::newRow("blanks and tab") << QStringLiteral("  \tchkdsk") << true;

    QTest::newRow("cipher without /w") << QStringLiteral("cipher /e") << false;
    QTest::newRow("cipher /w in a path") << QStringLiteral("cipher c:\\w") << false;
    QTest::newRow("powercfg /list") << QStringLiteral("powercfg /list") << false;
    QTest::newRow("powercfg /energyx") << QStringLiteral("powercfg /energyx") << false;
    QTest::newRow("later in a chain") << QStringLiteral("echo x && sfc /scannow") << false;
    QTest::newRow("longer name") << QStringLiteral("sfcx /scannow") << false;
    QTest::newRow("empty") << QString() << false;
}

void CommandKindTest::longMaintenanceProgramsAreNamedByTheirFirstWord()
{
    QFETCH(QString, line);
    QFETCH(bool, longRunning);
    QCOMPARE(isLongRunningProgram(line), longRunning);
}

void CommandKindTest::runningLongProgramsAreNamedByTheirFile_data()
{
    // What the time-out finds among a run's programs, whatever line started them.
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("longRunning");

    QTest::newRow("sfc by its full path")
        << QStringLiteral("C:\\Windows\\System32\\sfc.exe")
        << QStringLiteral("\"C:\\Windows\\System32\\sfc.exe\" /scannow") << true;
    QTest::newRow("DismHost, any case") << QStringLiteral("DISMHOST.EXE") << QString() << true;
    QTest::newRow("MpCmdRun in a folder with blanks")
        << QStringLiteral("MpCmdRun.exe")
        << QStringLiteral("\"C:\\Program Files\\Windows Defender\\MpCmdRun.exe\" -Scan -ScanType 2")
        << true;
    QTest::newRow("cipher /w") << QStringLiteral("cipher.exe") << QStringLiteral("cipher /w:D:\\")
                               << true;
    QTest::newRow("cipher /e") << QStringLiteral("cipher.exe") << QStringLiteral("cipher /e x")
                               << false;
    QTest::newRow("the interpreter that runs dism")
        << QStringLiteral("cmd.exe") << QStringLiteral("cmd /c dism /online") << false;
}

void CommandKindTest::runningLongProgramsAreNamedByTheirFile()
{
    QFETCH(QString, file);
    QFETCH(QString, commandLine);
    QFETCH(bool, longRunning);
    QCOMPARE(isLongRunningProcess(file, commandLine), longRunning);
}

void CommandKindTest::consoleReadersGetANote_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("readsConsole");

    QTest::newRow("runas") << QStringLiteral("runas /user:Administrator cmd") << true;
    QTest::newRow("runas /showtrustlevels") << QStringLiteral("runas /showtrustlevels") << false;
    QTest::newRow("timeout") << QStringLiteral("timeout 5") << true;
    QTest::newRow("timeout /?") << QStringLiteral("timeout /?") << false;
    QTest::newRow("net user password prompt") << QStringLiteral("net user username *") << true;
    QTest::newRow("net user with password")
        << QStringLiteral("net user username password") << false;
    QTest::newRow("net use password prompt")
        << QStringLiteral("net use K: \\\\192.168.1.100\\share *") << true;
    QTest::newRow("net use next free letter")
        << QStringLiteral("net use * \\\\192.168.1.100\\share") << false;
    // It reads its standard input, which the pane writes.
    QTest::newRow("choice") << QStringLiteral("choice /c yn") << false;
    QTest::newRow("later in a chain") << QStringLiteral("echo x & timeout 5") << false;
}

void CommandKindTest::consoleReadersGetANote()
{
    QFETCH(QString, line);
    QFETCH(bool, readsConsole);
    const QString note = consoleReaderNote(line);
    QCOMPARE(!note.isEmpty(), readsConsole);
    if (readsConsole)
        QCOMPARE(note, QStringLiteral("提示: 此程序只从控制台窗口读取按键或密码，无法在此输入；"
                                      "需要时请在命令提示符窗口中运行。\n"));
}

void CommandKindTest::wmicLinesGetANoteOnlyWhereWmicIsMissing_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("runsWmic");

    QTest::newRow("catalog line") << QStringLiteral("wmic os get caption") << true;
    QTest::newRow("alone") << QStringLiteral("wmic") << true;
    QTest::newRow("upper case") << QStringLiteral("WMIC bios get serialnumber") << true;
    QTest::newRow("with suffix") << QStringLiteral("wmic.exe qfe list") << true;
    QTest::newRow("leading blank") << QStringLiteral(" wmic qfe list") << true;
    QTest::newRow("later in a chain") << QStringLiteral("ver && wmic qfe list") << false;
    QTest::newRow("longer word") << QStringLiteral("wmicx get") << false;
    QTest::newRow("empty") << QString() << false;
}

void CommandKindTest::wmicLinesGetANoteOnlyWhereWmicIsMissing()
{
    QFETCH(QString, line);
    QFETCH(bool, runsWmic);
    Wmic::setInstalledForTesting(false);
    const QString note = Wmic::missingNote(line);
    Wmic::setInstalledForTesting(true);
    const QString noteWhereInstalled = Wmic::missingNote(line);
    Wmic::setInstalledForTesting(std::nullopt);

    QVERIFY(noteWhereInstalled.isEmpty());
    QCOMPARE(!note.isEmpty(), runsWmic);
    if (runsWmic)
        QCOMPARE(note, QStringLiteral("\n提示: WMIC 是此版本 Windows 的可选功能，当前未安装，"
                                      "可在“设置 > 系统 > 可选功能”中添加。\n"));
}

QUILLWICK_TEST_MAIN(CommandKindTest)
#include "tst_commandkind.moc"
