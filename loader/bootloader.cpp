#include "bootloader.h"

#include "errorbox.h"
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
    Percent->SetValue(0);
    Progress->setValue(0);
    FSilent = false;
    try {
        Comm->OnNotifyException = TSerCommExceptionEvent(this, &TBoot::LoaderNotifyException);
        FRun.Start(*Comm, Image);
    } catch (...) {
        // The window will not open, so nothing may stay bound to it.
        Comm->OnNotifyException = {};
        FormClose();
        throw;
    }
    return exec();
}

void TBoot::StepRun(std::uint8_t Step)
{
    qCInfo(lcLoader).nospace() << "step " << TLoaderRun::StepName(Step) << " (" << int{Step} << ")";
}

void TBoot::ShowProgramming(double Value)
{
    SetStatus(ProgrammingText);
    CloseButton->setEnabled(false);
    Percent->SetValue(Value);
    Progress->setValue(static_cast<int>(std::trunc(Percent->Value())));
}

// An enabled timer is left running, not restarted.
void TBoot::SetTickRunning(bool On)
{
    if (!On)
        Timer1->stop();
    else if (!Timer1->isActive())
        Timer1->start();
}

void TBoot::FrameSent(std::string_view Payload, const std::string &Frame)
{
    qCInfo(lcLoader).noquote() << "frame" << QString::fromLatin1(Payload.substr(0, 2))
                               << "sent:" << Hex(Frame);
    SilenceTimer->start();
}

void TBoot::ReplyReceived(const std::string &Line)
{
    qCInfo(lcLoader).noquote() << "reply line:" << Hex(Line);
    EndSilence();
}

void TBoot::Programmed()
{
    SilenceTimer->stop();
    FSilent = false;
    Progress->setValue(100);
    Percent->SetValue(100);
    SetStatus(QStringLiteral("Programmed"));
    CloseButton->setEnabled(true);
}

void TBoot::Timer1Timer()
{
    try {
        FRun.Tick();
    } catch (...) {
        RunFailed(std::current_exception());
    }
}

void TBoot::SilenceTimerTimer()
{
    if (!FRun.Comm())
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

// A screen reader reads a label by its name: what it is, then what it says.
void TBoot::SetStatus(const QString &Text)
{
    Status->setText(Text);
    Status->adjustSize();
    const QString caption = QStringLiteral("Programming status");
    Status->setAccessibleName(Text.isEmpty() ? caption : caption + QStringLiteral(": ") + Text);
}

void TBoot::CloseButtonClick()
{
    close();
}

void TBoot::FormClose()
{
    // The run is abandoned before the port is touched, so that a failing purge cannot leave
    // the window bound to the port or the tick running.
    Timer1->stop();
    SilenceTimer->stop();
    FSilent = false;
    if (TSerCustomComm *comm = FRun.Comm())
        comm->OnNotifyException = {};
    FRun.Abandon();
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
