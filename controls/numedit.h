#pragma once

#include <QLineEdit>

// A single-line edit box that shows a number with a fixed count of decimals. The text is parsed
// only when Value() is read; writes of Value or Decimals rewrite the text in its canonical form.
class TNumEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(int Decimals READ Decimals WRITE SetDecimals)

public:
    explicit TNumEdit(QWidget *Parent = nullptr);

    // Parses the text shown; on success it becomes the value, otherwise the value stays. Either
    // way the text is put back in its canonical form, silently.
    double Value();
    void SetValue(double Value);

    int Decimals() const { return FDecimals; }
    void SetDecimals(int Decimals);

    QChar DecimalSeparator() const { return FSeparator; }

protected:
    void changeEvent(QEvent *Event) override;

private:
    QString FormatValue() const;
    void UpdateText();
    QChar LocaleSeparator() const;

    double FValue = 0;
    int FDecimals = 0;
    QChar FSeparator;
};
