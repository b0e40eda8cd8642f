// The setup window: finds the dongle, holds the two settings and starts a download.
#pragma once

#include "bootloader.h"
#include "probereport.h"
#include "replyparser.h"
#include "sercomm.h"
#include "seropentimes.h"

#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <exception>

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class TNumEdit;
class TRulerSlider;
class TUpdateDlgM;

class TZRSetupForm : public QWidget {
    Q_OBJECT

public:
    using TSettingsBlock = TBoot::TImage;

    explicit TZRSetupForm(QWidget *Parent = nullptr);
    ~TZRSetupForm() override;

    // The loader window and the caution dialog, created after this window by the main block.
    void SetPeers(TBoot *Boot, TUpdateDlgM *UpdateDlgM);

    QComboBox *Ports;
    TRulerSlider *SolDelaySlider;
    TNumEdit *SolDelay;
    QLabel *Label1;
    TRulerSlider *IDSlider;
    TNumEdit *ID;
    QLabel *LC;
    QPushButton *DownloadButton;
    QTimer *Timer1;
    // Gives up an open that takes longer than its bound, so that a port that does not open
    // holds up the search no longer; a port that opens slowly gets more time on the next pass.
    QTimer *OpenBound;
    TSerComm SerComm1;

    // The bound of an open of a port that has never been slow. Tests on a busy machine raise it.
    std::chrono::milliseconds ShortOpenBound = SerShortOpenBound;

    const TSettingsBlock &SettingsBlock() const { return FSettingsBlock; }

    void FormCreate();
    void FormClose();
    void Timer1Find();
    void OpenBoundTimeout();
    void ComPortOpened(TSerCustomComm *Sender, std::exception_ptr Error);
    void ComPortRxChar(TSerCustomComm *Sender, int Count);
    void ComPortNotifyException(TSerCustomComm *Sender, std::exception_ptr Error);
    void DownloadButtonClick();
    void IDSliderChange(QObject *Sender);
    void SolDelaySliderChange(QObject *Sender);

protected:
    void closeEvent(QCloseEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;

private:
    void ApplyDescription();
    void ConfigureSerialPort();
    void BindHandlers();
    void BindPortHandlers();
    void MoveToNextPort();
    void ProbeNextPort(const QString &PortName);
    void ShowProbeOutcomes();
    void DongleFound();
    void PortFailed(std::exception_ptr Error);
    void RestartDiscovery();

    TBoot *FBoot = nullptr;
    TUpdateDlgM *FUpdateDlgM = nullptr;
    std::int32_t FScanIndex = -1;
    bool FFound = false;
    bool FClosing = false;                  // from the window's close on: no search, no box
    std::chrono::milliseconds FOpenBound{}; // of the open under way
    TReplyLineParser FReply;
    TProbeReport FProbeReport;
    TSettingsBlock FSettingsBlock{};
};
