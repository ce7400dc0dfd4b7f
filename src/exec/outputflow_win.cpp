#include "exec/outputflow.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QWinEventNotifier>

#include <utility>

#include <windows.h>

// QProcess's Windows pipe reader reads on by itself in the background, and Qt offers no public
// way to pause it. So the tool owns the child's output pipe: a named pipe of its own, read with
// one overlapped read at a time, the next one issued only when the pane is not holding. The child
// gets the pipe's write end as its standard output and error, QProcess none to read.

namespace {

const QString kFlowName = QStringLiteral("quillwickOutputFlow");

// What the pipe holds before the child's writes wait, and the most one read takes.
constexpr DWORD kPipeBuffer = 64 * 1024;
// At the child's end, what is read without waiting: the full pipe and a little more, bounded, as
// a program the child started may still be writing into it.
constexpr qsizetype kDrainLimit = 4 * kPipeBuffer;

// A few names before giving up: a name is taken only by a program that squats it.
constexpr int kPipeNameTries = 4;

QStringList &pipeNamePartsForTesting()
{
    static QStringList parts;
    return parts;
}

// The pipe's name in the machine-wide namespace, with a random part nobody can guess ahead.
QString pipeName(int attempt)
{
    const QStringList &parts = pipeNamePartsForTesting();
    const QString part = !parts.isEmpty()
                             ? parts.at(qMin<qsizetype>(attempt, parts.size() - 1))
                             : QString::number(QRandomGenerator::system()->generate64(), 16);
    return QStringLiteral("\\\\.\\pipe\\quillwick-output-") + part;
}

HANDLE createPipe(HANDLE *writeEnd)
{
    for (int attempt = 0; attempt < kPipeNameTries; ++attempt) {
        const QString name = pipeName(attempt);
        const auto path = reinterpret_cast<const wchar_t *>(name.utf16());
        // The first instance or none: a pipe of that name made by anyone else fails this.
        HANDLE readEnd = CreateNamedPipeW(
            path, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
            kPipeBuffer, 0, nullptr);
        if (readEnd == INVALID_HANDLE_VALUE)
            continue;
        // Synchronous, as a console program expects of its standard output; not inheritable but
        // during the child's creation, so that no other child started meanwhile keeps it. The
        // server may only learn who the tool is, never act as the tool (an elevated one, too).
        *writeEnd = CreateFileW(
            path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
            FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (*writeEnd != INVALID_HANDLE_VALUE)
            return readEnd;
        CloseHandle(readEnd);
    }
    *writeEnd = nullptr;
    return nullptr;
}

} // namespace

struct OutputFlow::Platform
{
    ~Platform()
    {
        // It waits on the event, which must outlive its wait.
        delete notifier;
        if (reading) {
            DWORD ignored = 0;
            CancelIoEx(readEnd, &overlapped);
            GetOverlappedResult(readEnd, &overlapped, &ignored, TRUE);
        }
        if (writeEnd)
            CloseHandle(writeEnd);
        if (readEnd)
            CloseHandle(readEnd);
        if (overlapped.hEvent)
            CloseHandle(overlapped.hEvent);
    }

    // Takes the result of the read in flight; `wait` also for one that is still pending.
    void finishRead(bool wait)
    {
        DWORD count = 0;
        const bool done = GetOverlappedResult(readEnd, &overlapped, &count, wait);
        if (!done && GetLastError() == ERROR_IO_INCOMPLETE)
            return;
        ResetEvent(overlapped.hEvent);
        reading = false;
        if (done)
            received.append(chunk.constData(), count);
        else if (GetLastError() != ERROR_OPERATION_ABORTED)
            ended = true; // ERROR_BROKEN_PIPE: every writer has gone
    }

    void startRead()
    {
        if (reading || ended || held || !readEnd)
            return;
        chunk.resize(kPipeBuffer);
        // An immediate result is signalled through the event too.
        if (!ReadFile(readEnd, chunk.data(), kPipeBuffer, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            ended = true;
            return;
        }
        reading = true;
    }

    // The child has ended: what its pipe holds now, but never more than the bound.
    void drain()
    {
        drained = true;
        if (reading) {
            DWORD count = 0;
            if (!GetOverlappedResult(readEnd, &overlapped, &count, FALSE))
                CancelIoEx(readEnd, &overlapped);
            finishRead(true);
        }
        const qsizetype limit = received.size() + kDrainLimit;
        while (!ended && received.size() < limit) {
            DWORD available = 0;
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) {
                ended = true;
                break;
            }
            if (available == 0)
                break;
            chunk.resize(qMin<DWORD>(available, kPipeBuffer));
            if (!ReadFile(readEnd, chunk.data(), DWORD(chunk.size()), nullptr, &overlapped) &&
                GetLastError() != ERROR_IO_PENDING) {
                ended = true;
                break;
            }
            reading = true;
            finishRead(true);
        }
        ended = true;
    }

    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    OVERLAPPED overlapped = {};
    QWinEventNotifier *notifier = nullptr;
    QByteArray chunk;
    QByteArray received;
    bool reading = false;
    bool held = false;
    bool ended = false;
    bool drained = false;
};

OutputFlow::OutputFlow(QProcess &process)
    : QObject(&process)
    , process(process)
    , platform(new Platform)
{
    setObjectName(kFlowName);
    Platform &p = *platform;
    p.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (p.overlapped.hEvent)
        p.readEnd = createPipe(&p.writeEnd);
    if (!p.readEnd) {
        // Without a pipe of its own the output still comes, through QProcess, only unheld.
        connect(&process, &QProcess::readyReadStandardOutput, this, &OutputFlow::readyRead);
        return;
    }
    // No pipe for QProcess to read (merged, the error channel follows); the child's standard
    // input stays QProcess's.
    process.setStandardOutputFile(QProcess::nullDevice());
    HANDLE writeEnd = p.writeEnd;
    process.setCreateProcessArgumentsModifier(
        [writeEnd](QProcess::CreateProcessArguments *arguments) {
            SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
            arguments->startupInfo->dwFlags |= STARTF_USESTDHANDLES;
            arguments->startupInfo->hStdOutput = writeEnd;
            arguments->startupInfo->hStdError = writeEnd;
            arguments->inheritHandles = true;
        });
    // QProcess reports the start from inside start(), right after the child was created: the
    // child holds its copy of the write end, and the pipe ends when the last writer goes. A child
    // that could not be created holds none, and no later child may inherit it.
    connect(&process, &QProcess::started, this, [this] {
        CloseHandle(std::exchange(platform->writeEnd, nullptr));
        platform->startRead();
    });
    connect(&process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && platform->writeEnd)
            CloseHandle(std::exchange(platform->writeEnd, nullptr));
    });
    p.notifier = new QWinEventNotifier(p.overlapped.hEvent, this);
    connect(p.notifier, &QWinEventNotifier::activated, this, [this] {
        if (!platform->reading)
            return;
        platform->finishRead(false);
        if (!platform->received.isEmpty())
            emit readyRead();
        platform->startRead();
    });
}

OutputFlow::~OutputFlow()
{
    delete platform;
}

bool OutputFlow::canHold() const
{
    return platform->readEnd != nullptr;
}

void OutputFlow::setPipeNamePartsForTesting(const QStringList &parts)
{
    pipeNamePartsForTesting() = parts;
}

OutputFlow *OutputFlow::of(QProcess &process)
{
    return process.findChild<OutputFlow *>(kFlowName, Qt::FindDirectChildrenOnly);
}

QByteArray OutputFlow::read()
{
    if (!platform->readEnd)
        return process.readAllStandardOutput();
    if (process.state() == QProcess::NotRunning && !platform->drained)
        platform->drain();
    return std::exchange(platform->received, {});
}

void OutputFlow::hold()
{
    platform->held = true;
}

void OutputFlow::release()
{
    if (!platform->held)
        return;
    platform->held = false;
    platform->startRead();
}
