#include "exec/processtree.h"

#include <QHash>
#include <QObject>
#include <QProcess>
#include <QSet>
#include <QSignalBlocker>

#include <vector>

#include <windows.h>

#include <tlhelp32.h>

namespace {

const QString kJobObjectName = QStringLiteral("quillwickProcessTreeJob");

// How often the programs of a run are looked up again while some of them are spared: a program
// that is being ended may just have started another one.
constexpr int kEndingRounds = 8;
constexpr DWORD kEndingWaitMs = 200;

std::optional<ProcessTree::SetUpStep> &failingStep()
{
    static std::optional<ProcessTree::SetUpStep> step;
    return step;
}

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
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        CloseHandle(job);
    }

    HANDLE job;
};

// The system's reason for the failure of `call`, taken from the calling thread's last error.
QString systemFailure(const char *call)
{
    const int error = int(GetLastError());
    return QStringLiteral("%1: %2").arg(QLatin1String(call), qt_error_string(error));
}

HANDLE createKillOnCloseJob()
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    // Explicit breakaway stays allowed: a program that starts another one outside its job on
    // purpose (CREATE_BREAKAWAY_FROM_JOB) would otherwise fail to start it at all.
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        const DWORD error = GetLastError();
        CloseHandle(job);
        SetLastError(error);
        return nullptr;
    }
    return job;
}

// Puts the suspended child into a job of its own and lets it run; returns why that failed. A
// test's failing step gets a handle that the system must refuse, so the real error path runs.
QString joinJobAndResume(QProcess &process, const PROCESS_INFORMATION &created)
{
    const std::optional<ProcessTree::SetUpStep> failing = failingStep();
    HANDLE job = createKillOnCloseJob();
    if (!job)
        return systemFailure("CreateJobObject");
    HANDLE child = failing == ProcessTree::SetUpStep::JoinTree ? nullptr : created.hProcess;
    if (!AssignProcessToJobObject(job, child)) {
        const QString failure = systemFailure("AssignProcessToJobObject");
        CloseHandle(job);
        return failure;
    }
    new JobHolder(job, &process);
    HANDLE thread = failing == ProcessTree::SetUpStep::Resume ? nullptr : created.hThread;
    if (ResumeThread(thread) == DWORD(-1))
        return systemFailure("ResumeThread");
    return {};
}

HANDLE jobOf(const QProcess &process)
{
    const auto *holder = process.findChild<QObject *>(kJobObjectName, Qt::FindDirectChildrenOnly);
    return holder ? static_cast<const JobHolder *>(holder)->job : nullptr;
}

// Whether `process` has ended although QProcess may not have noticed yet.
bool hasEnded(const QProcess &process)
{
    HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, DWORD(process.processId()));
    if (!handle)
        return false;
    const bool ended = WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    CloseHandle(handle);
    return ended;
}

// A program of a job that still runs.
struct Member
{
    DWORD id = 0;
    DWORD parentId = 0;
    quint64 startedAt = 0;
    HANDLE handle = nullptr;
};

// The running programs of a job, with open handles so that their ids stay theirs while they are
// looked at and ended.
class Members
{
public:
    explicit Members(HANDLE job) { lookUp(job); }
    ~Members()
    {
        for (const Member &member : list)
            CloseHandle(member.handle);
    }
    Members(const Members &) = delete;
    Members &operator=(const Members &) = delete;

    // False when the job could not be asked for its programs.
    bool known = false;
    std::vector<Member> list;

private:
    void lookUp(HANDLE job);
};

QList<DWORD> processIdsOf(HANDLE job, bool *known)
{
    *known = false;
    for (DWORD capacity = 64; capacity <= 64 * 1024; capacity *= 4) {
        // Room for `capacity` ids and the two counts before them.
        std::vector<ULONG_PTR> buffer(capacity + 2);
        auto *ids = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST *>(buffer.data());
        const auto size = DWORD(buffer.size() * sizeof(ULONG_PTR));
        const bool answered =
            QueryInformationJobObject(job, JobObjectBasicProcessIdList, ids, size, nullptr);
        if (!answered && GetLastError() != ERROR_MORE_DATA)
            return {};
        if (answered && ids->NumberOfProcessIdsInList >= ids->NumberOfAssignedProcesses) {
            QList<DWORD> result;
            for (DWORD i = 0; i < ids->NumberOfProcessIdsInList; ++i)
                result << DWORD(ids->ProcessIdList[i]);
            *known = true;
            return result;
        }
    }
    return {};
}

QHash<DWORD, DWORD> parentIds()
{
    QHash<DWORD, DWORD> parents;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return parents;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        parents.insert(entry.th32ProcessID, entry.th32ParentProcessID);
    CloseHandle(snapshot);
    return parents;
}

void Members::lookUp(HANDLE job)
{
    const QList<DWORD> ids = processIdsOf(job, &known);
    if (!known)
        return;
    const QHash<DWORD, DWORD> parents = parentIds();
    for (DWORD id : ids) {
        // Wine answers IsProcessInJob only with the full query right; Windows also with the
        // limited one, which a program may grant while it refuses the full one.
        constexpr DWORD access = PROCESS_TERMINATE | SYNCHRONIZE;
        HANDLE handle = OpenProcess(access | PROCESS_QUERY_INFORMATION, FALSE, id);
        if (!handle)
            handle = OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (!handle)
            continue;
        // The id may have passed to another program since the job named it.
        BOOL inJob = FALSE;
        FILETIME created, exited, kernel, user;
        if (!IsProcessInJob(handle, job, &inJob) || !inJob ||
            WaitForSingleObject(handle, 0) != WAIT_TIMEOUT ||
            !GetProcessTimes(handle, &created, &exited, &kernel, &user)) {
            CloseHandle(handle);
            continue;
        }
        const quint64 startedAt = (quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        list.push_back({id, parents.value(id), startedAt, handle});
    }
}

BOOL CALLBACK addVisibleWindowOwner(HWND window, LPARAM owners)
{
    DWORD owner = 0;
    if (IsWindowVisible(window) && GetWindowThreadProcessId(window, &owner))
        reinterpret_cast<QSet<DWORD> *>(owners)->insert(owner);
    return TRUE;
}

// The programs of the job that show a top-level window, and what they started themselves.
QSet<DWORD> windowedMembers(const Members &members)
{
    QSet<DWORD> owners;
    EnumWindows(addVisibleWindowOwner, reinterpret_cast<LPARAM>(&owners));
    QHash<DWORD, const Member *> byId;
    for (const Member &member : members.list)
        byId.insert(member.id, &member);

    QSet<DWORD> windowed;
    for (const Member &member : members.list) {
        // Up through its ancestors in the job. An id that a younger program took over from an
        // ended parent is no ancestor.
        const Member *current = &member;
        for (size_t depth = 0; current && depth <= members.list.size(); ++depth) {
            if (owners.contains(current->id)) {
                windowed.insert(member.id);
                break;
            }
            const Member *parent = byId.value(current->parentId);
            current = parent && parent->startedAt <= current->startedAt ? parent : nullptr;
        }
    }
    return windowed;
}

// Ends the programs of `job` but those that show a window, and what these started: the run's
// console programs (a chained ping) end, while a window the user works in (a printer dialog,
// notepad with unsaved text) stays open.
void endAllButWindowed(HANDLE job)
{
    for (int round = 0; round < kEndingRounds; ++round) {
        const Members members(job);
        const QSet<DWORD> windowed = members.known ? windowedMembers(members) : QSet<DWORD>();
        if (windowed.isEmpty()) {
            // Nothing to spare: the job ends everything at once, also what starts meanwhile.
            TerminateJobObject(job, 1);
            return;
        }
        std::vector<HANDLE> ending;
        for (const Member &member : members.list) {
            if (!windowed.contains(member.id) && TerminateProcess(member.handle, 1))
                ending.push_back(member.handle);
        }
        if (ending.empty())
            return;
        // Ending is asynchronous; the next round must not meet them again.
        const auto count = DWORD(qMin<size_t>(ending.size(), MAXIMUM_WAIT_OBJECTS));
        WaitForMultipleObjects(count, ending.data(), TRUE, kEndingWaitMs);
    }
}

} // namespace

namespace ProcessTree {

QString start(QProcess &process, QIODevice::OpenMode mode)
{
    // Suspended until it is in the job: otherwise cmd.exe could start a program before the
    // assignment, and that program would stay outside the job. QProcess creates the child with
    // the structure it hands to the modifier and keeps it, thread handle open, until the child
    // has ended, so the child's own thread is resumed through it.
    // A modifier set before (the output pipe's) still applies.
    PROCESS_INFORMATION *created = nullptr;
    const QProcess::CreateProcessArgumentModifier outer = process.createProcessArgumentsModifier();
    process.setCreateProcessArgumentsModifier(
        [&created, &outer](QProcess::CreateProcessArguments *arguments) {
            if (outer)
                outer(arguments);
            arguments->flags |= CREATE_SUSPENDED;
            created = arguments->processInformation;
        });
    process.start(mode);
    // The modifier refers to this call's variables.
    process.setCreateProcessArgumentsModifier(outer);
    if (process.state() == QProcess::NotRunning || !created)
        return {};

    const QString failure = joinJobAndResume(process, *created);
    if (!failure.isEmpty()) {
        // It never ran: its end is no run's end, only the failure is reported.
        const QSignalBlocker quiet(process);
        process.kill();
        process.waitForFinished();
    }
    return failure;
}

bool kill(QProcess &process)
{
    // An interpreter that ended by itself leaves what it started running on purpose
    // (`start notepad.exe`), also when the stop comes before QProcess has noticed the end.
    if (process.state() == QProcess::NotRunning || hasEnded(process))
        return false;
    if (HANDLE job = jobOf(process))
        endAllButWindowed(job);
    process.kill();
    return true;
}

void setFailingStepForTesting(std::optional<SetUpStep> step)
{
    failingStep() = step;
}

} // namespace ProcessTree
