// The loader window: writes a settings block into the unit's EEPROM through its boot loader,
// showing the progress.
#pragma once

#include "loaderrun.h"

#include <QDialog>

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class TNumEdit;
class TSerCustomComm;

class TBoot : public QDialog, private TLoaderRun::TDriver {
    Q_OBJECT

public:
    // The window is only ever closed, so a run always ends with Cancel.
    static constexpr int mrCancel = 2;

    // The steps of a run (TLoaderRun).
    static constexpr std::uint8_t StepPageStart = TLoaderRun::StepPageStart;
    static constexpr std::uint8_t StepBlockLow = TLoaderRun::StepBlockLow;
    static constexpr std::uint8_t StepBlockHigh = TLoaderRun::StepBlockHigh;
    static constexpr std::uint8_t StepPageAddress = TLoaderRun::StepPageAddress;
    static constexpr std::uint8_t StepNextPage = TLoaderRun::StepNextPage;
    static constexpr std::uint8_t StepFinish = TLoaderRun::StepFinish;
    static constexpr std::uint8_t StepProgrammed = TLoaderRun::StepProgrammed;

    using TImage = TLoaderRun::TImage;

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

    std::uint8_t Step() const { return FRun.Step(); }
    bool TickDriven() const { return FRun.TickDriven(); }

    void Timer1Timer();
    void SilenceTimerTimer();
    void LoaderNotifyException(TSerCustomComm *Sender, std::exception_ptr Error);
    void CloseButtonClick();
    void FormClose();

    void done(int Result) override;

protected:
    void keyPressEvent(QKeyEvent *Event) override;

private:
    void ApplyDescription();
    void BindHandlers();

    // The run's requests.
    void StepRun(std::uint8_t Step) override;
    void ShowProgramming(double Value) override;
    void SetTickRunning(bool On) override;
    void FrameSent(std::string_view Payload, const std::string &Frame) override;
    void ReplyReceived(const std::string &Line) override;
    void Programmed() override;

    void RunFailed(std::exception_ptr Error);
    void EndSilence();
    void SetStatus(const QString &Text);

    TLoaderRun FRun{*this};
    bool FSilent = false; // the window says that the unit does not answer
};
