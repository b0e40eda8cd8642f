// A DLL that a test puts beside a program under the name of a system DLL. When Windows loads
// it, it leaves a marker file beside itself, named as itself with ".loaded" appended, or with
// ".loaded-at-start" when the loader took it while starting the process, for an import (Windows
// tells the two apart in DllMain's last argument); the test then knows that the program took
// it instead of the system's own, and when.
#include <windows.h>

#include <string>

namespace {

std::wstring ModulePath(HMODULE Module)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(Module, path.data(), DWORD(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void LeaveMarker(HMODULE Module, bool AtStart)
{
    const std::wstring path = ModulePath(Module);
    if (path.empty())
        return;
    const std::wstring marker_path = path + (AtStart ? L".loaded-at-start" : L".loaded");
    const HANDLE marker = CreateFileW(marker_path.c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID Reserved)
{
    if (Reason == DLL_PROCESS_ATTACH)
        LeaveMarker(Instance, Reserved != nullptr);
    return TRUE;
}
