// The program's three windows, created in the main block's order: the setup window, which is
// the main window, then the loader window and the caution dialog, which live for the whole run
// and are only shown, modally, on demand. They go in the reverse order, so the setup window
// (and with it the serial port) goes last.
#pragma once

#include "bootloader.h"
#include "bootmain.h"
#include "updatedlg.h"

struct TProgramWindows {
    TProgramWindows();

    TZRSetupForm ZRSetupForm;
    TBoot Boot;
    TUpdateDlgM UpdateDlgM;
};
