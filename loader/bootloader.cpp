#include "bootloader.h"

#include "errorbox.h"
#include "frames.h"
#include "numedit.h"
#include "sercomm.h"
#include "serexception.h"
#include "windowstyle.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <utility>

// Each step, each frame sent and each reply line; off by default (QT_LOGGING_RULES).
Q_LOGGING_CATEGORY(lcLoader, "zarnell.loader", QtWarningMsg)

namespace {

const QString ProgrammingText = QStringLiteral("Programming EEPROM");
// The unit is silent: it was not reset into its boot loader, or it has no power. Nothing brings
// it back into this run, so the way on is a new one.
const QString NoAnswerText =
    QStringLiteral("No answer from unit\nClose, check its power, Download again");

// Bytes as the log shows them: hexadecimal, two digits each.
QString Hex(std::string_view Bytes)
{
    return QString::fromLatin1(
        QByteArray(Bytes.data(), static_cast<qsizetype>(Bytes.size())).toHex(' '));
}

} // namespace

TBoot::TBoot(QWidget *Parent)
    : QDialog(Parent)
{
    ApplyDescription();
    BindHandlers();
}

void TBoot::ApplyDescription()
{
    setObjectName(QStringLiteral("Boot"));
    setWindowTitle(QStringLiteral("Boot Loader V3.0"));
    SetCloseBoxBorder(*this, Qt::Dialog);
    setFixedSize(373, 135);
    setModal(true);
    setFont(FontOfHeight(QStringLiteral("MS Sans Serif"), 11));

    Status = new QLabel(this);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setFont(FontOfHeight(QStringLiteral("Arial"), 16));
    Status->setAutoFillBackground(true);
    Status->move(44, 16);
    SetStatus(QString());

    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setGeometry(16, 64, 257, 16);
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);
    Progress->setAccessibleName(QStringLiteral("Programming progress"));

    Percent = new TNumEdit(this);
    Percent->setObjectName(QStringLiteral("Percent"));
    Percent->setGeometry(296, 64, 33, 21);
    Percent->setFont(FontOfHeight(QStringLiteral("Arial"), 16));
    Percent->setFrame(false);
    Percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Percent->setReadOnly(true);
    Percent->setFocusPolicy(Qt::NoFocus);
    Percent->SetDecimals(0);
    Percent->setAccessibleName(QStringLiteral("Per cent programmed"));

    // The status on a face of the buttons' colour, the percentage black on the window's colour;
    // both follow the window's palette when the system's colours change.
    SetSkyBlueFace(*this, [this] {
        const QPalette face = palette();
        QPalette status = Status->palette();
        status.setColor(QPalette::Window, face.color(QPalette::Button));
        status.setColor(QPalette::WindowText, face.color(QPalette::ButtonText));
        Status->setPalette(status);
        QPalette percent = Percent->palette();
        percent.setColor(QPalette::Text, BlackText(face));
        percent.setColor(QPalette::Base, face.color(QPalette::Window));
        Percent->setPalette(percent);
    });

    Label1 = new QLabel(QStringLiteral("%"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(FontOfHeight(font().family(), 19));
    Label1->move(335, 63);
    Label1->adjustSize();

    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setGeometry(128, 102, 75, 25);
    CloseButton->setDefault(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(20);

    SilenceTimer = new QTimer(this);
    SilenceTimer->setObjectName(QStringLiteral("SilenceTimer"));
    SilenceTimer->setSingleShot(true);
    SilenceTimer->setInterval(SilenceMs);
}

void TBoot::BindHandlers()
{
    connect(Timer1, &QTimer::timeout, this, &TBoot::Timer1Timer);
    connect(SilenceTimer, &QTimer::timeout, this, &TBoot::SilenceTimerTimer);
    connect(CloseButton, &QPushButton::clicked, this, &TBoot::CloseButtonClick);
}

int TBoot::StartLoading(TSerCustomComm *Comm, const TImage &Image)
{
    SetStatus(QStringLiteral("Waiting for Device"));
    FReply.Reset();
    FPage = 0;
    FPageSize = EepromPageSize;
    FComm = Comm;
    Percent->SetValue(0);
    Progress->setValue(0);
    FImage = Image;
    FPageCount = 1;
    FSilent = false;
    try {
        FComm->OnRxChar = TSerCommRxCharEvent(this, &TBoot::LoaderRxChar);
        FComm->OnNotifyException = TSerCommExceptionEvent(this, &TBoot::LoaderNotifyException);
        FComm->PurgeReadWrite();
    } catch (...) {
        // The window will not open, so nothing may stay bound to it.
        FormClose();
        throw;
    }
    FStep = StepPageStart;
    FTickDriven = true;
    Timer1->start();
    return exec();
}

const char *TBoot::StepName(std::uint8_t Step)
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

void TBoot::RunStep()
{
    qCInfo(lcLoader).nospace() << "step " << StepName(FStep) << " (" << int{FStep} << ")";
    switch (FStep) {
    case StepPageStart:
        SetStatus(ProgrammingText);
        CloseButton->setEnabled(false);
        UpdateProgress();
        FTickDriven = false;
        Timer1->stop();
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
        if (!Timer1->isActive())
            Timer1->start();
        break;
    case StepProgrammed:
        UnbindReceiver();
        Timer1->stop();
        SilenceTimer->stop();
        FSilent = false;
        Progress->setValue(100);
        Percent->SetValue(100);
        SetStatus(QStringLiteral("Programmed"));
        CloseButton->setEnabled(true);
        break;
    default:
        break;
    }
}

// The step never goes past the end of the run: an acknowledgement and the tick can both try to
// advance it after the finish frame, and a counter that ran on would wrap round to the page
// start and begin a programming run that nobody asked for.
void TBoot::AdvanceStep()
{
    if (FStep < StepProgrammed)
        ++FStep;
}

void TBoot::Timer1Timer()
{
    try {
        if (!FTickDriven)
            return;
        RunStep();
        if (FTickDriven)
            AdvanceStep();
    } catch (...) {
        RunFailed(std::current_exception());
    }
}

void TBoot::SilenceTimerTimer()
{
    if (!FComm)
        return;
    FSilent = true;
    SetStatus(NoAnswerText);
    CloseButton->setEnabled(true);
}

// A reply, however late, goes on with the run as before: the window says so again.
void TBoot::EndSilence()
{
    if (FSilent) {
        FSilent = false;
        SetStatus(ProgrammingText);
        CloseButton->setEnabled(false);
    }
    SilenceTimer->start();
}

void TBoot::LoaderNotifyException(TSerCustomComm *, std::exception_ptr Error)
{
    RunFailed(Error);
}

// A failure is shown in the error box, and the run waits on. A dongle that was unplugged ends
// the run instead: nothing can reach the unit any more, and the user is told so in plain words.
void TBoot::RunFailed(std::exception_ptr Error)
{
    if (!IsDeviceLost(Error)) {
        HandleApplicationException(Error);
        return;
    }
    Timer1->stop();
    SilenceTimer->stop();
    FSilent = false;
    SetStatus(QStringLiteral("Dongle disconnected"));
    CloseButton->setEnabled(true);
    ShowDongleLost(TDongleSearch::dsAfterLoaderWindow, Error);
}

void TBoot::LoaderRxChar(TSerCustomComm *, int Count)
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

void TBoot::HandleReply(const std::string &Line)
{
    qCInfo(lcLoader).noquote() << "reply line:" << Hex(Line);
    EndSilence();
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

// A screen reader reads a label by its name: what it is, then what it says.
void TBoot::SetStatus(const QString &Text)
{
    Status->setText(Text);
    Status->adjustSize();
    const QString caption = QStringLiteral("Programming status");
    Status->setAccessibleName(Text.isEmpty() ? caption : caption + QStringLiteral(": ") + Text);
}

void TBoot::UpdateProgress()
{
    Percent->SetValue(static_cast<double>(FPage * 100) / FPageCount);
    Progress->setValue(static_cast<int>(std::trunc(Percent->Value())));
}

void TBoot::SendFrame(std::string_view Payload)
{
    if (!FComm)
        return;
    const std::string frame = BuildFrame(Payload);
    qCInfo(lcLoader).noquote() << "frame" << QString::fromLatin1(Payload.substr(0, 2))
                               << "sent:" << Hex(frame);
    FComm->WriteText(frame);
    SilenceTimer->start();
}

void TBoot::SendBlock(int Offset)
{
    SendFrame(BlockPayload(FImage.data() + FPage * FPageSize, Offset));
}

void TBoot::SendPageAddress()
{
    SetStatus(ProgrammingText);
    UpdateProgress();
    SendFrame(PageAddressPayload(FPage, FPageSize));
}

void TBoot::UnbindReceiver()
{
    if (FComm)
        FComm->OnRxChar = {};
}

void TBoot::CloseButtonClick()
{
    close();
}

void TBoot::FormClose()
{
    // The run is abandoned before the port is touched, so that a failing purge cannot leave
    // the window bound to the port or the tick running.
    UnbindReceiver();
    Timer1->stop();
    SilenceTimer->stop();
    FSilent = false;
    if (TSerCustomComm *comm = std::exchange(FComm, nullptr)) {
        comm->OnNotifyException = {};
        comm->PurgeWrite();
        comm->PurgeRead();
    }
}

void TBoot::done(int)
{
    // A dongle found missing only now is searched for as soon as the window has closed.
    try {
        FormClose();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        if (IsDeviceLost(error))
            ShowDongleLost(TDongleSearch::dsNow, error);
        else
            HandleApplicationException(error);
    }
    QDialog::done(mrCancel);
}

void TBoot::keyPressEvent(QKeyEvent *Event)
{
    // The window has no Cancel button, so Esc does not close it; the close box does.
    if (Event->key() == Qt::Key_Escape)
        Event->ignore();
    else
        QDialog::keyPressEvent(Event);
}
