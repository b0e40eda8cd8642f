// The whole program against the simulated unit: the real windows on the offscreen platform, the
// real serial component on a pseudo-terminal, and the simulator as dongle and unit.
#pragma once

#include "modaldriver.h"
#include "programwindows.h"
#include "unitsimpty.h"

#include <QMessageBox>
#include <QStringList>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class TWholeJob : public ::testing::Test {
protected:
    void TearDown() override;

    // Starts the windows with the simulators' ports, or the given ports, as the machine's port
    // list.
    void StartProgram(const std::vector<const TUnitSimPty *> &Units);
    void StartProgramOnPorts(const QStringList &Ports);
    // One simulator with the given faults, then the windows.
    TUnitSimPty &StartWithUnit(TUnitSimOptions Options = {});

    // The dongle is the last unit of FUnits.
    bool WaitForDownloadEnabled(int TimeoutMs = 20000);

    // A person takes a moment before pressing Download again. Meanwhile the unit's last answers
    // (a finish frame that the tick sent twice is answered twice) have arrived, through the
    // harness's relay under Wine too, and the new run discards them as it starts, rather than
    // taking them for answers to its own frames: waits until the line has been quiet for half a
    // second.
    void WaitForQuietLine() const;
    // Presses Download once the line is quiet, answers the caution dialog with OK, lets Script
    // drive the loader window (it must close it in the end) and returns when the window has
    // closed.
    void Download(const std::function<void(TModalDriver &)> &Script);
    // The loader window is up and shows "Programmed", and the dongle (the last unit started) has
    // read the finish frame: a user takes longer to see the window than the frame takes to go
    // out, and closing the window discards what the unit has not read yet.
    bool Programmed() const;
    // The plain case: OK, wait for "Programmed", close.
    void DownloadToProgrammed();

    // Sets the two sliders as a user would leave them.
    void SetSliders(int SolDelay, int Id);

    // The kinds of the frames the first unit received, as "SN", "SB", …, once it has received
    // at least AtLeast of them (or 5 s have passed): a run may end "Programmed" from its tick
    // before the unit has read the finish frame.
    std::vector<std::string> FrameKinds(std::size_t AtLeast = 0) const;
    // The same, with a finish frame dropped that repeats the one before it: a run's tick sends
    // the finish frame once more when its acknowledgement has not come before the next tick,
    // which a busy machine may delay.
    std::vector<std::string> RunFrameKinds(std::size_t AtLeast) const;
    // The same of the unit given.
    static std::vector<std::string> RunFrameKinds(const TUnitSimPty &Unit, std::size_t AtLeast);

    // Error boxes shown so far, by their text.
    QStringList FErrors;
    // A driver step that closes the error box that is up and records its text.
    std::function<bool()> ErrorBoxShown() const;
    void AcknowledgeErrorBox();

    std::vector<std::unique_ptr<TUnitSimPty>> FUnits;
    std::unique_ptr<TProgramWindows> FWindows;
    TZRSetupForm *FForm = nullptr;
    TBoot *FBoot = nullptr;
    TUpdateDlgM *FDialog = nullptr;
};

// The error box that is up, if any.
QMessageBox *ActiveErrorBox();

// The error box's text when the device of the open port has gone: the serial component's
// message with the system's code and text for it.
QString VanishedDeviceError();

// True when Text is that of the box for an unplugged dongle: plain words, then the component's
// message of the status query that found the loss.
bool IsDongleLostText(const QString &Text);

// The loader frame for a payload, as the unit must receive it.
std::string ExpectedFrame(const std::string &Payload);

// The settings block for the sliders' values: the two values, then unused bytes of 255.
std::string SettingsBlock(int SolDelay, int Id);

// The EEPROM page that the unit holds now, where the loader writes the settings block.
std::string EepromPage(const TUnitSimPty &Unit);
