#include "seropentimes.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

using namespace std::chrono;

namespace {

struct TRecord {
    steady_clock::time_point Began;
    bool Returned = false;
    milliseconds Took{0};
};

// Shared with every opening thread, so that it outlives the program's static objects for as
// long as an open that was given up still runs.
struct TTimes {
    std::mutex Lock;
    std::map<std::string, TRecord> Records;
};

std::shared_ptr<TTimes> Times()
{
    static const auto times = std::make_shared<TTimes>();
    return times;
}

milliseconds Since(steady_clock::time_point Began)
{
    return duration_cast<milliseconds>(steady_clock::now() - Began);
}

} // namespace

std::optional<TSerOpenTime> SerOpenTime(const std::string &Path)
{
    const std::shared_ptr<TTimes> times = Times();
    std::lock_guard lock(times->Lock);
    const auto found = times->Records.find(Path);
    if (found == times->Records.end())
        return std::nullopt;
    const TRecord &record = found->second;
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
{
    const std::shared_ptr<TTimes> times = Times();
    std::lock_guard lock(times->Lock);
    times->Records[FPath] = TRecord{steady_clock::now()};
}

TSerOpenClock::~TSerOpenClock()
{
    const std::shared_ptr<TTimes> times = Times();
    std::lock_guard lock(times->Lock);
    TRecord &record = times->Records[FPath];
    record.Took = Since(record.Began);
    record.Returned = true;
}
