// zarnell-cli's entry point on Windows, ahead of the C and C++ runtime's own, for the reason
// that app/dllsearch_win.cpp gives for the program: the DLL search is restricted to the system
// folder before any static initialiser can load a DLL from the program's folder. The linker
// makes this the entry point (cli/CMakeLists.txt).
#include <windows.h>

// The runtime's start-up of a console program: it initialises the runtime, runs the static
// initialisers and calls main.
extern "C" int mainCRTStartup();

extern "C" int ZarnellCliStart()
{
    // Nothing of the runtime exists yet: a program that cannot protect itself does not run.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        ExitProcess(GetLastError());
    return mainCRTStartup();
}
