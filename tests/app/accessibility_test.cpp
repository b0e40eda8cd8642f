// The windows as a screen reader reads them and as a keyboard alone works them: each control
// named for what it sets or shows, the focus moving in the windows' visual order, and a whole
// job done with Tab, the arrow keys, Enter and Esc, without the mouse.
#include "wholejob.h"

#include "numedit.h"
#include "rulerslider.h"
#include "screenreader.h"

#include <QAccessibleValueInterface>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

// A key as the window system delivers it: to the active window's focus widget.
void PressKey(QWidget *Window, Qt::Key Key)
{
    QTest::keyClick(Window->windowHandle(), Key);
}

bool Activate(QWidget *Window)
{
    Window->activateWindow();
    return QTest::qWaitForWindowActive(Window);
}

} // namespace

TEST_F(TWholeJob, EachControlIsNamedForWhatItSetsOrShows)
{
    StartWithUnit();
    ASSERT_TRUE(WaitForDownloadEnabled());
    struct TExpected {
        QWidget *Widget;
        QAccessible::Role Role;
        const char *Name;
    };
    const TExpected controls[] = {
        {FForm->SolDelaySlider, QAccessible::Slider, "Second value"},
        {FForm->SolDelay, QAccessible::EditableText, "Chosen second value"},
        {FForm->IDSlider, QAccessible::Slider, "ZN ID"},
        {FForm->ID, QAccessible::EditableText, "Chosen ZN ID"},
        {FForm->DownloadButton, QAccessible::Button, "Download"},
        {FBoot->Progress, QAccessible::ProgressBar, "Programming progress"},
        {FBoot->Percent, QAccessible::EditableText, "Per cent programmed"},
    };
    for (const TExpected &control : controls) {
        const QString name = QString::fromUtf8(control.Name);
        EXPECT_EQ(TScreenReader::Role(control.Widget), control.Role) << control.Name;
        EXPECT_EQ(TScreenReader::Name(control.Widget), name);
    }
    // Qt names a combo box by its text on Linux, where its labels tell the rest, and by its
    // accessible name elsewhere; its description is the outcome of each port's probe.
    EXPECT_EQ(FForm->Ports->accessibleName(), QLatin1String("Serial ports"));
    EXPECT_EQ(TScreenReader::Description(FForm->Ports), FForm->Ports->toolTip());

    EXPECT_TRUE(TScreenReader::Description(FForm->IDSlider).contains(QLatin1String("1 to 4")));
    EXPECT_TRUE(
        TScreenReader::Description(FForm->SolDelaySlider).contains(QLatin1String("0 to 31")));
    QAccessibleValueInterface *id =
        QAccessible::queryAccessibleInterface(FForm->IDSlider)->valueInterface();
    EXPECT_EQ(id->minimumValue().toInt(), 1);
    EXPECT_EQ(id->maximumValue().toInt(), 4);
    QAccessibleValueInterface *second =
        QAccessible::queryAccessibleInterface(FForm->SolDelaySlider)->valueInterface();
    EXPECT_EQ(second->minimumValue().toInt(), 0);
    EXPECT_EQ(second->maximumValue().toInt(), 31);

    // The boxes read what the sliders chose.
    FForm->IDSlider->SetValue(3);
    EXPECT_EQ(TScreenReader::Value(FForm->ID), QLatin1String("3"));
}

// Tab moves from the port list down the window to Download and round again; the value box of
// the second value is no tab stop.
TEST_F(TWholeJob, TabFollowsTheWindowFromTopToBottom)
{
    StartWithUnit();
    ASSERT_TRUE(WaitForDownloadEnabled());
    ASSERT_TRUE(Activate(FForm));
    // The window opens on the first slider; Shift+Tab goes back to the port list above it.
    EXPECT_EQ(QApplication::focusWidget(), FForm->SolDelaySlider);
    PressKey(FForm, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), FForm->Ports);
    const QWidget *order[] = {FForm->SolDelaySlider, FForm->IDSlider, FForm->ID,
                              FForm->DownloadButton, FForm->Ports};
    for (const QWidget *next : order) {
        PressKey(FForm, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    PressKey(FForm, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), FForm->DownloadButton);
}

// Tab to each slider and set it with the arrow keys, Enter for Download, Esc once and Enter
// once in the caution dialog, Enter to close the loader window when it reads "Programmed".
TEST_F(TWholeJob, AKeyboardAloneDoesTheWholeJob)
{
    TUnitSimPty &unit = StartWithUnit();
    ASSERT_TRUE(WaitForDownloadEnabled());
    ASSERT_TRUE(Activate(FForm));
    TScreenReader reader;

    ASSERT_EQ(QApplication::focusWidget(), FForm->SolDelaySlider);
    PressKey(FForm, Qt::Key_End);
    PressKey(FForm, Qt::Key_Left);
    PressKey(FForm, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), FForm->IDSlider);
    for (int i = 0; i < 3; ++i)
        PressKey(FForm, Qt::Key_Right);
    PressKey(FForm, Qt::Key_Left);
    EXPECT_EQ(FForm->SolDelay->text(), QLatin1String("30"));
    EXPECT_EQ(FForm->ID->text(), QLatin1String("3"));
    EXPECT_EQ(TScreenReader::ValuesAnnounced(FForm->SolDelaySlider), std::vector<int>({31, 30}));
    EXPECT_EQ(TScreenReader::ValuesAnnounced(FForm->IDSlider), std::vector<int>({2, 3, 4, 3}));

    // Esc in the caution dialog cancels: nothing goes to the unit.
    {
        TModalDriver driver;
        driver.When([this] { return FDialog->isActiveWindow(); },
                    [this] { PressKey(FDialog, Qt::Key_Escape); });
        PressKey(FForm, Qt::Key_Return);
        ASSERT_TRUE(driver.Finished());
        EXPECT_FALSE(FDialog->isVisible());
        EXPECT_TRUE(unit.Frames().empty());
    }

    QString statusName;
    TModalDriver driver;
    driver.When([this] { return FDialog->isActiveWindow(); },
                [this] { PressKey(FDialog, Qt::Key_Return); });
    driver.When(
        [this] {
            return FBoot->isActiveWindow() && FBoot->Status->text() == QLatin1String("Programmed");
        },
        [&] {
            statusName = TScreenReader::Name(FBoot->Status);
            PressKey(FBoot, Qt::Key_Return);
        });
    ASSERT_TRUE(Activate(FForm));
    PressKey(FForm, Qt::Key_Return);
    ASSERT_FALSE(driver.TimedOut());
    ASSERT_TRUE(driver.Finished());
    EXPECT_FALSE(FBoot->isVisible());
    EXPECT_EQ(statusName, QLatin1String("Programming status: Programmed"));
    EXPECT_EQ(TScreenReader::Value(FBoot->Percent), QLatin1String("100"));

    EXPECT_EQ(EepromPage(unit), SettingsBlock(30, 3));
    EXPECT_TRUE(FErrors.isEmpty()) << FErrors.join(QLatin1Char('\n')).toStdString();
}
