#include "comline_win.h"

#include "serdevicename.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// A read of queued bytes waits this long at most: they have come already.
constexpr DWORD QueuedReadTimeoutMs = 5000;
// An event wait that a change of the mask should end at once gets this long, then is cancelled.
constexpr DWORD EndWaitTimeoutMs = 1000;

[[noreturn]] void RaiseLastError(const std::string &What)
{
    throw std::runtime_error(What + " failed with error " + std::to_string(GetLastError()));
}

void Check(BOOL Succeeded, const std::string &What)
{
    if (!Succeeded)
        RaiseLastError(What);
}

class THandle {
public:
    THandle() = default;
    explicit THandle(HANDLE Handle)
        : FHandle(Handle)
    {
    }
    ~THandle() { Close(); }
    THandle(const THandle &) = delete;
    THandle &operator=(const THandle &) = delete;

    HANDLE Get() const { return FHandle; }
    bool IsOpen() const { return FHandle != INVALID_HANDLE_VALUE; }
    // Closes the handle held and takes Handle in its place.
    void Reset(HANDLE Handle)
    {
        Close();
        FHandle = Handle;
    }
    void Close()
    {
        // Nothing is left to do about a failed close of a handle that is given up.
        if (IsOpen())
            CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

HANDLE NewEvent(BOOL ManualReset)
{
    HANDLE event = CreateEventW(nullptr, ManualReset, FALSE, nullptr);
    if (event == nullptr)
        RaiseLastError("CreateEvent");
    return event;
}

DWORD Milliseconds(std::chrono::milliseconds Duration)
{
    return static_cast<DWORD>(std::clamp<long long>(Duration.count(), 0, INFINITE - 1));
}

// Waits for Handle at most TimeoutMs; false when the time ran out.
bool WaitOn(HANDLE Handle, DWORD TimeoutMs)
{
    const DWORD result = WaitForSingleObject(Handle, TimeoutMs);
    if (result == WAIT_FAILED)
        RaiseLastError("WaitForSingleObject");
    return result == WAIT_OBJECT_0;
}

std::vector<TComPair> HarnessPairs()
{
    std::vector<TComPair> pairs;
    const char *list = std::getenv("ZARNELL_TEST_PAIRS");
    std::istringstream stream(list ? list : "");
    for (std::string entry; std::getline(stream, entry, ',');) {
        const auto equals = entry.find('=');
        if (equals != std::string::npos)
            pairs.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
    }
    return pairs;
}

} // namespace

TComPair TakeComPair()
{
    static std::mutex lock;
    static const std::vector<TComPair> pairs = HarnessPairs();
    static std::size_t next = 0;
    std::lock_guard guard(lock);
    if (next == pairs.size())
        throw std::runtime_error("no COM port pair left (ZARNELL_TEST_PAIRS names " +
                                 std::to_string(pairs.size()) + ")");
    return pairs[next++];
}

struct TComLine::TImpl {
    explicit TImpl(const std::string &Name);
    ~TImpl() { CloseLine(); }

    std::string ReadQueued();
    // True when the wait for arriving bytes has ended at once.
    bool StartWait();
    DWORD Finish(OVERLAPPED &Overlapped, DWORD TimeoutMs);
    void EndWait();
    void CloseLine();

    THandle Port;
    THandle Arrived{NewEvent(TRUE)}; // the completion of the pending event wait
    THandle Done{NewEvent(TRUE)};    // the completion of reads and writes
    THandle Woken{NewEvent(FALSE)};
    OVERLAPPED Wait{};
    DWORD Events = 0;
    bool WaitPending = false;
};

TComLine::TImpl::TImpl(const std::string &Name)
{
    const std::string path = SerDevicePath(Name);
    Port.Reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr));
    if (!Port.IsOpen())
        RaiseLastError("opening " + Name);
    // Reads return at once with what has come; the waits are the event waits.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    Check(SetCommTimeouts(Port.Get(), &timeouts), "SetCommTimeouts on " + Name);
    Check(SetCommMask(Port.Get(), EV_RXCHAR), "SetCommMask on " + Name);
}

// Waits for the transfer of Overlapped at most TimeoutMs and returns its count; one that is not
// done by then is cancelled and waited for, so that its buffer may go.
DWORD TComLine::TImpl::Finish(OVERLAPPED &Overlapped, DWORD TimeoutMs)
{
    DWORD count = 0;
    if (WaitOn(Overlapped.hEvent, TimeoutMs)) {
        Check(GetOverlappedResult(Port.Get(), &Overlapped, &count, FALSE), "a transfer");
        return count;
    }
    // It may have completed meanwhile, and then the cancel finds nothing; the result below
    // tells what went either way.
    CancelIoEx(Port.Get(), &Overlapped);
    if (!GetOverlappedResult(Port.Get(), &Overlapped, &count, TRUE) &&
        GetLastError() != ERROR_OPERATION_ABORTED)
        RaiseLastError("a cancelled transfer");
    return count;
}

std::string TComLine::TImpl::ReadQueued()
{
    DWORD errors = 0;
    COMSTAT status{};
    Check(ClearCommError(Port.Get(), &errors, &status), "ClearCommError");
    if (status.cbInQue == 0)
        return {};
    std::string bytes(status.cbInQue, '\0');
    OVERLAPPED overlapped{};
    overlapped.hEvent = Done.Get();
    Check(ResetEvent(Done.Get()), "ResetEvent");
    if (!ReadFile(Port.Get(), bytes.data(), status.cbInQue, nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        RaiseLastError("ReadFile");
    bytes.resize(Finish(overlapped, QueuedReadTimeoutMs));
    return bytes;
}

bool TComLine::TImpl::StartWait()
{
    Wait = OVERLAPPED{};
    Wait.hEvent = Arrived.Get();
    Check(ResetEvent(Arrived.Get()), "ResetEvent");
    if (WaitCommEvent(Port.Get(), &Events, &Wait))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        RaiseLastError("WaitCommEvent");
    WaitPending = true;
    return false;
}

void TComLine::TImpl::EndWait()
{
    if (!std::exchange(WaitPending, false))
        return;
    // A new mask ends the pending wait; should it not, the wait is cancelled. Either way it has
    // ended when the result comes, whatever the result says.
    SetCommMask(Port.Get(), EV_RXCHAR);
    if (!WaitOn(Arrived.Get(), EndWaitTimeoutMs))
        CancelIoEx(Port.Get(), &Wait);
    DWORD unused = 0;
    GetOverlappedResult(Port.Get(), &Wait, &unused, TRUE);
}

void TComLine::TImpl::CloseLine()
{
    if (!Port.IsOpen())
        return;
    EndWait();
    Port.Close();
}

TComLine::TComLine(const std::string &Port)
    : FImpl(std::make_unique<TImpl>(Port))
{
}

TComLine::~TComLine() = default;

std::string TComLine::Receive(std::chrono::milliseconds Timeout)
{
    TImpl &line = *FImpl;
    const DWORD timeout = Milliseconds(Timeout);
    if (!line.Port.IsOpen()) {
        WaitOn(line.Woken.Get(), timeout);
        return {};
    }
    if (std::string bytes = line.ReadQueued(); !bytes.empty())
        return bytes;
    if (!line.WaitPending && line.StartWait())
        return line.ReadQueued();
    // A wait that is still pending when the time is up stays so, for the next call.
    const HANDLE signals[] = {line.Arrived.Get(), line.Woken.Get()};
    const DWORD result = WaitForMultipleObjects(2, signals, FALSE, timeout);
    if (result == WAIT_FAILED)
        RaiseLastError("WaitForMultipleObjects");
    if (result == WAIT_OBJECT_0) {
        line.WaitPending = false;
        DWORD unused = 0;
        Check(GetOverlappedResult(line.Port.Get(), &line.Wait, &unused, FALSE), "WaitCommEvent");
    }
    return line.ReadQueued();
}

void TComLine::Send(std::string_view Bytes, std::chrono::milliseconds Timeout)
{
    TImpl &line = *FImpl;
    if (!line.Port.IsOpen() || Bytes.empty())
        return;
    OVERLAPPED overlapped{};
    overlapped.hEvent = line.Done.Get();
    Check(ResetEvent(line.Done.Get()), "ResetEvent");
    if (!WriteFile(line.Port.Get(), Bytes.data(), static_cast<DWORD>(Bytes.size()), nullptr,
                   &overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        RaiseLastError("WriteFile");
    const DWORD sent = line.Finish(overlapped, Milliseconds(Timeout));
    if (sent != Bytes.size())
        throw std::runtime_error("the line took " + std::to_string(sent) + " of " +
                                 std::to_string(Bytes.size()) + " bytes");
}

void TComLine::Wake()
{
    Check(SetEvent(FImpl->Woken.Get()), "SetEvent");
}

void TComLine::Close()
{
    FImpl->CloseLine();
}

bool TComLine::IsOpen() const
{
    return FImpl->Port.IsOpen();
}
