#include "exec/optionalprogram.h"

#include "exec/optionalprogram_platform.h"

#include <utility>

OptionalProgram::OptionalProgram(QString pathInSystemFolder)
    : path(std::move(pathInSystemFolder))
{}

bool OptionalProgram::isInstalled()
{
    if (testAnswer)
        return *testAnswer;
    if (!answer)
        answer = OptionalProgramPlatform::isInSystemFolder(path);
    return *answer;
}

void OptionalProgram::setInstalledForTesting(std::optional<bool> installed)
{
    testAnswer = installed;
}
