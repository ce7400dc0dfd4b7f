#include "exec/processtree.h"

#include <QObject>
#include <QProcess>

#include <windows.h>

#include <tlhelp32.h>

namespace {

const QString kJobObjectName = QStringLiteral("quillwickProcessTreeJob");

// Owns the job object of one child; lives as a child object of its QProcess.
class JobHolder : public QObject
{
public:
    JobHolder(HANDLE job, QObject *parent)
        : QObject(parent)
        , job(job)
    {
        setObjectName(kJobObjectName);
    }

    ~JobHolder() override
    {
        // The job kills its processes when its last handle closes; that is meant for a tool that
        // goes away without cleaning up. A command that ended by itself keeps what it started.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        CloseHandle(job);
    }

    HANDLE job;
};

HANDLE createKillOnCloseJob()
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// QProcess does not hand out the thread handle of the child, so its threads are looked up.
void resumeThreadsOf(DWORD processId)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        if (HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
            ResumeThread(thread);
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
}

HANDLE jobOf(const QProcess &process)
{
    const auto *holder = process.findChild<QObject *>(kJobObjectName, Qt::FindDirectChildrenOnly);
    return holder ? static_cast<const JobHolder *>(holder)->job : nullptr;
}

} // namespace

namespace ProcessTree {

void start(QProcess &process, QIODevice::OpenMode mode)
{
    // Suspended until it is in the job: otherwise cmd.exe could start a program before the
    // assignment, and that program would stay outside the job.
    process.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments *arguments) { arguments->flags |= CREATE_SUSPENDED; });
    process.start(mode);
    if (process.state() == QProcess::NotRunning)
        return;

    const auto processId = static_cast<DWORD>(process.processId());
    if (HANDLE job = createKillOnCloseJob()) {
        HANDLE child = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, processId);
        if (child && AssignProcessToJobObject(job, child))
            new JobHolder(job, &process);
        else
            CloseHandle(job);
        if (child)
            CloseHandle(child);
    }
    resumeThreadsOf(processId);
}

void kill(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    if (HANDLE job = jobOf(process))
        TerminateJobObject(job, 1);
    process.kill();
}

} // namespace ProcessTree
