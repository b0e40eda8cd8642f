#include "modaldriver.h"

#include <QApplication>
#include <QWidget>

TModalDriver::TModalDriver(int TimeoutMs)
    : FTimeoutMs(TimeoutMs)
{
    FClock.start();
    // Conditions are tested from the event loop that runs at the time, modal ones included.
    FTimer.setInterval(2);
    connect(&FTimer, &QTimer::timeout, this, &TModalDriver::Check);
    FTimer.start();
}

TModalDriver &TModalDriver::When(std::function<bool()> Condition, std::function<void()> Action)
{
    FSteps.push_back({std::move(Condition), std::move(Action)});
    return *this;
}

TModalDriver &TModalDriver::Whenever(std::function<bool()> Condition, std::function<void()> Action)
{
    FRules.push_back({std::move(Condition), std::move(Action)});
    return *this;
}

void TModalDriver::Check()
{
    if (FActing)
        return;
    for (const TStep &rule : FRules) {
        if (rule.Condition()) {
            Act(rule.Action);
            return;
        }
    }
    if (Finished())
        return;
    if (FClock.elapsed() > FTimeoutMs) {
        FTimedOut = true;
        FTimer.stop();
        while (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        return;
    }
    if (FSteps[FNext].Condition())
        Act(FSteps[FNext++].Action);
}

// An action may open a modal window of its own. Qt does not fire a timer again while its
// handler runs, so the action runs from a queued call instead, leaving the timer free to drive
// the window it opens.
void TModalDriver::Act(const std::function<void()> &Action)
{
    FActing = true;
    QMetaObject::invokeMethod(
        this,
        [this, Action] {
            FActing = false;
            Action();
        },
        Qt::QueuedConnection);
}
