// Event handler pairs: the code to call and the object it is called on.
#pragma once

#include <exception>
#include <functional>
#include <utility>

class TSerCustomComm;

template <typename Signature> class TSerEventPair;

// A pair is bound by giving it a target and one of the target's methods, and unbound by
// assigning an empty pair; it is replaced or cleared as a whole.
template <typename... Args> class TSerEventPair<void(Args...)> {
public:
    TSerEventPair() = default;

    template <typename T>
    TSerEventPair(T *Target, void (T::*Method)(Args...))
        : FTarget(Target)
        , FCode([Target, Method](Args... Arguments) { (Target->*Method)(Arguments...); })
    {
    }

    // A free function or lambda bound to a given target (for tests and adapters).
    TSerEventPair(const void *Target, std::function<void(Args...)> Code)
        : FTarget(Target)
        , FCode(std::move(Code))
    {
    }

    // The component tests the code half: a pair without code counts as unbound.
    bool Assigned() const { return static_cast<bool>(FCode); }
    const void *Target() const { return FTarget; }
    void operator()(Args... Arguments) const { FCode(std::forward<Args>(Arguments)...); }

private:
    const void *FTarget = nullptr;
    std::function<void(Args...)> FCode;
};

using TNotifyEvent = TSerEventPair<void(TSerCustomComm *Sender)>;
using TSerCommRxCharEvent = TSerEventPair<void(TSerCustomComm *Sender, int Count)>;
// OnRxBuf's type: kept for the component's contract, though nothing in this program binds it.
using TSerCommRxBufEvent =
    TSerEventPair<void(TSerCustomComm *Sender, const unsigned char *Data, int Count)>;
using TSerCommErrorEvent = TSerEventPair<void(TSerCustomComm *Sender, int Errors)>;
// Where a failure of a notification goes instead of the application's exception handler.
using TSerCommExceptionEvent =
    TSerEventPair<void(TSerCustomComm *Sender, std::exception_ptr Error)>;
// The end of an open in the background: Error is empty when the port is open.
using TSerOpenedEvent = TSerEventPair<void(TSerCustomComm *Sender, std::exception_ptr Error)>;
