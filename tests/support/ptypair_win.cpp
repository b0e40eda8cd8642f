// The test's serial line on Windows: the device end of a COM port pair of the test harness.
#include "ptypair.h"

#include "comline_win.h"

#include <stdexcept>
#include <utility>

struct TPtyPair::TImpl {
    TImpl()
        : Pair(TakeComPair())
        , Line(Pair.DevicePort)
    {
    }

    TComPair Pair;
    TComLine Line;
    std::string Received; // what came beyond the count of a Read
};

TPtyPair::TPtyPair()
    : FImpl(std::make_unique<TImpl>())
{
}

TPtyPair::~TPtyPair() = default;

const std::string &TPtyPair::SlavePath() const
{
    return FImpl->Pair.ProgramPort;
}

void TPtyPair::Write(std::string_view Bytes, std::chrono::milliseconds Timeout)
{
    if (!FImpl->Line.IsOpen())
        throw std::runtime_error("write: the device end is closed");
    FImpl->Line.Send(Bytes, Timeout);
}

std::string TPtyPair::Read(std::size_t Count, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    std::string &received = FImpl->Received;
    while (received.size() < Count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        received += FImpl->Line.Receive(left);
    }
    const std::string data = received.substr(0, Count);
    received.erase(0, data.size());
    return data;
}

std::string TPtyPair::ReadUntilQuiet(std::chrono::milliseconds Quiet)
{
    std::string data = std::exchange(FImpl->Received, {});
    for (std::string more = FImpl->Line.Receive(Quiet); !more.empty();
         more = FImpl->Line.Receive(Quiet))
        data += more;
    return data;
}

void TPtyPair::CloseMaster()
{
    FImpl->Line.Close();
}
