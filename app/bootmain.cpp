#include "bootmain.h"

#include "dongleline.h"
#include "errorbox.h"
#include "frames.h"
#include "numedit.h"
#include "rulerslider.h"
#include "serdevicename.h"
#include "serexception.h"
#include "serports.h"
#include "updatedlg.h"
#include "windowstyle.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

TZRSetupForm::TZRSetupForm(QWidget *Parent)
    : QWidget(Parent)
{
    ApplyDescription();
    ConfigureSerialPort();
    BindHandlers();
    FormCreate();
}

TZRSetupForm::~TZRSetupForm()
{
    // Nothing may reach a window that is being torn down: no tick, no notification still on
    // its way. The device closes on a thread of its own; nobody waits for it.
    Timer1->stop();
    OpenBound->stop();
    SerComm1.OnRxChar = {};
    SerComm1.OnNotifyException = {};
    Guarded([this] { SerComm1.CloseInBackground(); });
}

void TZRSetupForm::SetPeers(TBoot *Boot, TUpdateDlgM *UpdateDlgM)
{
    FBoot = Boot;
    FUpdateDlgM = UpdateDlgM;
}

void TZRSetupForm::ApplyDescription()
{
    setObjectName(QStringLiteral("ZRSetupForm"));
    setWindowTitle(QStringLiteral("Zarnell Setup V1.0"));
    // A resizable border with the system menu and the close box only.
    SetCloseBoxBorder(*this, Qt::Window);
    resize(207, 247);
    SetSkyBlueFace(*this);
    setFont(FontOfHeight(QStringLiteral("MS Sans Serif"), 11));

    Ports = new QComboBox(this);
    Ports->setObjectName(QStringLiteral("Ports"));
    Ports->setGeometry(8, 8, 89, 21);
    Ports->setEditable(true);
    // The box only shows the list that discovery walks: what a user types never joins it.
    Ports->setInsertPolicy(QComboBox::NoInsert);
    Ports->setEditText(QStringLiteral("Ports"));
    Ports->setAccessibleName(QStringLiteral("Serial ports"));

    SolDelaySlider = new TRulerSlider(this);
    SolDelaySlider->setObjectName(QStringLiteral("SolDelaySlider"));
    SolDelaySlider->BeginLoading();
    SolDelaySlider->setGeometry(1, 51, 132, 28);
    SolDelaySlider->SetIncrement(1);
    SolDelaySlider->SetMaxValue(31);
    SolDelaySlider->Loaded();
    SolDelaySlider->setAccessibleName(QStringLiteral("Second value"));
    SolDelaySlider->setAccessibleDescription(
        QStringLiteral("The second setting written into the unit, from 0 to 31"));

    SolDelay = new TNumEdit(this);
    SolDelay->setObjectName(QStringLiteral("SolDelay"));
    SolDelay->setGeometry(168, 58, 26, 21);
    SolDelay->setReadOnly(true);
    SolDelay->setFocusPolicy(Qt::NoFocus);
    SolDelay->setText(QStringLiteral("0"));
    SolDelay->SetDecimals(0);
    SolDelay->setAccessibleName(QStringLiteral("Chosen second value"));

    Label1 = new QLabel(QStringLiteral("Select ZN ID"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(FontOfHeight(font(), 12, true));
    Label1->move(34, 96);
    Label1->adjustSize();

    IDSlider = new TRulerSlider(this);
    IDSlider->setObjectName(QStringLiteral("IDSlider"));
    IDSlider->BeginLoading();
    IDSlider->setGeometry(1, 132, 145, 38);
    IDSlider->SetIncrement(1);
    IDSlider->SetMinValue(1);
    IDSlider->SetMaxValue(4);
    IDSlider->SetValue(1);
    IDSlider->Loaded();
    IDSlider->setAccessibleName(QStringLiteral("ZN ID"));
    IDSlider->setAccessibleDescription(QStringLiteral("The unit's ZN ID, from 1 to 4"));

    ID = new TNumEdit(this);
    ID->setObjectName(QStringLiteral("ID"));
    ID->setGeometry(168, 132, 26, 21);
    ID->setFont(FontOfHeight(font(), 11, true));
    ID->setReadOnly(true);
    ID->setText(QStringLiteral("1"));
    ID->SetValue(1);
    ID->SetDecimals(0);
    ID->setAccessibleName(QStringLiteral("Chosen ZN ID"));

    LC = new QLabel(QStringLiteral("Select Lane"), this);
    LC->setObjectName(QStringLiteral("LC"));
    LC->setFont(FontOfHeight(font(), 12, true));
    LC->move(38, 176);
    LC->adjustSize();

    DownloadButton = new QPushButton(QStringLiteral("Download"), this);
    DownloadButton->setObjectName(QStringLiteral("DownloadButton"));
    DownloadButton->setGeometry(54, 205, 75, 25);
    DownloadButton->setFont(FontOfHeight(font(), 11, true));
    DownloadButton->setDefault(true);
    DownloadButton->setEnabled(false);
    DownloadButton->setAccessibleDescription(
        QStringLiteral("Writes the ZN ID and the second value into the unit"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);

    OpenBound = new QTimer(this);
    OpenBound->setObjectName(QStringLiteral("OpenBound"));
    OpenBound->setSingleShot(true);

    // The window opens on the first slider, what a user sets first: the port list only shows
    // what discovery walks, and a caret blinking in it would keep the idle program busy.
    SolDelaySlider->setFocus();
}

// The dongle's line; the device name is set before every open.
void TZRSetupForm::ConfigureSerialPort()
{
    UseDongleLine(SerComm1);
    SerComm1.SetDeviceName("COM%d");
}

void TZRSetupForm::BindHandlers()
{
    connect(SolDelaySlider, &TRulerSlider::OnChange, this, &TZRSetupForm::SolDelaySliderChange);
    connect(IDSlider, &TRulerSlider::OnChange, this, &TZRSetupForm::IDSliderChange);
    connect(DownloadButton, &QPushButton::clicked, this, &TZRSetupForm::DownloadButtonClick);
    connect(Timer1, &QTimer::timeout, this, &TZRSetupForm::Timer1Find);
    connect(OpenBound, &QTimer::timeout, this, &TZRSetupForm::OpenBoundTimeout);
    BindPortHandlers();
}

void TZRSetupForm::BindPortHandlers()
{
    SerComm1.OnRxChar = TSerCommRxCharEvent(this, &TZRSetupForm::ComPortRxChar);
    SerComm1.OnNotifyException =
        TSerCommExceptionEvent(this, &TZRSetupForm::ComPortNotifyException);
}

void TZRSetupForm::IDSliderChange(QObject *)
{
    Guarded([this] { ID->SetValue(IDSlider->Value()); });
}

void TZRSetupForm::SolDelaySliderChange(QObject *)
{
    Guarded([this] { SolDelay->SetValue(SolDelaySlider->Value()); });
}

void TZRSetupForm::FormCreate()
{
    QStringList names;
    for (const std::string &name : SerPortNames())
        names << QString::fromStdString(name);
    Ports->clear();
    Ports->addItems(names);
    Ports->setCurrentIndex(Ports->count() - 1);
    Ports->lineEdit()->selectAll();
    FProbeReport.PassStarted(names);
    ShowProbeOutcomes();
    FScanIndex = -1;
    FFound = false;
    FReply.Reset();
    Timer1->start();
}

void TZRSetupForm::Timer1Find()
{
    try {
        // An open under way has a bound of its own (OpenBound); until then the tick waits.
        if (SerComm1.Opening())
            return;
        FProbeReport.Concluded();
        ShowProbeOutcomes();
        // An answer from a port that went away afterwards finds nothing to program.
        if (FFound && !SerComm1.DeviceLost())
            DongleFound();
        else
            MoveToNextPort();
    } catch (...) {
        PortFailed(std::current_exception());
    }
}

// The port has taken longer to open than its bound: it is skipped for this pass, and its open,
// left to finish on its own, closes the device again without writing to it. How long that open
// takes in the end is the port's bound on the next pass.
void TZRSetupForm::OpenBoundTimeout()
{
    Guarded([this] {
        // The bound counts the open itself, which may have begun late, after an earlier close
        // of the same device.
        const std::chrono::milliseconds opening = SerComm1.OpeningFor();
        if (opening.count() > 0 && opening < FOpenBound) {
            OpenBound->start(FOpenBound - opening);
            return;
        }
        SerComm1.AbandonOpen();
        FProbeReport.SkippedSlowOpen(opening);
        ShowProbeOutcomes();
        MoveToNextPort();
        // The next port has a whole tick, as after any other.
        Timer1->start();
    });
}

void TZRSetupForm::MoveToNextPort()
{
    ++FScanIndex;
    if (FScanIndex >= Ports->count())
        FormCreate();
    else
        ProbeNextPort(Ports->itemText(FScanIndex));
}

// Every failure here only means that this port is not the dongle's: it is skipped at the next
// tick, and nothing is shown. The port opens on a thread of its own; the purge and the probe
// follow once it has (ComPortOpened).
void TZRSetupForm::ProbeNextPort(const QString &PortName)
{
    try {
        SerComm1.CloseInBackground();
    } catch (...) {
    }
    // An answer counts only for the port probed below. A notification that was already on its
    // way is delivered while the previous port closes; whatever it carried is forgotten here.
    FFound = false;
    FReply.Reset();
    FProbeReport.Started(PortName);
    try {
        SerComm1.SetDeviceName(SerPortDeviceName(PortName.toStdString()));
        const std::string path = SerComm1.GetDevicePath();
        // The driver still has the port whose last open has not returned: it is not asked again.
        if (const std::optional<TSerOpenTime> last = SerOpenTime(path); last && !last->Returned) {
            FProbeReport.SkippedSlowOpen(last->Took);
            return;
        }
        FOpenBound = SerOpenBound(path, ShortOpenBound);
        SerComm1.BeginOpen(TSerOpenedEvent(this, &TZRSetupForm::ComPortOpened));
        OpenBound->start(FOpenBound);
    } catch (...) {
        FProbeReport.Failed(std::current_exception());
    }
}

void TZRSetupForm::ComPortOpened(TSerCustomComm *, std::exception_ptr Error)
{
    OpenBound->stop();
    if (Error) {
        FProbeReport.Failed(Error);
        return;
    }
    const std::optional<TSerOpenTime> open = SerOpenTime(SerComm1.GetDevicePath());
    FProbeReport.Opened(open ? open->Took : std::chrono::milliseconds(0));
    try {
        SerComm1.PurgeReadWrite();
        SerComm1.WriteChar(ProbeByte);
    } catch (...) {
        FProbeReport.Failed(std::current_exception());
    }
    // The answer has a whole tick to come, however long the open took.
    if (Timer1->isActive())
        Timer1->start();
}

// Discovery is over: the port stays open with its settings. The tick stops before "Z" goes out
// so that a failing write is reported once, not at every tick, and Download is enabled only
// once the "Z" is out.
void TZRSetupForm::DongleFound()
{
    Timer1->stop();
    SerComm1.WriteChar(LoaderCommandByte);
    DownloadButton->setEnabled(true);
}

// The Ports box explains each port: its items and the box itself carry the last outcomes.
void TZRSetupForm::ShowProbeOutcomes()
{
    QStringList names;
    for (int i = 0; i < Ports->count(); ++i) {
        names << Ports->itemText(i);
        Ports->setItemData(i, FProbeReport.Outcome(names.back()), Qt::ToolTipRole);
    }
    Ports->setToolTip(FProbeReport.Summary(names));
}

// While discovery runs, a failure of a notification (a probed port that vanished, say) is one
// more failure of probing that port: nothing is shown, and the next tick moves on.
void TZRSetupForm::ComPortNotifyException(TSerCustomComm *, std::exception_ptr Error)
{
    if (Timer1->isActive())
        FProbeReport.Failed(Error);
    else
        PortFailed(Error);
}

// A failure on the dongle's port is shown in the error box, except that a dongle that was
// unplugged is told of in plain words and searched for again.
void TZRSetupForm::PortFailed(std::exception_ptr Error)
{
    // A notification that the window's close serves finds the window on its way out.
    if (FClosing)
        return;
    if (!IsDeviceLost(Error)) {
        HandleApplicationException(Error);
        return;
    }
    Guarded([this] { RestartDiscovery(); });
    ShowDongleLost(TDongleSearch::dsNow, Error);
}

// As at start-up: the port closed, Download disabled, the list built afresh and every port
// probed in turn. What the sliders hold stays.
void TZRSetupForm::RestartDiscovery()
{
    DownloadButton->setEnabled(false);
    SerComm1.CloseInBackground();
    BindPortHandlers();
    FormCreate();
}

void TZRSetupForm::ComPortRxChar(TSerCustomComm *, int Count)
{
    if (ReadProbeReplies(SerComm1, Count, FReply, FProbeReport))
        FFound = true;
}

void TZRSetupForm::DownloadButtonClick()
{
    try {
        FSettingsBlock = MakeSettingsBlock(SolDelaySlider->Value(), IDSlider->Value());
        if (FUpdateDlgM->exec() != TUpdateDlgM::mrOk)
            return;
        // The dongle may have been unplugged while the dialog was up; it is searched for then.
        if (!DownloadButton->isEnabled())
            return;
        SerComm1.OnRxChar = {};
        SerComm1.PurgeReadWrite();
        FBoot->StartLoading(&SerComm1, FSettingsBlock);
    } catch (...) {
        PortFailed(std::current_exception());
    }
    // The loader window handled the port's failures while it was up. A dongle unplugged during
    // the run was told of there; now that its window is closed, it is searched for again.
    SerComm1.OnNotifyException =
        TSerCommExceptionEvent(this, &TZRSetupForm::ComPortNotifyException);
    if (SerComm1.DeviceLost())
        Guarded([this] { RestartDiscovery(); });
}

void TZRSetupForm::FormClose()
{
    // Discovery ends with the window, so no later tick opens a port again. The program ends
    // without waiting for the device, which closes on a thread of its own.
    FClosing = true;
    Timer1->stop();
    OpenBound->stop();
    DownloadButton->setEnabled(false);
    SerComm1.CloseInBackground();
}

void TZRSetupForm::closeEvent(QCloseEvent *Event)
{
    Guarded([this] { FormClose(); });
    QWidget::closeEvent(Event);
}

void TZRSetupForm::keyPressEvent(QKeyEvent *Event)
{
    // Download is the window's default button: Enter presses it.
    const bool enter = Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter;
    if (enter && DownloadButton->isEnabled())
        DownloadButton->click();
    else
        QWidget::keyPressEvent(Event);
}
