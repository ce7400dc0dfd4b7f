#pragma once

#include <QString>

#include <optional>

// A program of an optional Windows feature (WMIC, the Telnet client), which Windows keeps in its
// system folder when the feature is installed. Whether it is there is asked of the system once
// per process; off Windows it always is, as nothing there is optional in that way.
class OptionalProgram
{
public:
    // `pathInSystemFolder` as in "wbem/WMIC.exe". The system folder, not the search path: another
    // program of that name may be found first.
    explicit OptionalProgram(QString pathInSystemFolder);

    bool isInstalled();

    // Tests decide in the system's place; std::nullopt restores the system's answer.
    void setInstalledForTesting(std::optional<bool> installed);

private:
    QString path;
    std::optional<bool> answer;
    std::optional<bool> testAnswer;
};
