#pragma once

#include "catalog/commandcatalog.h"

#include <QDateTime>
#include <QString>

// The texts that frame a run in the output pane.
namespace RunText {

// How a run of the output pane ended.
enum class Ending
{
    Exited,
    TimedOut,
    StoppedByUser
};

// The lines written before a run: rule, name, command line, start time, the administrator line
// when the record needs administrator rights, rule, empty line.
QString header(const CommandInfo &info, const QDateTime &startedAt);

// The lines that close every run, whatever its outcome.
QString footer();

// The line written before the footer; empty for a command that exited with 0. A time-out or stop
// never shows the exit code; the exit code is printed signed, as Windows reports a crash with the
// top bit set.
QString endMessage(Ending ending, int exitCode);

// Written when the interpreter itself could not be started; `reason` is the process layer's text.
QString startFailure(const QString &reason);

// Written once in a run whose output cannot be held back (OutputFlow::canHold): a command that
// writes fast may then slow the window down.
QString unheldOutputNote();

} // namespace RunText
