// What the serial tests share: a component on a pseudo-terminal, serving hand-overs on the
// test thread (which plays the GUI thread), and a collector for exceptions of handlers.
#pragma once

#include "ptypair.h"
#include "sercomm.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

// A component whose Close skips the 300 ms pause, for tests that cycle ports.
class TQuickComm : public TSerComm {
public:
    int Holds = 0;

protected:
    void HoldAfterClose() override { ++Holds; }
};

// The line settings this program uses: 500000 8N2, no flow control, EV_RXCHAR only.
void UseProgramSettings(TSerCustomComm &Comm, const std::string &DevicePath);

// Serves hand-overs on this thread until Done() holds or the time-out passes.
bool ServeUntil(const std::function<bool()> &Done, std::chrono::milliseconds Timeout = 5s);

// Like ServeUntil, for conditions that no notification announces: tests Done() every few
// milliseconds as well.
bool WaitUntil(const std::function<bool()> &Done, std::chrono::milliseconds Timeout = 5s);

// Collects the messages of exceptions passed to the application's handler while it lives, and
// the threads they were passed on. WhileShown plays what the user does while an error box is up.
class TCaughtErrors {
public:
    explicit TCaughtErrors(std::function<void()> WhileShown = {});
    ~TCaughtErrors();
    std::vector<std::string> Messages() const;
    std::vector<std::thread::id> Threads() const;

private:
    mutable std::mutex FLock;
    std::vector<std::string> FMessages;
    std::vector<std::thread::id> FThreads;
    std::function<void()> FWhileShown;
};

// The message of the ESerCommError that Action raises, or "" when it raises none.
std::string CommErrorOf(const std::function<void()> &Action);
