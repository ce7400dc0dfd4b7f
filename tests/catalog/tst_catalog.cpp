#include "catalog/commandcatalog.h"
#include "catalog/publicplaces.h"
#include "testmain.h"

#include <QHash>
#include <QRegularExpression>

namespace {

struct ExpectedCounts
{
    const char *name;
    int entries;
    int admin;
    int details;
};

// Entries, administrator flags and explanations per category, in catalog order.
const ExpectedCounts kExpected[] = {
    {"系统信息", 26, 0, 8},    {"系统维护", 15, 14, 5},     {"管理工具", 22, 1, 10},
    {"控制面板", 26, 0, 3},    {"文件与磁盘", 57, 19, 10},  {"进程与性能", 36, 7, 7},
    {"用户与权限", 40, 24, 7}, {"服务管理", 42, 28, 5},     {"计划任务", 33, 24, 1},
    {"网络配置", 25, 12, 7},   {"网络诊断", 10, 0, 6},      {"网络管理", 49, 28, 7},
    {"无线网络", 9, 4, 3},     {"网络工具", 7, 4, 4},       {"注册表操作", 13, 10, 1},
    {"关机与重启", 14, 12, 9}, {"时间与日期", 9, 0, 5},     {"其他实用命令", 109, 4, 14},
    {"高级系统", 10, 8, 1},    {"Windows功能", 115, 78, 1}, {"打印管理", 50, 18, 0},
};

const CatalogEntry &entryAt(const QString &category, int position)
{
    for (const CommandCategory &c : CommandCatalog::allCategories()) {
        if (c.name == category)
            return c.commands.at(position - 1);
    }
    qFatal("no such category");
}

QStringList commandsOfList(const QList<CommandInfo> &list)
{
    QStringList commands;
    for (const CommandInfo &info : list)
        commands.append(info.command);
    return commands;
}

} // namespace

class CatalogTest : public QObject
{
    Q_OBJECT

private slots:
    void countsPerCategory();
    void textsStayWithinTheirLimits();
    void rowsOnMadeUpNamesSaySo();
    void givenRowsAndRepeatsAreInPlace();
    void specialCharactersAreKept();
    void publicPlacesAreConsistent();
    void tableIsBuiltOnce();
    void categoryQueries();
    void searchMatchesCaseInsensitivelyInCatalogOrder();
    void searchMatchesCategoryNames();
};

void CatalogTest::countsPerCategory()
{
    const QList<CommandCategory> &table = CommandCatalog::allCategories();
    QCOMPARE(table.size(), qsizetype(std::size(kExpected)));

    int entries = 0, admin = 0, details = 0;
    for (qsizetype i = 0; i < table.size(); ++i) {
        const CommandCategory &category = table.at(i);
        const ExpectedCounts &expected = kExpected[i];
        QCOMPARE(category.name, QString::fromUtf8(expected.name));
        int categoryAdmin = 0, categoryDetails = 0;
        for (const CatalogEntry &entry : category.commands) {
            categoryAdmin += entry.needsAdmin;
            categoryDetails += !entry.detail.isEmpty();
        }
        QVERIFY2(category.commands.size() == expected.entries, expected.name);
        QVERIFY2(categoryAdmin == expected.admin, expected.name);
        QVERIFY2(categoryDetails == expected.details, expected.name);
        entries += int(category.commands.size());
        admin += categoryAdmin;
        details += categoryDetails;
    }
    QCOMPARE(entries, 717);
    QCOMPARE(admin, 295);
    QCOMPARE(details, 114);

    QCOMPARE(table.first().commands.first().command, QStringLiteral("systeminfo"));
    QCOMPARE(table.last().commands.last().command, QStringLiteral("prnqctl -e"));
    QVERIFY(table.last().commands.last().needsAdmin);
}

void CatalogTest::textsStayWithinTheirLimits()
{
    const QStringList forbidden = {QStringLiteral("ipconfig"), QStringLiteral("inetcpl"),
                                   QStringLiteral("注册表操作"), QStringLiteral("实用")};
    for (const CommandCategory &category : CommandCatalog::allCategories()) {
        for (const CatalogEntry &entry : category.commands) {
            const QByteArray where = (category.name + QLatin1Char(' ') + entry.command).toUtf8();
            QVERIFY2(!entry.command.isEmpty(), where);
            QVERIFY2(entry.command == entry.command.trimmed(), where);
            QVERIFY2(!entry.description.isEmpty(), where);
            QVERIFY2(entry.description.size() <= 16, where);
            QVERIFY2(entry.detail.size() <= 38, where);
            for (const QString &word : forbidden) {
                QVERIFY2(!entry.description.contains(word, Qt::CaseInsensitive), where);
                QVERIFY2(!entry.detail.contains(word, Qt::CaseInsensitive), where);
            }
            // Parentheses are full-width, as in the given texts, so that no category mixes kinds.
            const QString texts = entry.description + entry.detail;
            QVERIFY2(!texts.contains(u'(') && !texts.contains(u')'), where);
        }
    }

    // Different command lines of one category never hide behind the same title.
    for (const CommandCategory &category : CommandCatalog::allCategories()) {
        QHash<QString, QString> commandOfTitle;
        for (const CatalogEntry &entry : category.commands) {
            const auto known = commandOfTitle.constFind(entry.description);
            if (known != commandOfTitle.constEnd() && *known != entry.command) {
                // The catalog's own first rows name two commands 列出所有计划任务.
                const bool givenPair = entry.description == QStringLiteral("列出所有计划任务");
                QVERIFY2(givenPair, qPrintable(entry.description + QLatin1String(": ") + *known +
                                               QLatin1String(" / ") + entry.command));
            }
            commandOfTitle.insert(entry.description, entry.command);
        }
    }
}

void CatalogTest::rowsOnMadeUpNamesSaySo()
{
    // A row whose line acts on a made-up name names it or says 示例 in its title, so that it does
    // not read as if it changed something real. "username" counts only as a word of its own: "get
    // username" and the taskkill filter field are real. The first two rows of every category keep
    // the texts given for them.
    static const QRegularExpression madeUp(QStringLiteral(
        R"(servicename|MyTask|MyApp|app\.exe|computername|\bfile\w*\.\w+|acl\.txt|source dest|\\\\server\\|\b1234\b|(?<= )username(?= ))"));
    int rowsOnMadeUpNames = 0;
    for (const CommandCategory &category : CommandCatalog::allCategories()) {
        for (qsizetype i = 2; i < category.commands.size(); ++i) {
            const CatalogEntry &entry = category.commands.at(i);
            bool said = entry.description.contains(QStringLiteral("示例"));
            bool found = false;
            for (const QRegularExpressionMatch &match : madeUp.globalMatch(entry.command)) {
                found = true;
                said = said || entry.description.contains(match.captured());
            }
            QVERIFY2(!found || said, qPrintable(category.name + QLatin1Char(' ') + entry.command));
            rowsOnMadeUpNames += found;
        }
    }
    // A pattern that no longer matches anything would let every row pass.
    QVERIFY(rowsOnMadeUpNames > 0);
}

void CatalogTest::givenRowsAndRepeatsAreInPlace()
{
    const CatalogEntry &first = entryAt(QStringLiteral("系统信息"), 1);
    QCOMPARE(first.description, QStringLiteral("显示系统详细信息"));
    QCOMPARE(first.detail, QStringLiteral("显示系统配置、硬件信息等"));
    QVERIFY(!first.needsAdmin);

    const CatalogEntry &bootTime = entryAt(QStringLiteral("系统信息"), 18);
    QCOMPARE(bootTime.command, QStringLiteral("wmic os get lastbootuptime"));
    QCOMPARE(bootTime.description, QStringLiteral("获取最后启动时间"));
    const CatalogEntry &bootTimeAgain = entryAt(QStringLiteral("时间与日期"), 5);
    QCOMPARE(bootTimeAgain.command, bootTime.command);
    QCOMPARE(bootTimeAgain.description, QStringLiteral("查看系统启动时间"));

    const CatalogEntry &user = entryAt(QStringLiteral("系统信息"), 23);
    QCOMPARE(user.command, QStringLiteral("wmic computersystem get username"));
    QCOMPARE(user.description, QStringLiteral("获取当前用户名"));
    QVERIFY(user.detail.isEmpty());

    QCOMPARE(entryAt(QStringLiteral("控制面板"), 7).command, QStringLiteral("inetcpl.cpl"));
    QCOMPARE(entryAt(QStringLiteral("控制面板"), 14).command, QStringLiteral("inetcpl.cpl"));

    const CatalogEntry &allServices = entryAt(QStringLiteral("服务管理"), 2);
    QCOMPARE(allServices.command, QStringLiteral("sc query state= all"));
    QCOMPARE(allServices.description, QStringLiteral("列出所有状态服务"));
    QVERIFY(allServices.detail.isEmpty());

    const CatalogEntry &wifiKey = entryAt(QStringLiteral("无线网络"), 2);
    QCOMPARE(wifiKey.command, QStringLiteral("netsh wlan show profile name=\"Home\" key=clear"));
    QCOMPARE(wifiKey.description, QStringLiteral("查看WiFi密码"));
    QVERIFY(wifiKey.needsAdmin);

    const CatalogEntry &features = entryAt(QStringLiteral("Windows功能"), 1);
    QCOMPARE(features.command, QStringLiteral("optionalfeatures"));
    QCOMPARE(features.detail, QStringLiteral("打开Windows功能对话框"));
    QVERIFY(features.needsAdmin);

    const CatalogEntry &print = entryAt(QStringLiteral("打印管理"), 1);
    QCOMPARE(print.command, QStringLiteral("print file.txt"));
    QCOMPARE(print.description, QStringLiteral("打印文本文件"));
    QVERIFY(print.detail.isEmpty());

    // 35 command lines occur twice; none is merged away.
    QHash<QString, int> occurrences;
    for (const CommandCategory &category : CommandCatalog::allCategories()) {
        for (const CatalogEntry &entry : category.commands)
            ++occurrences[entry.command];
    }
    int repeated = 0;
    for (int count : std::as_const(occurrences)) {
        QVERIFY(count <= 2);
        repeated += count == 2;
    }
    QCOMPARE(repeated, 35);
}

void CatalogTest::specialCharactersAreKept()
{
    QStringList all;
    for (const CommandCategory &category : CommandCatalog::allCategories()) {
        for (const CatalogEntry &entry : category.commands)
            all.append(entry.command);
    }
    QVERIFY(all.contains(QStringLiteral("typeperf \"\\Processor(_Total)\\% Processor Time\"")));
    QVERIFY(all.contains(QStringLiteral("bcdedit /copy {current} /d \"Safe Mode\"")));
    QVERIFY(all.contains(QStringLiteral("for /f \"tokens=2\" %i in ('command') do echo %i")));
    QVERIFY(all.contains(QStringLiteral("net print \\\\server\\printer1")));
}

void CatalogTest::publicPlacesAreConsistent()
{
    const QString dns = QStringLiteral(QUILLWICK_PUBLIC_DNS_PRIMARY);
    QCOMPARE(entryAt(QStringLiteral("网络诊断"), 1).command, QStringLiteral("ping %1 -t").arg(dns));
    QCOMPARE(entryAt(QStringLiteral("网络管理"), 1).command,
             QStringLiteral("netsh interface ip set dns \"以太网\" static %1").arg(dns));
    QCOMPARE(entryAt(QStringLiteral("网络诊断"), 2).command,
             QStringLiteral("tracert " QUILLWICK_PUBLIC_WEB_HOST));
    QVERIFY(QStringLiteral(QUILLWICK_PUBLIC_DNS_SECONDARY) != dns);
}

void CatalogTest::tableIsBuiltOnce()
{
    const QList<CommandCategory> *first = &CommandCatalog::allCategories();
    QCOMPARE(&CommandCatalog::allCategories(), first);
    // Instances hold nothing of their own.
    QCOMPARE(CommandCatalog().categoryNames(), CommandCatalog().categoryNames());
}

void CatalogTest::categoryQueries()
{
    const CommandCatalog catalog;
    const QStringList names = catalog.categoryNames();
    QCOMPARE(names.size(), 21);
    QCOMPARE(names.first(), QStringLiteral("系统信息"));
    QCOMPARE(names.last(), QStringLiteral("打印管理"));

    const QList<CommandInfo> system = catalog.commandsOf(QStringLiteral("系统信息"));
    QCOMPARE(system.size(), 26);
    QCOMPARE(system.first().command, QStringLiteral("systeminfo"));
    QCOMPARE(system.first().description, QStringLiteral("显示系统详细信息"));
    QCOMPARE(system.first().detail, QStringLiteral("显示系统配置、硬件信息等"));
    for (const CommandInfo &info : system)
        QCOMPARE(info.category, QStringLiteral("系统信息"));

    QCOMPARE(catalog.commandsOf(QStringLiteral("Windows功能")).size(), 115);
    QVERIFY(catalog.commandsOf(QStringLiteral("windows功能")).isEmpty());
    QVERIFY(catalog.commandsOf(QStringLiteral(" 系统信息")).isEmpty());
    QVERIFY(catalog.commandsOf(QStringLiteral("系统信息 ")).isEmpty());
    QVERIFY(catalog.commandsOf(QString()).isEmpty());
    QVERIFY(catalog.commandsOf(QStringLiteral("没有这个分类")).isEmpty());

    // Results are fresh copies: changing one does not change the next.
    QList<CommandInfo> copy = catalog.commandsOf(QStringLiteral("系统信息"));
    copy.first().command = QStringLiteral("changed");
    QCOMPARE(catalog.commandsOf(QStringLiteral("系统信息")).first().command,
             QStringLiteral("systeminfo"));
}

void CatalogTest::searchMatchesCaseInsensitivelyInCatalogOrder()
{
    const CommandCatalog catalog;
    QVERIFY(catalog.search(QString()).isEmpty());

    const QList<CommandInfo> lower = catalog.search(QStringLiteral("ipconfig"));
    const QList<CommandInfo> upper = catalog.search(QStringLiteral("IPCONFIG"));
    QCOMPARE(lower.size(), 8);
    QCOMPARE(commandsOfList(upper), commandsOfList(lower));
    QCOMPARE(lower.first().command, QStringLiteral("ipconfig /all"));
    QStringList inCategoryOrder;
    for (const CommandInfo &info : catalog.commandsOf(QStringLiteral("网络配置"))) {
        if (info.command.contains(QStringLiteral("ipconfig")))
            inCategoryOrder.append(info.command);
    }
    QCOMPARE(commandsOfList(lower), inCategoryOrder);
    for (const CommandInfo &info : lower)
        QCOMPARE(info.category, QStringLiteral("网络配置"));

    const QList<CommandInfo> inetcpl = catalog.search(QStringLiteral("inetcpl"));
    QCOMPARE(commandsOfList(inetcpl),
             (QStringList{QStringLiteral("inetcpl.cpl"), QStringLiteral("inetcpl.cpl")}));

    // Inner spaces are part of the needle.
    const QList<CommandInfo> all = catalog.search(QStringLiteral("ipconfig /all"));
    QCOMPARE(all.size(), 1);
    QCOMPARE(all.first().command, QStringLiteral("ipconfig /all"));
    QVERIFY(catalog.search(QStringLiteral("ipconfig  /all")).isEmpty());

    // A match in several fields is still one record; no keyword is trimmed here.
    QCOMPARE(catalog.search(QStringLiteral("systeminfo")).first().command,
             QStringLiteral("systeminfo"));
    QVERIFY(catalog.search(QStringLiteral(" ")).size() > 0);
}

void CatalogTest::searchMatchesCategoryNames()
{
    const CommandCatalog catalog;
    const QList<CommandInfo> registry = catalog.search(QStringLiteral("注册表操作"));
    QCOMPARE(registry.size(), 13);
    for (const CommandInfo &info : registry)
        QCOMPARE(info.category, QStringLiteral("注册表操作"));

    const QList<CommandInfo> utilities = catalog.search(QStringLiteral("实用"));
    QCOMPARE(utilities.size(), 109);
    QCOMPARE(commandsOfList(utilities),
             commandsOfList(catalog.commandsOf(QStringLiteral("其他实用命令"))));

    // Category names match case-insensitively too.
    QVERIFY(catalog.search(QStringLiteral("WINDOWS功能")).size() >= 115);
}

QUILLWICK_TEST_MAIN(CatalogTest)
#include "tst_catalog.moc"
