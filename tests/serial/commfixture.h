// What the serial tests share: a component on a pseudo-terminal, serving hand-overs on the
// test thread (which plays the GUI thread), and a collector for exceptions of handlers.
#pragma once

#include "commerror.h"
#include "ptypair.h"
#include "sercomm.h"

#include <gtest/gtest.h>

#include <atomic>
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

// A component with the program's settings for a pseudo-terminal of its own; each test binds its
// handlers and opens the port.
class TProgramPortTest : public ::testing::Test {
protected:
    TProgramPortTest() { UseProgramSettings(FComm, FPty.SlavePath()); }

    TPtyPair FPty;
    TQuickComm FComm;
};

// Counts the hand-overs that event threads queue for the serving thread, one for each
// notification, while it lives.
class THandOverCounter {
public:
    THandOverCounter();
    ~THandOverCounter();
    THandOverCounter(const THandOverCounter &) = delete;
    THandOverCounter &operator=(const THandOverCounter &) = delete;

    int Count() const { return FCount; }
    // Serves until the hand-over after the first Seen ones has been queued and has run; false
    // when none came within Timeout.
    bool ServeBeyond(int Seen, std::chrono::milliseconds Timeout = 5s);

private:
    std::atomic<int> FCount = 0;
};

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
