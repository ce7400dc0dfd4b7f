#include "exec/runtext.h"

namespace {

QString rule()
{
    return QString(80, QLatin1Char('='));
}

} // namespace

namespace RunText {

QString header(const CommandInfo &info, const QDateTime &startedAt)
{
    QString text = QStringLiteral("\n%1\n").arg(rule());
    text += QStringLiteral("执行命令: %1\n").arg(info.description);
    text += QStringLiteral("命令内容: %1\n").arg(info.command);
    text += QStringLiteral("执行时间: %1\n")
                .arg(startedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (info.needsAdmin)
        text += QStringLiteral("执行权限: 管理员\n");
    text += QStringLiteral("%1\n\n").arg(rule());
    return text;
}

QString footer()
{
    return QStringLiteral("\n%1\n命令执行完成！\n%1\n\n").arg(rule());
}

QString endMessage(Ending ending, int exitCode)
{
    switch (ending) {
    case Ending::TimedOut:
        return QStringLiteral("\n命令执行超时！\n");
    case Ending::StoppedByUser:
        return QStringLiteral("\n\n命令已被用户中断！\n");
    case Ending::Exited:
        break;
    }
    if (exitCode == 0)
        return {};
    return QStringLiteral("\n命令执行完成，返回码: %1\n").arg(exitCode);
}

QString startFailure(const QString &reason)
{
    return QStringLiteral("\n无法启动命令: %1\n").arg(reason);
}

QString unheldOutputNote()
{
    return QStringLiteral(
        "提示: 无法创建输出管道，本次输出不能暂停接收，输出很多时窗口可能暂时无响应。\n");
}

} // namespace RunText
