// The loader window: writes a settings block into the unit's EEPROM through its boot loader,
// showing the progress.
#pragma once

#include "frames.h"
#include "replyparser.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <exception>
#include <string_view>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class TNumEdit;
class TSerCustomComm;

class TBoot : public QDialog {
    Q_OBJECT

public:
    // The window is only ever closed, so a run always ends with Cancel.
    static constexpr int mrCancel = 2;

    // The steps of a run. Each programming step sends one frame and waits for its reply.
    static constexpr std::uint8_t StepPageStart = 20;
    static constexpr std::uint8_t StepBlockLow = 21;
    static constexpr std::uint8_t StepBlockHigh = 22;
    static constexpr std::uint8_t StepPageAddress = 23;
    static constexpr std::uint8_t StepNextPage = 24;
    static constexpr std::uint8_t StepFinish = 25;
    static constexpr std::uint8_t StepProgrammed = 26;

    // The name of a step for the log: "programmed" for StepProgrammed; steps outside a run
    // have none.
    static const char *StepName(std::uint8_t Step);

    // The EEPROM image: one page, which holds the settings block.
    using TImage = std::array<std::uint8_t, EepromPageSize>;

    // The unit answers each frame within milliseconds; after this long without a reply the
    // window says that it is silent. Nothing is sent again and nothing times out.
    static constexpr int SilenceMs = 2000;

    explicit TBoot(QWidget *Parent = nullptr);

    // Starts a run on an open port whose OnRxChar the caller has unbound, writing Image; shows
    // the window modally and returns when the user has closed it.
    int StartLoading(TSerCustomComm *Comm, const TImage &Image);

    QLabel *Status;
    QProgressBar *Progress;
    TNumEdit *Percent;
    QLabel *Label1;
    QPushButton *CloseButton;
    QTimer *Timer1;
    QTimer *SilenceTimer;

    std::uint8_t Step() const { return FStep; }
    bool TickDriven() const { return FTickDriven; }

    void Timer1Timer();
    void SilenceTimerTimer();
    void LoaderRxChar(TSerCustomComm *Sender, int Count);
    void LoaderNotifyException(TSerCustomComm *Sender, std::exception_ptr Error);
    void CloseButtonClick();
    void FormClose();

    void done(int Result) override;

protected:
    void keyPressEvent(QKeyEvent *Event) override;

private:
    void ApplyDescription();
    void BindHandlers();

    void RunStep();
    void RunFailed(std::exception_ptr Error);
    void HandleReply(const std::string &Line);
    void EndSilence();
    void AdvanceStep();
    void SetStatus(const QString &Text);
    void UpdateProgress();
    void SendFrame(std::string_view Payload);
    void SendBlock(int Offset);
    void SendPageAddress();
    void UnbindReceiver();

    TSerCustomComm *FComm = nullptr;
    bool FSilent = false; // the window says that the unit does not answer
    std::uint8_t FStep = 0;
    bool FTickDriven = false;
    TReplyLineParser FReply;
    TImage FImage{};
    std::int32_t FPage = 0;
    std::int32_t FPageCount = 1;
    std::int32_t FPageSize = EepromPageSize;
};
