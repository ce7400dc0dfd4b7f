#include "exec/processtree.h"

#include "exec/commandkind.h"

#include <QFile>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QSet>
#include <QSignalBlocker>
#include <QtEndian>

#include <algorithm>
#include <iterator>
#include <utility>
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

std::function<bool(quint32)> &refusesExaminingForTesting()
{
    static std::function<bool(quint32)> refuses;
    return refuses;
}

// A program of a job that still runs.
struct Member
{
    DWORD id = 0;
    DWORD parentId = 0;
    quint64 startedAt = 0;
    // Query and wait rights only, which the system grants across integrity levels (an elevated
    // regedit in a standard user's run); null for a member that refused even these.
    HANDLE handle = nullptr;
    bool consoleHost = false;
};

struct ProcessEntry
{
    DWORD parentId = 0;
    QString exeName;
};

// The running programs of a job, with open handles so that their ids stay theirs while they are
// looked at and ended.
class Members
{
public:
    explicit Members(HANDLE job) { lookUp(job); }
    ~Members()
    {
        for (const Member &member : list) {
            if (member.handle)
                CloseHandle(member.handle);
        }
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

QHash<DWORD, ProcessEntry> processEntries()
{
    QHash<DWORD, ProcessEntry> entries;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return entries;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        entries.insert(entry.th32ProcessID,
                       {entry.th32ParentProcessID, QString::fromWCharArray(entry.szExeFile)});
    CloseHandle(snapshot);
    return entries;
}

HANDLE openForExamining(DWORD id)
{
    if (const auto &refuses = refusesExaminingForTesting(); refuses && refuses(quint32(id))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
}

void Members::lookUp(HANDLE job)
{
    const QList<DWORD> ids = processIdsOf(job, &known);
    if (!known)
        return;
    const QHash<DWORD, ProcessEntry> entries = processEntries();
    for (DWORD id : ids) {
        const ProcessEntry entry = entries.value(id);
        const bool consoleHost =
            entry.exeName.compare(QLatin1String("conhost.exe"), Qt::CaseInsensitive) == 0;
        HANDLE handle = openForExamining(id);
        if (!handle) {
            // An id that names no program any more has just ended; any other refusal comes from
            // a program the tool may not look at, which must not be ended unseen.
            if (GetLastError() != ERROR_INVALID_PARAMETER)
                list.push_back({id, entry.parentId, 0, nullptr, consoleHost});
            continue;
        }
        FILETIME created, exited, kernel, user;
        if (WaitForSingleObject(handle, 0) != WAIT_TIMEOUT ||
            !GetProcessTimes(handle, &created, &exited, &kernel, &user)) {
            CloseHandle(handle);
            continue;
        }
        const quint64 startedAt = (quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        list.push_back({id, entry.parentId, startedAt, handle, consoleHost});
    }
    // The id of a member that ended before it was opened may have passed to another program. An
    // id that the job still names while its handle is held belongs to the member.
    const QList<DWORD> stillThere = processIdsOf(job, &known);
    const auto gone = [&stillThere](const Member &member) {
        if (stillThere.contains(member.id))
            return false;
        if (member.handle)
            CloseHandle(member.handle);
        return true;
    };
    list.erase(std::remove_if(list.begin(), list.end(), gone), list.end());
}

BOOL CALLBACK addVisibleWindowOwner(HWND window, LPARAM owners)
{
    DWORD owner = 0;
    if (IsWindowVisible(window) && GetWindowThreadProcessId(window, &owner))
        reinterpret_cast<QSet<DWORD> *>(owners)->insert(owner);
    return TRUE;
}

// Whether the program file at `path` is built for the graphical subsystem, read from its PE
// header: such a program is the user's window also while its window is not shown yet, or lives
// in the notification area.
bool isGraphicalImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray dosHeader = file.read(64);
    if (dosHeader.size() < 64 || !dosHeader.startsWith("MZ"))
        return false;
    const auto peOffset = qFromLittleEndian<quint32>(dosHeader.constData() + 0x3c);
    // The signature, the file header, and the optional header up to its Subsystem field, which
    // sits at the same offset in 32- and 64-bit images.
    constexpr int kSubsystemAt = 4 + IMAGE_SIZEOF_FILE_HEADER + 68;
    if (!file.seek(peOffset))
        return false;
    const QByteArray peHeader = file.read(kSubsystemAt + 2);
    if (peHeader.size() < kSubsystemAt + 2 || !peHeader.startsWith(QByteArray("PE\0\0", 4)))
        return false;
    return qFromLittleEndian<quint16>(peHeader.constData() + kSubsystemAt) ==
           IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

QString imagePathOf(HANDLE process)
{
    wchar_t path[MAX_PATH * 4];
    auto size = DWORD(std::size(path));
    if (!QueryFullProcessImageNameW(process, 0, path, &size))
        return {};
    return QString::fromWCharArray(path, int(size));
}

BOOL WINAPI ignoreConsoleEvent(DWORD)
{
    return TRUE;
}

// The window of the console that program `id` is attached to (null for a console without one,
// as the run's own), or std::nullopt when it has none or the tool cannot look (the tool has a
// console of its own, or the system refuses). Attaching for a moment is the only way to ask; the
// tool's own standard handles are kept as they were.
std::optional<HWND> consoleWindowOf(DWORD id)
{
    const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE saved[3];
    for (int i = 0; i < 3; ++i)
        saved[i] = GetStdHandle(kinds[i]);
    // A Ctrl+C pressed in that console meanwhile would end the tool by default.
    SetConsoleCtrlHandler(ignoreConsoleEvent, TRUE);
    const bool attached = AttachConsole(id);
    HWND window = attached ? GetConsoleWindow() : nullptr;
    if (attached)
        FreeConsole();
    SetConsoleCtrlHandler(ignoreConsoleEvent, FALSE);
    for (int i = 0; i < 3; ++i)
        SetStdHandle(kinds[i], saved[i]);
    return attached ? std::optional<HWND>(window) : std::nullopt;
}

// What a stop has found out so far. The first look sees every program alive, the interpreter
// and the creators of consoles included; what it spared stays spared.
struct Look
{
    // The window of the run's own console, if that could be asked.
    std::optional<HWND> runConsole;
    // The spared programs, with their start times.
    QHash<DWORD, quint64> kept;
};

// The programs of the job that are the user's, and what they started themselves: a program that
// shows a top-level window or is built as a graphical one; one attached to a console other than
// the run's own hidden one (a `start cmd` window, also when Windows Terminal shows it outside the
// job); one the tool may not look at (an elevated console). A console host serving one of them
// stays too: its programs would lose their console.
QSet<DWORD> sparedMembers(const Members &members, Look &look)
{
    QSet<DWORD> owners;
    EnumWindows(addVisibleWindowOwner, reinterpret_cast<LPARAM>(&owners));
    QHash<QString, bool> graphicalImages;
    const auto isGraphical = [&graphicalImages](HANDLE process) {
        const QString image = imagePathOf(process);
        const auto cached = graphicalImages.constFind(image);
        if (cached != graphicalImages.cend())
            return *cached;
        return *graphicalImages.insert(image, !image.isEmpty() && isGraphicalImage(image));
    };
    const auto wasKept = [&look](const Member &member) {
        const auto kept = look.kept.constFind(member.id);
        return kept != look.kept.cend() && *kept == member.startedAt;
    };
    // Without the run's console known, nothing tells another console from it.
    const auto inOtherConsole = [&look](DWORD id) {
        const std::optional<HWND> console = look.runConsole ? consoleWindowOf(id) : std::nullopt;
        return console && *console != *look.runConsole;
    };

    QSet<DWORD> roots;
    for (const Member &member : members.list) {
        if (!member.consoleHost &&
            (!member.handle || owners.contains(member.id) || wasKept(member) ||
             isGraphical(member.handle) || inOtherConsole(member.id)))
            roots.insert(member.id);
    }

    QHash<DWORD, const Member *> byId;
    for (const Member &member : members.list)
        byId.insert(member.id, &member);
    QSet<DWORD> spared;
    for (const Member &member : members.list) {
        // Up through its ancestors in the job. An id that a younger program took over from an
        // ended parent is no ancestor.
        const Member *current = &member;
        for (size_t depth = 0; current && depth <= members.list.size(); ++depth) {
            if (roots.contains(current->id)) {
                spared.insert(member.id);
                break;
            }
            const Member *parent = byId.value(current->parentId);
            current = parent && parent->startedAt <= current->startedAt ? parent : nullptr;
        }
    }

    // A console host is a child of the program that made its console.
    QSet<HWND> consolesInUse;
    for (DWORD id : std::as_const(spared)) {
        if (const std::optional<HWND> console = consoleWindowOf(id))
            consolesInUse.insert(*console);
    }
    for (const Member &member : members.list) {
        if (!member.consoleHost || spared.contains(member.id))
            continue;
        const std::optional<HWND> console = consoleWindowOf(member.parentId);
        if (wasKept(member) || (console && consolesInUse.contains(*console)))
            spared.insert(member.id);
    }
    for (const Member &member : members.list) {
        if (spared.contains(member.id))
            look.kept.insert(member.id, member.startedAt);
    }
    return spared;
}

// Ends the programs of `job` but the user's (see sparedMembers): the run's console programs (a
// chained ping) end, while a window the user works in (a printer dialog, notepad with unsaved
// text) stays open.
void endAllButWindowed(HANDLE job, DWORD interpreter)
{
    Look look{consoleWindowOf(interpreter), {}};
    for (int round = 0; round < kEndingRounds; ++round) {
        const Members members(job);
        const QSet<DWORD> spared = members.known ? sparedMembers(members, look) : QSet<DWORD>();
        // A member that could not be looked at is among the spared: the job as a whole would end
        // it unseen.
        if (spared.isEmpty()) {
            // Nothing to spare: the job ends everything at once, also what starts meanwhile.
            TerminateJobObject(job, 1);
            return;
        }
        // Terminate rights only for these; the spared ones were never asked for them.
        std::vector<HANDLE> ending;
        for (const Member &member : members.list) {
            if (!member.handle || spared.contains(member.id))
                continue;
            HANDLE terminating = OpenProcess(PROCESS_TERMINATE, FALSE, member.id);
            if (terminating && TerminateProcess(terminating, 1))
                ending.push_back(member.handle);
            if (terminating)
                CloseHandle(terminating);
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
        endAllButWindowed(job, DWORD(process.processId()));
    process.kill();
    return true;
}

// Not yet sent on Windows: the caller ends the run at once, as before.
bool interrupt(QProcess &)
{
    return false;
}

void endLeftovers(QProcess &process, Leftovers which)
{
    if (which == Leftovers::AllButUsers) {
        if (HANDLE job = jobOf(process))
            endAllButWindowed(job, 0);
    }
}

bool runsLongProgram(QProcess &process)
{
    HANDLE job = jobOf(process);
    if (!job)
        return false;
    bool known = false;
    const QList<DWORD> ids = processIdsOf(job, &known);
    const QHash<DWORD, ProcessEntry> entries = processEntries();
    for (DWORD id : ids) {
        if (isLongRunningProcess(entries.value(id).exeName, QString()))
            return true;
    }
    return false;
}

void setFailingStepForTesting(std::optional<SetUpStep> step)
{
    failingStep() = step;
}

void setRefusesExaminingForTesting(std::function<bool(quint32 processId)> refuses)
{
    refusesExaminingForTesting() = std::move(refuses);
}

} // namespace ProcessTree
