// The caution dialog shown before a download.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TUpdateDlgM : public QDialog {
    Q_OBJECT

public:
    // The dialog's results.
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    explicit TUpdateDlgM(QWidget *Parent = nullptr);

    QFrame *Bevel1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;

    // Esc and the close box end the dialog with Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent *Event) override;

private:
    void ApplyDescription();
    void BindHandlers();
};
