#pragma once

#include <QString>

// The usage help and the About text, filled with the display name and the version.
QString usageHelpText();
QString aboutText();

// The word of `commandLine` whose "/?" help is asked for: everything before the first space.
QString helpProgramName(const QString &commandLine);

// The text of the command-help window: the program's name, its standard output and, when there
// is any, its standard error under a heading of its own.
QString commandHelpText(const QString &program, const QString &standardOutput,
                        const QString &standardError);
