#include "loaderrun.h"

#include "sercomm.h"

#include <utility>

TLoaderRun::TLoaderRun(TDriver &Driver)
    : FDriver(Driver)
{
}

// The port outlives the run; nothing of the run may stay bound to it.
TLoaderRun::~TLoaderRun()
{
    UnbindReceiver();
}

const char *TLoaderRun::StepName(std::uint8_t Step)
{
    switch (Step) {
    case StepPageStart:
        return "page-start";
    case StepBlockLow:
        return "block-low";
    case StepBlockHigh:
        return "block-high";
    case StepPageAddress:
        return "page-address";
    case StepNextPage:
        return "next-page";
    case StepFinish:
        return "finish";
    case StepProgrammed:
        return "programmed";
    default:
        return "none";
    }
}

void TLoaderRun::Start(TSerCustomComm &Comm, const TImage &Image)
{
    FReply.Reset();
    FPage = 0;
    FPageSize = EepromPageSize;
    FComm = &Comm;
    FImage = Image;
    FPageCount = 1;
    FBlockSent = false;
    try {
        FComm->OnRxChar = TSerCommRxCharEvent(this, &TLoaderRun::LoaderRxChar);
        FComm->PurgeReadWrite();
    } catch (...) {
        UnbindReceiver();
        FComm = nullptr;
        throw;
    }
    FStep = StepPageStart;
    FTickDriven = true;
    FDriver.SetTickRunning(true);
}

void TLoaderRun::RunStep()
{
    FDriver.StepRun(FStep);
    switch (FStep) {
    case StepPageStart:
        FDriver.ShowProgramming(PercentDone());
        FTickDriven = false;
        FDriver.SetTickRunning(false);
        SendFrame(PageStartPayload());
        break;
    case StepBlockLow:
        SendBlock(0);
        break;
    case StepBlockHigh:
        SendBlock(BlockDataSize);
        break;
    case StepPageAddress:
        SendPageAddress();
        break;
    case StepNextPage:
        ++FPage;
        FStep = FPage < FPageCount ? StepPageStart : StepFinish;
        RunStep();
        break;
    case StepFinish:
        SendFrame(FinishPayload());
        FTickDriven = true;
        FDriver.SetTickRunning(true);
        break;
    case StepProgrammed:
        UnbindReceiver();
        FDriver.SetTickRunning(false);
        FDriver.Programmed();
        break;
    default:
        break;
    }
}

// The step never goes past the end of the run: an acknowledgement and the tick can both try to
// advance it after the finish frame, and a counter that ran on would wrap round to the page
// start and begin a programming run that nobody asked for.
void TLoaderRun::AdvanceStep()
{
    if (FStep < StepProgrammed)
        ++FStep;
}

void TLoaderRun::Tick()
{
    if (!FTickDriven)
        return;
    RunStep();
    if (FTickDriven)
        AdvanceStep();
}

void TLoaderRun::LoaderRxChar(TSerCustomComm *, int Count)
{
    for (int i = 0; i < Count && FComm; ++i) {
        std::uint8_t byte = 0;
        // Count is what was waiting when the notification was raised; a read that delivers
        // nothing means the queue was emptied meanwhile, and there is nothing left to parse.
        if (!FComm->ReadChar(byte))
            return;
        if (std::optional<std::string> line = FReply.Feed(byte))
            HandleReply(*line);
    }
}

void TLoaderRun::HandleReply(const std::string &Line)
{
    FDriver.ReplyReceived(Line);
    switch (ClassifyReply(Line)) {
    case TReplyClass::Acknowledged:
        // A reply before the first tick acknowledges nothing of this run: it starts the run at
        // once, as a refusal does, so the tick and the replies never both drive the steps.
        if (!(FTickDriven && FStep == StepPageStart))
            AdvanceStep();
        RunStep();
        break;
    case TReplyClass::Refused:
        RunStep();
        break;
    }
}

void TLoaderRun::SendFrame(std::string_view Payload)
{
    if (!FComm)
        return;
    const std::string frame = BuildFrame(Payload);
    FComm->WriteText(frame);
    FDriver.FrameSent(Payload, frame);
}

void TLoaderRun::SendBlock(int Offset)
{
    // From the first block on, the unit holds part of this run's image.
    if (FComm)
        FBlockSent = true;
    SendFrame(BlockPayload(FImage.data() + FPage * FPageSize, Offset));
}

void TLoaderRun::SendPageAddress()
{
    FDriver.ShowProgramming(PercentDone());
    SendFrame(PageAddressPayload(FPage, FPageSize));
}

// The product as an integer, the quotient in floating point.
double TLoaderRun::PercentDone() const
{
    return static_cast<double>(FPage * 100) / FPageCount;
}

void TLoaderRun::UnbindReceiver()
{
    if (FComm)
        FComm->OnRxChar = {};
}

void TLoaderRun::Abandon()
{
    UnbindReceiver();
    if (TSerCustomComm *comm = std::exchange(FComm, nullptr)) {
        comm->PurgeWrite();
        comm->PurgeRead();
    }
}
