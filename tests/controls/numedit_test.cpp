#include "numedit.h"

#include <QApplication>
#include <QEvent>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(NumEdit, StartsAtZero)
{
    TNumEdit box;
    EXPECT_EQ(box.text(), "0");
    EXPECT_EQ(box.Value(), 0);
    EXPECT_EQ(box.Decimals(), 0);
    box.SetDecimals(1);
    EXPECT_EQ(box.text(), "0.0");
}

TEST(NumEdit, FormatsWritesOfValueAndDecimals)
{
    TNumEdit box;
    box.SetDecimals(1);
    box.SetValue(0.5);
    EXPECT_EQ(box.text(), "0.5");
    box.SetDecimals(0);
    EXPECT_EQ(box.text(), "1");
    box.SetValue(2.5);
    EXPECT_EQ(box.text(), "3");
    box.SetValue(-0.4);
    EXPECT_EQ(box.text(), "0");
    box.SetDecimals(1);
    EXPECT_EQ(box.text(), "-0.4");
}

// The value box of a window description: Text first, then Value, then Decimals.
TEST(NumEdit, ShowsTheStoredValueWhateverTextWasStored)
{
    TNumEdit box;
    box.setText("0.0");
    box.SetDecimals(1);
    EXPECT_EQ(box.text(), "0.0");
    box.setText("whatever");
    box.SetValue(1);
    box.SetDecimals(0);
    EXPECT_EQ(box.text(), "1");
}

TEST(NumEdit, RaisesTextChangedOnlyOnARealChange)
{
    TNumEdit box;
    QSignalSpy changes(&box, &QLineEdit::textChanged);
    box.SetValue(3);
    box.SetValue(3);
    EXPECT_EQ(box.Value(), 3);
    box.SetDecimals(0);
    EXPECT_EQ(changes.count(), 1);
    box.SetValue(3.2);
    EXPECT_EQ(changes.count(), 1);
    box.SetDecimals(1);
    EXPECT_EQ(changes.count(), 2);
}

// A read returns what the text showed and leaves the text canonical.
TEST(NumEdit, ReadingParsesAndRewritesTheText)
{
    TNumEdit box;
    box.SetValue(100.0 / 3.0);
    EXPECT_EQ(box.text(), "33");
    EXPECT_EQ(box.Value(), 33);
    EXPECT_EQ(box.Value(), 33);

    box.SetDecimals(1);
    box.setText("1.26");
    EXPECT_EQ(box.Value(), 1.26);
    EXPECT_EQ(box.text(), "1.3");
    EXPECT_EQ(box.Value(), 1.3);

    box.setText("  12.5  ");
    EXPECT_EQ(box.Value(), 12.5);
    EXPECT_EQ(box.text(), "12.5");
}

TEST(NumEdit, ABadTextKeepsTheValueSilently)
{
    TNumEdit box;
    box.SetDecimals(1);
    box.SetValue(2.5);
    for (const char *bad : {"letters", "", "1,5", "1.5x"}) {
        box.setText(QString::fromLatin1(bad));
        EXPECT_EQ(box.Value(), 2.5) << bad;
        EXPECT_EQ(box.text(), "2.5") << bad;
    }
}

TEST(NumEdit, AddsUpThroughReadAndWrite)
{
    TNumEdit box;
    box.SetDecimals(1);
    QStringList shown;
    for (int i = 0; i < 3; ++i) {
        box.SetValue(box.Value() + 0.5);
        shown << box.text();
    }
    EXPECT_EQ(shown, QStringList({"0.5", "1.0", "1.5"}));
}

// The separator follows the locale: a change reformats a canonical text and parsing uses the
// new character from then on.
TEST(NumEdit, FollowsTheLocaleSeparator)
{
    TNumEdit box;
    box.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    box.SetDecimals(2);
    box.SetValue(1234.5);
    EXPECT_EQ(box.text(), "1234.50");

    box.setLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(box.DecimalSeparator(), QChar(u','));
    EXPECT_EQ(box.text(), "1234,50");
    box.setText("2,25");
    EXPECT_EQ(box.Value(), 2.25);
    box.setText("2.75");
    EXPECT_EQ(box.Value(), 2.25);
    EXPECT_EQ(box.text(), "2,25");

    // Typed text that nobody has read yet is left alone.
    box.setText("7,5");
    box.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(box.text(), "7,5");
    EXPECT_EQ(box.Value(), 2.25);
    EXPECT_EQ(box.text(), "2.25");
}

// The system announces a change of the user's settings with a locale change event; the box
// reads the separator again from the locale in force.
TEST(NumEdit, RereadsTheSeparatorWhenTheSystemAnnouncesAChange)
{
#ifdef Q_OS_WIN
    // Qt 6.4 on Windows hands a change of the regional settings to no widget, and a
    // LocaleChange sent to the application stays there.
    GTEST_SKIP() << "Qt on Windows announces no locale change to widgets";
#endif
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TNumEdit box;
    box.SetDecimals(1);
    box.SetValue(0.5);
    EXPECT_EQ(box.text(), "0.5");

    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    QEvent change(QEvent::LocaleChange);
    QApplication::sendEvent(qApp, &change);
    EXPECT_EQ(box.text(), "0,5");
    QLocale::setDefault(saved);
}

} // namespace
