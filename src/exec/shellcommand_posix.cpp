#include "exec/shellcommand.h"

#include <QProcess>

namespace {
const QString kShell = QStringLiteral("/bin/sh");
} // namespace

namespace ShellCommand {

void prepare(QProcess &process, const QString &commandLine)
{
    process.setProgram(kShell);
    process.setArguments({QStringLiteral("-c"), commandLine});
}

bool startDetached(const QString &commandLine)
{
    QProcess process;
    prepare(process, commandLine);
    return process.startDetached();
}

} // namespace ShellCommand
