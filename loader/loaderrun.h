// A loader run: the steps that write an EEPROM image into the unit through its boot loader,
// and the reading of the unit's reply lines. The loader window and the command line drive the
// same run, so both send the same bytes in the same order; what a run shows, and its 20 ms
// tick, are the driver's.
#pragma once

#include "frames.h"
#include "replyparser.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

class TSerCustomComm;

class TLoaderRun {
public:
    // The steps of a run. Each programming step sends one frame and waits for its reply.
    static constexpr std::uint8_t StepPageStart = 20;
    static constexpr std::uint8_t StepBlockLow = 21;
    static constexpr std::uint8_t StepBlockHigh = 22;
    static constexpr std::uint8_t StepPageAddress = 23;
    static constexpr std::uint8_t StepNextPage = 24;
    static constexpr std::uint8_t StepFinish = 25;
    static constexpr std::uint8_t StepProgrammed = 26;

    // The name of a step for the log: "programmed" for StepProgrammed; steps outside a run
    // have none.
    static const char *StepName(std::uint8_t Step);

    // The EEPROM image: one page, which holds the settings block.
    using TImage = std::array<std::uint8_t, EepromPageSize>;

    // The tick starts a run and, after the finish frame, ends it.
    static constexpr std::chrono::milliseconds TickInterval{20};

    // What the run asks of whoever drives it. Every call comes from Start, Tick or a received
    // notification, on the thread that serves the port's notifications.
    class TDriver {
    public:
        virtual ~TDriver() = default;
        // A step is about to run its action.
        virtual void StepRun(std::uint8_t) {}
        // Steps page-start and page-address: the page is being programmed, Percent done so far.
        virtual void ShowProgramming(double Percent) = 0;
        // On: the tick must run (left running when it does); off: it must stop.
        virtual void SetTickRunning(bool On) = 0;
        virtual void FrameSent(std::string_view Payload, const std::string &Frame) = 0;
        // Before the line is classified: any reply, even an unexpected one, shows the unit alive.
        virtual void ReplyReceived(const std::string &Line) = 0;
        virtual void Programmed() = 0;
    };

    explicit TLoaderRun(TDriver &Driver);
    TLoaderRun(const TLoaderRun &) = delete;
    TLoaderRun &operator=(const TLoaderRun &) = delete;
    ~TLoaderRun();

    // Prepares a run on an open port whose OnRxChar the caller has unbound: binds the run's
    // receiver, purges the port and asks for the tick, whose first call sends the first frame.
    // A failure leaves nothing bound.
    void Start(TSerCustomComm &Comm, const TImage &Image);

    // The tick. Raises what the port raises while a step writes; the step is then not advanced.
    void Tick();

    // The receive handler, bound as OnRxChar for the length of a run. Raises EUnexpectedReply
    // for a line that is neither an acknowledgement nor a refusal; the run waits on in its step.
    void LoaderRxChar(TSerCustomComm *Sender, int Count);

    // Ends the run where it stands: nothing more is sent, and what is still queued for sending
    // or waiting to be read is discarded. Raises what the purges raise.
    void Abandon();

    TSerCustomComm *Comm() const { return FComm; }
    std::uint8_t Step() const { return FStep; }
    bool TickDriven() const { return FTickDriven; }

    // A run that has sent its first block and not reached "Programmed" leaves the unit's page
    // half written.
    bool Unfinished() const { return FBlockSent && FStep != StepProgrammed; }

private:
    void RunStep();
    void AdvanceStep();
    void HandleReply(const std::string &Line);
    void SendFrame(std::string_view Payload);
    void SendBlock(int Offset);
    void SendPageAddress();
    double PercentDone() const;
    void UnbindReceiver();

    TDriver &FDriver;
    TSerCustomComm *FComm = nullptr;
    std::uint8_t FStep = 0;
    bool FTickDriven = false;
    bool FBlockSent = false;
    TReplyLineParser FReply;
    TImage FImage{};
    std::int32_t FPage = 0;
    std::int32_t FPageCount = 1;
    std::int32_t FPageSize = EepromPageSize;
};
