#include "exec/telnet.h"

#include "exec/optionalprogram.h"

namespace {

OptionalProgram &telnet()
{
    static OptionalProgram program(QStringLiteral("telnet.exe"));
    return program;
}

} // namespace

namespace Telnet {

bool isInstalled()
{
    return telnet().isInstalled();
}

void setInstalledForTesting(std::optional<bool> installed)
{
    telnet().setInstalledForTesting(installed);
}

QString missingNote(const QString &commandLine)
{
    // The line exactly as the detached start sees it.
    if (commandLine != QLatin1String("telnet") || isInstalled())
        return {};
    return QStringLiteral(
        "提示: Telnet 客户端是 Windows 的可选功能，当前未安装，未能启动 telnet。"
        "可在“控制面板 > 程序 > 启用或关闭 Windows 功能 > Telnet 客户端”中添加。\n");
}

} // namespace Telnet
