// Drives modal windows from inside their own event loops: a test states what to do when, then
// starts the action that opens them.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

class TModalDriver : public QObject {
public:
    explicit TModalDriver(int TimeoutMs = 20000);

    // Once Condition holds, Action runs, once; steps are taken in the order given.
    TModalDriver &When(std::function<bool()> Condition, std::function<void()> Action);

    // Whenever Condition holds, Action runs, for as long as the driver lives (error boxes, say,
    // that may come up at any point).
    TModalDriver &Whenever(std::function<bool()> Condition, std::function<void()> Action);

    // True when every step has run.
    bool Finished() const { return FNext == FSteps.size(); }
    // True when the time ran out first; every modal window was then closed so the test ends.
    bool TimedOut() const { return FTimedOut; }

private:
    struct TStep {
        std::function<bool()> Condition;
        std::function<void()> Action;
    };
    void Check();
    void Act(const std::function<void()> &Action);

    std::vector<TStep> FSteps;
    std::vector<TStep> FRules;
    std::size_t FNext = 0;
    bool FTimedOut = false;
    bool FActing = false;
    int FTimeoutMs;
    QElapsedTimer FClock;
    QTimer FTimer;
};
