#include "programwindows.h"

#include "appicon.h"

TProgramWindows::TProgramWindows()
{
    ZRSetupForm.setWindowIcon(SetupIcon());
    Boot.setWindowIcon(LoaderIcon());
    ZRSetupForm.SetPeers(&Boot, &UpdateDlgM);
}
