#pragma once

// For tests of the process tree: a command line started as the output pane starts a run.

#include "exec/processtree.h"
#include "exec/shellcommand.h"

#include <QProcess>
#include <QTest>

// Starts `line` with merged output through the process tree, as a run is started, and waits at
// most `waitMs` until it has written "ready": the moment the line's program is set up.
inline bool startReadyRun(QProcess &process, const QString &line, int waitMs)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    ShellCommand::prepare(process, line);
    if (!ProcessTree::start(process).isEmpty())
        return false;
    return QTest::qWaitFor(
        [&process] {
            process.waitForReadyRead(10);
            return process.peek(1024).contains("ready");
        },
        waitMs);
}
