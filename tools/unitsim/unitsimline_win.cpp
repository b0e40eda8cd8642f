// The simulated unit's line on Windows: the device end of a pair of COM ports that the test
// harness links back to back; the program opens the pair's other end.
#include "unitsimline.h"

#include "comline_win.h"

#include <algorithm>

namespace {

std::chrono::milliseconds UntilDue(TUnitTime Due)
{
    if (Due == TUnitTime::max())
        return std::chrono::hours(1);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(Due - TUnitClock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

class TComPairLine : public TUnitSimLine {
public:
    explicit TComPairLine(TComPair Pair)
        : FPair(std::move(Pair))
        , FLine(FPair.DevicePort)
    {
    }

    const std::string &ProgramPort() const override { return FPair.ProgramPort; }
    // The line's writes wait for room themselves, so WantRoom never needs a wait of its own.
    std::string Wait(TUnitTime Due, bool) override { return FLine.Receive(UntilDue(Due)); }
    std::size_t Write(std::string_view Bytes) override
    {
        FLine.Send(Bytes);
        return Bytes.size();
    }
    void Wake() override { FLine.Wake(); }
    void Close() override { FLine.Close(); }
    bool IsOpen() const override { return FLine.IsOpen(); }

private:
    TComPair FPair;
    TComLine FLine;
};

} // namespace

std::unique_ptr<TUnitSimLine> TUnitSimLine::Open()
{
    return std::make_unique<TComPairLine>(TakeComPair());
}
