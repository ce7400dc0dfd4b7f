#include "ui/helptexts.h"

#include "app/identity.h"

#include <QStringList>

namespace {

const char kUsageHelp[] = "%1 v%2 使用帮助\n"
                          "\n"
                          "主要功能：\n"
                          "1. 分类浏览命令：左侧选择分类，中间显示命令列表\n"
                          "2. 搜索命令：在搜索框中输入关键词\n"
                          "3. 执行命令：双击命令或点击\"执行命令\"按钮\n"
                          "4. 查看详情：选择命令后查看详细信息\n"
                          "5. 自定义命令：执行任意CMD命令\n"
                          "\n"
                          "快捷键：\n"
                          "- F5: 刷新命令列表\n"
                          "- Ctrl+S: 保存输出\n"
                          "- Ctrl+C: 复制输出\n"
                          "- Ctrl+F: 聚焦搜索框\n"
                          "- Ctrl+Q: 退出程序\n"
                          "- Esc: 停止当前命令执行\n"
                          "\n"
                          "注意事项：\n"
                          "- 标有\"是\"的命令需要管理员权限\n"
                          "- 部分命令会打开新的窗口\n"
                          "- 长时间运行的命令可以使用\"停止执行\"按钮中断\n";

const char kAbout[] = "%1 v%2\n"
                      "\n"
                      "一个功能完整的Windows系统管理工具，\n"
                      "集成了各种CMD命令，方便系统管理员和\n"
                      "普通用户使用。\n"
                      "\n"
                      "功能特点：\n"
                      "- 21个分类，超过500个CMD命令\n"
                      "- 支持命令搜索\n"
                      "- 支持自定义命令\n"
                      "- 实时命令输出显示\n"
                      "- 管理员权限检测\n"
                      "\n"
                      "系统要求：\n"
                      "- Windows 7/8/10/11\n"
                      "- 无需额外运行时（静态链接Qt依赖）\n";

// One pass, so that a display name holding "%2" is not filled again.
QString withIdentity(const char *text)
{
    return QString::fromUtf8(text).arg(appDisplayName(), appVersion());
}

} // namespace

QString usageHelpText()
{
    return withIdentity(kUsageHelp);
}

QString aboutText()
{
    return withIdentity(kAbout);
}

QString helpProgramName(const QString &commandLine)
{
    // Only U+0020 separates, and empty parts count: a line that starts with a space names an
    // empty program rather than its second word.
    return commandLine.split(QLatin1Char(' ')).constFirst();
}

QString commandHelpText(const QString &program, const QString &standardOutput,
                        const QString &standardError)
{
    QString text = QStringLiteral("命令: %1\n\n").arg(program);
    text += standardOutput;
    if (!standardError.isEmpty())
        text += QStringLiteral("\n错误输出:\n%1").arg(standardError);
    return text;
}
