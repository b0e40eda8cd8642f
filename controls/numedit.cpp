#include "numedit.h"

#include "numtext.h"

#include <QEvent>
#include <QLocale>

TNumEdit::TNumEdit(QWidget *Parent)
    : QLineEdit(Parent)
    , FSeparator(LocaleSeparator())
{
    UpdateText();
}

double TNumEdit::Value()
{
    const std::optional<double> parsed =
        NumText::ParseNumber(text().toStdU16String(), FSeparator.unicode());
    if (parsed)
        FValue = *parsed;
    UpdateText();
    return FValue;
}

void TNumEdit::SetValue(double Value)
{
    FValue = Value;
    UpdateText();
}

void TNumEdit::SetDecimals(int Decimals)
{
    FDecimals = Decimals;
    UpdateText();
}

void TNumEdit::changeEvent(QEvent *Event)
{
    if (Event->type() == QEvent::LocaleChange) {
        // A text in the canonical form follows the new separator; anything the user typed and
        // nobody has read yet stays as it is.
        const bool canonical = text() == FormatValue();
        FSeparator = LocaleSeparator();
        if (canonical)
            UpdateText();
    }
    QLineEdit::changeEvent(Event);
}

QString TNumEdit::FormatValue() const
{
    return QString::fromStdU16String(NumText::FormatFixed(FValue, FDecimals, FSeparator.unicode()));
}

// Only a real change of text reaches textChanged, so rewriting the same number is silent.
void TNumEdit::UpdateText()
{
    const QString formatted = FormatValue();
    if (text() != formatted)
        setText(formatted);
}

// The widget's locale is the user's system locale unless the program or a parent chose another;
// the box is told of every change through QEvent::LocaleChange.
QChar TNumEdit::LocaleSeparator() const
{
    const QString point = locale().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}
