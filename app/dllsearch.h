// Where the program may load DLLs from.
#pragma once

// Windows looks for a DLL in the program's own folder before its system folder, unless it is
// one of the few "known" DLLs. A DLL put beside the program (in a Downloads folder, say) under
// the name of a system DLL would run with it. The program imports the other system DLLs through
// delay-load stubs that load each on its first call; from then on they, and every DLL that Qt
// loads by name, come from the system folder only. Call first thing in main, before anything
// calls into such a DLL. Elsewhere this does nothing.
void LoadDllsFromSystemFolderOnly();
