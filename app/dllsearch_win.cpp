// The program's entry point on Windows, ahead of the C and C++ runtime's own.
//
// Windows looks for a DLL in the program's own folder before its system folder, unless it is
// one of the few "known" DLLs, so a DLL put beside the program (in a Downloads folder, say)
// under the name of a system DLL would run with it. The program imports every system DLL but
// the process's basics through delay-load stubs that load each on its first call. Code runs
// before main, though: the static initialisers make such calls (the random start of Qt's
// QHash, for one, is drawn from advapi32's RtlGenRandom by one), and a DLL loaded so loads its
// own imports with the program's folder first too. So the search is restricted here, before
// the runtime's start-up; from then on every DLL, and every DLL that those load in turn, comes
// from the system folder. The linker makes this the entry point (app/CMakeLists.txt).
#include <windows.h>

// The runtime's start-up of a program with a WinMain: it initialises the runtime, runs the
// static initialisers and calls WinMain (Qt's, which calls main).
extern "C" int WinMainCRTStartup();

// System DLLs that other system DLLs load by name on first use through a search that does not
// honour the restriction: Wine's themed window borders load msimg32 so, with the program's
// folder first. Loaded here from the system folder, each name is taken before anyone looks.
constexpr const wchar_t *LoadedByNameInTheSystem[] = {L"msimg32.dll"};

extern "C" int ZarnellStart()
{
    // Nothing of the runtime exists yet: no exception, no static object, no message box (that
    // would load user32 from the unrestricted search). A program that cannot protect itself
    // does not run.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        ExitProcess(GetLastError());
    for (const wchar_t *name : LoadedByNameInTheSystem) {
        if (!LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
            ExitProcess(GetLastError());
    }
    return WinMainCRTStartup();
}
