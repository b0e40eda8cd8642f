#include "updatedlg.h"

#include "cautiontext.h"
#include "windowstyle.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

QLabel *MakeLabel(QWidget *Parent, const QString &Text, int Left, int Top)
{
    auto *label = new QLabel(Text, Parent);
    label->move(Left, Top);
    label->adjustSize();
    return label;
}

QFont HeadingFont()
{
    return FontOfHeight(QFont(QStringLiteral("Tahoma")), 15, true);
}

} // namespace

TUpdateDlgM::TUpdateDlgM(QWidget *Parent)
    : QDialog(Parent)
{
    ApplyDescription();
    BindHandlers();
}

void TUpdateDlgM::ApplyDescription()
{
    setObjectName(QStringLiteral("UpdateDlgM"));
    setWindowTitle(QString::fromLatin1(CautionTitle));
    // A dialog border: fixed size, no minimise or maximise box.
    SetCloseBoxBorder(*this, Qt::Dialog);
    setFixedSize(384, 179);
    setModal(true);
    // The toolkit's default font on the system the dialog was laid out on.
    setFont(FontOfHeight(QStringLiteral("MS Sans Serif"), 11));

    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 11, 286, 160);

    Label1 = MakeLabel(this, QString::fromLatin1(CautionHeading), 72, 16);
    Label1->setFont(HeadingFont());
    Label1->adjustSize();
    Label2 = MakeLabel(this, QString::fromLatin1(CautionOneDongle), 46, 38);
    Label3 = MakeLabel(this, QString::fromLatin1(CautionNoOtherDevices), 52, 56);
    Label4 = MakeLabel(this, QString::fromLatin1(CautionCancelToRemove), 13, 73);
    Label5 = MakeLabel(this, QString::fromLatin1(ProceedHeading), 63, 104);
    Label5->setFont(HeadingFont());
    Label5->adjustSize();
    Label6 = MakeLabel(this, QString::fromLatin1(ProceedApplyPower), 72, 126);
    Label7 = MakeLabel(this, QString::fromLatin1(ProceedPressReset), 53, 143);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setGeometry(300, 8, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setGeometry(300, 38, 75, 25);
    CancelBtn->setAutoDefault(false);
}

void TUpdateDlgM::BindHandlers()
{
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

void TUpdateDlgM::reject()
{
    done(mrCancel);
}

void TUpdateDlgM::showEvent(QShowEvent *Event)
{
    // Centred on the screen, not on the window that opened it.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(Event);
}
