#include "dllsearch.h"

void LoadDllsFromSystemFolderOnly()
{
    // Shared libraries come from the system's paths; the program's folder is not among them.
}
