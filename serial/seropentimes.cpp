#include "seropentimes.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

using namespace std::chrono;

// Shared with every clock, so that it outlives the program's static objects for as long as an
// open that was given up still runs.
struct TSerOpenRecords {
    struct TRecord {
        steady_clock::time_point Began;
        bool Returned = false;
        milliseconds Took{0};
    };

    std::mutex Lock;
    std::map<std::string, TRecord> Records;
};

namespace {

std::shared_ptr<TSerOpenRecords> Records()
{
    static const auto records = std::make_shared<TSerOpenRecords>();
    return records;
}

milliseconds Since(steady_clock::time_point Began)
{
    return duration_cast<milliseconds>(steady_clock::now() - Began);
}

} // namespace

std::optional<TSerOpenTime> SerOpenTime(const std::string &Path)
{
    const std::shared_ptr<TSerOpenRecords> records = Records();
    std::lock_guard lock(records->Lock);
    const auto found = records->Records.find(Path);
    if (found == records->Records.end())
        return std::nullopt;
    const TSerOpenRecords::TRecord &record = found->second;
    return TSerOpenTime{record.Returned, record.Returned ? record.Took : Since(record.Began)};
}

milliseconds SerOpenBound(const std::string &Path, milliseconds Short)
{
    constexpr milliseconds longest = minutes(1);
    const std::optional<TSerOpenTime> last = SerOpenTime(Path);
    if (!last || !last->Returned)
        return Short;
    return std::max(Short, std::min(last->Took * 5 / 4 + milliseconds(500), longest));
}

TSerOpenClock::TSerOpenClock(std::string Path)
    : FPath(std::move(Path))
    , FRecords(Records())
{
}

TSerOpenClock::TRun::TRun(const TSerOpenClock &Clock)
    : FClock(Clock)
{
    std::lock_guard lock(FClock.FRecords->Lock);
    FClock.FRecords->Records[FClock.FPath] = TSerOpenRecords::TRecord{steady_clock::now()};
}

TSerOpenClock::TRun::~TRun()
{
    std::lock_guard lock(FClock.FRecords->Lock);
    TSerOpenRecords::TRecord &record = FClock.FRecords->Records[FClock.FPath];
    record.Took = Since(record.Began);
    record.Returned = true;
}
