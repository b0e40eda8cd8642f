#include "dllsearch.h"

#include <system_error>
#include <windows.h>

void LoadDllsFromSystemFolderOnly()
{
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        throw std::system_error(int(GetLastError()), std::system_category(),
                                "SetDefaultDllDirectories");
}
