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
#include <winternl.h>

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

// Owns the job object of one run and remembers its interpreter, whose id QProcess forgets once it
// has reported the end; lives as a child object of its QProcess.
class JobHolder : public QObject
{
public:
    JobHolder(HANDLE job, DWORD interpreter, QObject *parent)
        : QObject(parent)
        , job(job)
        , interpreter(interpreter)
    {
        setObjectName(kJobObjectName);
    }

    ~JobHolder() override
    {
        keepMembersOnClose();
        CloseHandle(job);
    }

    // The job kills its processes when its last handle closes; that is meant for a tool that
    // goes away without cleaning up. A command that ended by itself keeps what it started, and
    // what a stop spares must outlive the tool too, should the tool go away meanwhile.
    void keepMembersOnClose()
    {
        if (keepsMembers)
            return;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        keepsMembers =
            SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }

    const HANDLE job;
    const DWORD interpreter;

private:
    bool keepsMembers = false;
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

// Lets a child inherit only its own standard handles, none of the tool's other inheritable ones:
// a pipe of the script that started the tool would otherwise stay open for as long as anything
// the run started (`start notepad.exe`) runs. Made for one creation and kept until it is done.
class StandardHandlesOnly
{
public:
    StandardHandlesOnly() = default;
    StandardHandlesOnly(const StandardHandlesOnly &) = delete;
    StandardHandlesOnly &operator=(const StandardHandlesOnly &) = delete;
    ~StandardHandlesOnly()
    {
        if (extended.lpAttributeList)
            DeleteProcThreadAttributeList(extended.lpAttributeList);
    }

    void apply(QProcess::CreateProcessArguments *arguments)
    {
        const STARTUPINFOW &startup = *arguments->startupInfo;
        if (!arguments->inheritHandles || !(startup.dwFlags & STARTF_USESTDHANDLES))
            return;
        for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
            DWORD flags = 0;
            // Only inheritable handles may be listed, each once.
            if (handle && handle != INVALID_HANDLE_VALUE && GetHandleInformation(handle, &flags) &&
                (flags & HANDLE_FLAG_INHERIT) &&
                std::find(handles.cbegin(), handles.cend(), handle) == handles.cend())
                handles.push_back(handle);
        }
        if (handles.empty()) {
            arguments->inheritHandles = false;
            return;
        }
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributes.resize(size);
        auto *list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size))
            return;
        extended.lpAttributeList = list;
        // Without the list the child would inherit everything, as before; it still runs.
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                       handles.size() * sizeof(HANDLE), nullptr, nullptr))
            return;
        extended.StartupInfo = startup;
        extended.StartupInfo.cb = sizeof extended;
        arguments->startupInfo = &extended.StartupInfo;
        arguments->flags |= EXTENDED_STARTUPINFO_PRESENT;
    }

private:
    std::vector<HANDLE> handles;
    std::vector<char> attributes;
    STARTUPINFOEXW extended = {};
};

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
    new JobHolder(job, created.dwProcessId, &process);
    HANDLE thread = failing == ProcessTree::SetUpStep::Resume ? nullptr : created.hThread;
    if (ResumeThread(thread) == DWORD(-1))
        return systemFailure("ResumeThread");
    return {};
}

JobHolder *jobHolderOf(const QProcess &process)
{
    auto *holder = process.findChild<QObject *>(kJobObjectName, Qt::FindDirectChildrenOnly);
    return static_cast<JobHolder *>(holder);
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
    // Every program of the system when they were looked up.
    QHash<DWORD, ProcessEntry> entries;

    const Member *find(DWORD id) const
    {
        const auto found = std::find_if(list.cbegin(), list.cend(),
                                        [id](const Member &member) { return member.id == id; });
        return found == list.cend() ? nullptr : &*found;
    }

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
    entries = processEntries();
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

// Ctrl+C and Ctrl+Break reach the tool while it is attached to a run's console to interrupt it,
// and may still come, on a thread of their own, after it has left that console again. Answered
// here, they never end the tool; any other event takes its usual course.
BOOL WINAPI ignoreInterrupt(DWORD event)
{
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

// Registered once, before the first run, for the tool's whole life: a handler that has just been
// removed would leave a late Ctrl+C to the default, which ends the process. A handler function is
// the tool's own, while ignoring Ctrl+C (SetConsoleCtrlHandler(NULL, TRUE)) would be inherited by
// every run, whose programs then could not be interrupted; for that reason an ignoring that the
// tool inherited itself (from a launcher that started it in a process group of its own) is
// dropped first. False when the handler could not be registered: then the tool never attaches.
bool ignoresInterrupts()
{
    static const bool registered = [] {
        SetConsoleCtrlHandler(nullptr, FALSE);
        return SetConsoleCtrlHandler(ignoreInterrupt, TRUE) != FALSE;
    }();
    return registered;
}

// Sends Ctrl+C to the console of `interpreter`, the run's own hidden one: the tool attaches to it
// for the moment of sending, as the event goes only to the consoles of the sender. Nobody can
// close a console without a window, so no close event can reach the tool while it is attached.
// The standard handles that attaching installs are closed again, and the tool's own restored.
bool interruptConsoleOf(DWORD interpreter)
{
    const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE saved[3];
    for (int i = 0; i < 3; ++i)
        saved[i] = GetStdHandle(kinds[i]);
    if (!AttachConsole(interpreter))
        return false;
    QSet<HANDLE> installed;
    for (int i = 0; i < 3; ++i) {
        HANDLE handle = GetStdHandle(kinds[i]);
        if (handle && handle != INVALID_HANDLE_VALUE && handle != saved[i])
            installed.insert(handle);
    }
    // Every program attached to the console hears it, the tool too (see ignoreInterrupt).
    const bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    FreeConsole();
    for (HANDLE handle : std::as_const(installed))
        CloseHandle(handle);
    for (int i = 0; i < 3; ++i)
        SetStdHandle(kinds[i], saved[i]);
    return sent;
}

// The console host serving the console that `process` is attached to, as the system keeps it: 0
// for a program without a console, std::nullopt where the system does not say (Wine).
std::optional<DWORD> systemConsoleHost(HANDLE process)
{
    constexpr auto kProcessConsoleHostProcess = PROCESSINFOCLASS(49);
    ULONG_PTR host = 0;
    if (!process || NtQueryInformationProcess(process, kProcessConsoleHostProcess, &host,
                                              sizeof host, nullptr) < 0)
        return std::nullopt;
    // The low bits are flags; process ids are multiples of four.
    return DWORD(host & ~ULONG_PTR(3));
}

HANDLE openForQuery(DWORD id)
{
    return OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
}

const wchar_t *const kConsoleWindowClasses[] = {
    L"ConsoleWindowClass",  // the classic console host's window
    L"PseudoConsoleWindow", // the hidden window of a console that a terminal shows, owned by it
    L"WineConsoleClass",
};

BOOL CALLBACK addShownConsoleWindow(HWND window, LPARAM windows)
{
    wchar_t windowClass[32];
    if (!GetClassNameW(window, windowClass, int(std::size(windowClass))))
        return TRUE;
    const bool console =
        std::any_of(std::begin(kConsoleWindowClasses), std::end(kConsoleWindowClasses),
                    [&windowClass](const wchar_t *name) { return wcscmp(windowClass, name) == 0; });
    HWND root = GetAncestor(window, GA_ROOTOWNER);
    if (console && (IsWindowVisible(window) || (root && root != window && IsWindowVisible(root))))
        reinterpret_cast<std::vector<HWND> *>(windows)->push_back(window);
    return TRUE;
}

// What a stop has found out so far. The first look sees every program alive, the interpreter
// and the creators of consoles included; what it spared stays spared.
struct Look
{
    // The console host of the run's own console, once asked: 0 where it is not known.
    std::optional<DWORD> runHost;
    // The spared programs, with their start times.
    QHash<DWORD, quint64> kept;
};

// Which console each program of a run is attached to, found without attaching the tool to any of
// them: while attached, a close of that console (its window or Terminal tab closed) would end the
// tool, whatever its handler answers. The system names a program's console host; where it does
// not (Wine), the process snapshot does: a console host is started by the program that made its
// console, and a console program without one of its own shares its parent's.
class Consoles
{
public:
    Consoles(const Members &members, DWORD interpreter, Look &look)
        : members(members)
    {
        for (auto entry = members.entries.cbegin(); entry != members.entries.cend(); ++entry) {
            if (entry->exeName.compare(QLatin1String("conhost.exe"), Qt::CaseInsensitive) == 0)
                hostByCreator.insert(entry->parentId, entry.key());
        }
        if (!look.runHost) {
            HANDLE handle = openForQuery(interpreter);
            look.runHost = hostOf(interpreter, handle).value_or(0);
            if (handle)
                CloseHandle(handle);
        }
        runHost = *look.runHost;

        std::vector<HWND> shown;
        EnumWindows(addShownConsoleWindow, reinterpret_cast<LPARAM>(&shown));
        for (HWND window : shown) {
            // Windows names a client of the console as the window's owner, Wine its host.
            DWORD owner = 0;
            if (!GetWindowThreadProcessId(window, &owner))
                continue;
            shownHosts.insert(owner);
            HANDLE handle = openForQuery(owner);
            if (const std::optional<DWORD> host = hostOf(owner, handle); host && *host)
                shownHosts.insert(*host);
            if (handle)
                CloseHandle(handle);
        }
    }

    // The console host of program `id`: 0 for none, std::nullopt where it is not known.
    std::optional<DWORD> hostOf(DWORD id, HANDLE handle) const
    {
        if (const std::optional<DWORD> host = systemConsoleHost(handle))
            return host;
        // Up through the parents in the job; a parent that has ended still names the console it
        // made, and an id that a younger program took over is no parent.
        DWORD current = id;
        for (size_t depth = 0; depth <= members.list.size(); ++depth) {
            if (const DWORD host = hostByCreator.value(current))
                return host;
            const Member *member = members.find(current);
            if (!member)
                return std::nullopt;
            const Member *parent = members.find(member->parentId);
            if (!parent) {
                const DWORD host = hostByCreator.value(member->parentId);
                return host ? std::optional<DWORD>(host) : std::nullopt;
            }
            if (parent->startedAt > member->startedAt)
                return std::nullopt;
            current = parent->id;
        }
        return std::nullopt;
    }

    // A program whose console cannot be told (under Wine, what `start /b` starts has a parent
    // that ended at once) is taken for one of the run's: the run started it, and nothing shows
    // that it is the user's.
    bool inRunsConsole(const Member &member) const
    {
        const std::optional<DWORD> host = hostOf(member.id, member.handle);
        return runHost != 0 && (!host || *host == runHost);
    }

    // In a console other than the run's whose window, or the terminal window that owns it, the
    // user sees: a `start cmd` window, a Windows Terminal tab. A console whose window is hidden
    // (`Start-Process -WindowStyle Hidden`) is nobody's to keep.
    bool inShownOtherConsole(const Member &member) const
    {
        const std::optional<DWORD> host = hostOf(member.id, member.handle);
        return host && *host != 0 && *host != runHost && shownHosts.contains(*host);
    }

private:
    const Members &members;
    QHash<DWORD, DWORD> hostByCreator;
    DWORD runHost = 0;
    QSet<DWORD> shownHosts;
};

// The programs of the job that are the user's, and what they started themselves: a program that
// shows a top-level window or is built as a graphical one; one attached to a console other than
// the run's own whose window the user sees (a `start cmd` window, also when Windows Terminal shows
// it outside the job); one the tool may not look at (an elevated console). A console host serving
// one of them stays too: its programs would lose their console.
QSet<DWORD> sparedMembers(const Members &members, const Consoles &consoles, Look &look)
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

    QSet<DWORD> roots;
    for (const Member &member : members.list) {
        if (!member.consoleHost &&
            (!member.handle || owners.contains(member.id) || wasKept(member) ||
             isGraphical(member.handle) || consoles.inShownOtherConsole(member)))
            roots.insert(member.id);
    }

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
            const Member *parent = members.find(current->parentId);
            current = parent && parent->startedAt <= current->startedAt ? parent : nullptr;
        }
    }

    QSet<DWORD> hostsInUse;
    for (const Member &member : members.list) {
        if (!spared.contains(member.id))
            continue;
        if (const std::optional<DWORD> host = consoles.hostOf(member.id, member.handle))
            hostsInUse.insert(*host);
    }
    for (const Member &member : members.list) {
        if (member.consoleHost && (wasKept(member) || hostsInUse.contains(member.id)))
            spared.insert(member.id);
    }
    for (const Member &member : members.list) {
        if (spared.contains(member.id))
            look.kept.insert(member.id, member.startedAt);
    }
    return spared;
}

enum class Ending
{
    // Everything but the user's programs (see sparedMembers).
    AllButUsers,
    // Of those, only the console programs attached to the run's own console.
    InRunsConsole
};

// Ends programs of the run's job: the run's console programs (a chained ping) end, while a
// window the user works in (a printer dialog, notepad with unsaved text) stays open.
void endMembers(JobHolder &holder, Ending ending)
{
    Look look;
    for (int round = 0; round < kEndingRounds; ++round) {
        const Members members(holder.job);
        if (!members.known && ending == Ending::InRunsConsole)
            return;
        const Consoles consoles(members, holder.interpreter, look);
        // A member that could not be looked at is among the spared: the job as a whole would end
        // it unseen.
        const QSet<DWORD> spared =
            members.known ? sparedMembers(members, consoles, look) : QSet<DWORD>();
        if (spared.isEmpty() && ending == Ending::AllButUsers) {
            // Nothing to spare: the job ends everything at once, also what starts meanwhile.
            TerminateJobObject(holder.job, 1);
            return;
        }
        // What is not ended now is the user's from now on.
        holder.keepMembersOnClose();
        // Terminate rights only for these; the spared ones were never asked for them.
        std::vector<HANDLE> endings;
        for (const Member &member : members.list) {
            if (!member.handle || spared.contains(member.id) ||
                (ending == Ending::InRunsConsole &&
                 (member.consoleHost || !consoles.inRunsConsole(member))))
                continue;
            HANDLE terminating = OpenProcess(PROCESS_TERMINATE, FALSE, member.id);
            if (terminating && TerminateProcess(terminating, 1))
                endings.push_back(member.handle);
            if (terminating)
                CloseHandle(terminating);
        }
        if (endings.empty())
            return;
        // Ending is asynchronous; the next round must not meet them again.
        const auto count = DWORD(qMin<size_t>(endings.size(), MAXIMUM_WAIT_OBJECTS));
        WaitForMultipleObjects(count, endings.data(), TRUE, kEndingWaitMs);
    }
}

// A program's command line, read from its process parameters: the system answers it directly
// only from Windows 8.1 on, and Wine not at all.
QString commandLineOf(DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process)
        return {};
    QString line;
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) >= 0 &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
        ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters,
                          nullptr)) {
        std::vector<wchar_t> text(parameters.CommandLine.Length / sizeof(wchar_t));
        if (!text.empty() && ReadProcessMemory(process, parameters.CommandLine.Buffer, text.data(),
                                               text.size() * sizeof(wchar_t), nullptr))
            line = QString::fromWCharArray(text.data(), int(text.size()));
    }
    CloseHandle(process);
    return line;
}

} // namespace

namespace ProcessTree {

QString start(QProcess &process, QIODevice::OpenMode mode)
{
    // Suspended until it is in the job: otherwise cmd.exe could start a program before the
    // assignment, and that program would stay outside the job. QProcess creates the child with
    // the structure it hands to the modifier and keeps it, thread handle open, until the child
    // has ended, so the child's own thread is resumed through it.
    // A modifier set before (the output pipe's) still applies; of the handles, only the standard
    // ones it leaves are inherited.
    ignoresInterrupts();
    PROCESS_INFORMATION *created = nullptr;
    StandardHandlesOnly inherited;
    const QProcess::CreateProcessArgumentModifier outer = process.createProcessArgumentsModifier();
    process.setCreateProcessArgumentsModifier(
        [&created, &inherited, &outer](QProcess::CreateProcessArguments *arguments) {
            if (outer)
                outer(arguments);
            arguments->flags |= CREATE_SUSPENDED;
            created = arguments->processInformation;
            inherited.apply(arguments);
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
    if (JobHolder *holder = jobHolderOf(process))
        endMembers(*holder, Ending::AllButUsers);
    process.kill();
    return true;
}

bool interrupt(QProcess &process)
{
    if (process.state() == QProcess::NotRunning || hasEnded(process) || !ignoresInterrupts())
        return false;
    return interruptConsoleOf(DWORD(process.processId()));
}

void endLeftovers(QProcess &process, Leftovers which)
{
    if (JobHolder *holder = jobHolderOf(process))
        endMembers(*holder,
                   which == Leftovers::AllButUsers ? Ending::AllButUsers : Ending::InRunsConsole);
}

bool runsLongProgram(QProcess &process)
{
    const JobHolder *holder = jobHolderOf(process);
    if (!holder)
        return false;
    const Members members(holder->job);
    return std::any_of(members.list.cbegin(), members.list.cend(),
                       [&members](const Member &member) {
                           return isLongRunningProcess(members.entries.value(member.id).exeName,
                                                       commandLineOf(member.id));
                       });
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
