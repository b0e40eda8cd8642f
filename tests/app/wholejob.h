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

    // Starts the windows with the simulators' ports as the machine's port list.
    void StartProgram(const std::vector<const TUnitSimPty *> &Units);
    // One simulator with the given faults, then the windows.
    TUnitSimPty &StartWithUnit(TUnitSimOptions Options = {});

    bool WaitForDownloadEnabled(int TimeoutMs = 20000);

    // Presses Download, answers the caution dialog with OK, lets Script drive the loader window
    // (it must close it in the end) and returns when the window has closed.
    void Download(const std::function<void(TModalDriver &)> &Script);
    // The plain case: OK, wait for "Programmed", close.
    void DownloadToProgrammed();

    // Sets the two sliders as a user would leave them.
    void SetSliders(int SolDelay, int Id);

    // The kinds of the frames the unit received, as "SN", "SB", …
    std::vector<std::string> FrameKinds() const;

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

// The loader frame for a payload, as the unit must receive it.
std::string ExpectedFrame(const std::string &Payload);
