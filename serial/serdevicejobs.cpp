#include "serdevicejobs.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// The jobs of each path in the order they were started; the first of a path is the one that
// runs. Shared with every job thread, so that it outlives the program's static objects for as
// long as a job still runs.
struct TTurns {
    std::mutex Lock;
    std::condition_variable Changed;
    std::map<std::string, std::deque<std::uint64_t>> Queues;
    std::uint64_t LastTicket = 0;

    std::uint64_t Enter(const std::string &Path)
    {
        std::lock_guard lock(Lock);
        Queues[Path].push_back(++LastTicket);
        return LastTicket;
    }

    void Leave(const std::string &Path, std::uint64_t Ticket)
    {
        {
            std::lock_guard lock(Lock);
            std::deque<std::uint64_t> &queue = Queues[Path];
            std::erase(queue, Ticket);
            if (queue.empty())
                Queues.erase(Path);
        }
        Changed.notify_all();
    }

    // True when it is Ticket's turn, false when the job was abandoned first.
    bool AwaitTurn(const std::string &Path, std::uint64_t Ticket,
                   const std::function<bool()> &Abandoned)
    {
        std::unique_lock lock(Lock);
        Changed.wait(lock, [&] { return Abandoned() || Queues[Path].front() == Ticket; });
        return !Abandoned();
    }
};

std::shared_ptr<TTurns> Turns()
{
    static const auto turns = std::make_shared<TTurns>();
    return turns;
}

} // namespace

void SerRunDeviceJob(const std::string &Path, std::function<void()> Job,
                     std::function<bool()> Abandoned)
{
    std::shared_ptr<TTurns> turns = Turns();
    const std::uint64_t ticket = turns->Enter(Path);
    try {
        std::thread([turns, Path, ticket, Job = std::move(Job), Abandoned = std::move(Abandoned)] {
            if (turns->AwaitTurn(Path, ticket, Abandoned))
                Job();
            turns->Leave(Path, ticket);
        }).detach();
    } catch (...) {
        turns->Leave(Path, ticket);
        throw;
    }
}

void SerWakeDeviceJobs()
{
    const std::shared_ptr<TTurns> turns = Turns();
    // Under the lock, so that no waiter can miss the news between its test and its wait.
    std::lock_guard lock(turns->Lock);
    turns->Changed.notify_all();
}
