#include "exec/customcommand.h"

#include "catalog/publicplaces.h"

namespace {
// Custom runs are named after at most this many UTF-16 code units of their line.
constexpr qsizetype kNameLength = 30;
} // namespace

QList<QuickCommand> quickCommands()
{
    return {
        {QStringLiteral("ipconfig"), QStringLiteral("网络配置")},
        {QStringLiteral("ping 127.0.0.1"), QStringLiteral("测试本地")},
        {QStringLiteral("dir"), QStringLiteral("目录列表")},
        {QStringLiteral("tasklist"), QStringLiteral("进程列表")},
        {QStringLiteral("netstat -ano"), QStringLiteral("网络连接")},
    };
}

QList<SavedCommand> savedCommandPresets()
{
    return {
        {QStringLiteral("快速诊断"),
         QStringLiteral("ping " QUILLWICK_PUBLIC_DNS_PRIMARY " && ipconfig /all && netstat -ano")},
        {QStringLiteral("系统检查"), QStringLiteral("systeminfo && wmic qfe list && ver")},
        {QStringLiteral("网络测试"), QStringLiteral("nslookup " QUILLWICK_PUBLIC_WEB_HOST
                                                    " && tracert " QUILLWICK_PUBLIC_WEB_HOST
                                                    " && pathping " QUILLWICK_PUBLIC_WEB_HOST)},
    };
}

CommandInfo customCommandRecord(const QString &trimmedLine, bool needsAdmin)
{
    CommandInfo info;
    info.description = QStringLiteral("自定义命令: %1").arg(trimmedLine.left(kNameLength));
    info.command = trimmedLine;
    info.needsAdmin = needsAdmin;
    info.category = QStringLiteral("自定义命令");
    return info;
}
