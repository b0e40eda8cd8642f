// zarnell-winwindows: what a tester driving the program from outside needs to ask Windows
// (under Wine), beside xdotool's clicks and keys:
//   zarnell-winwindows list-port VALUE COMn       lists COMn in HARDWARE\DEVICEMAP\SERIALCOMM
//   zarnell-winwindows wait TITLE TIMEOUT-MS      waits for a visible window of that title and
//                                                 prints, in screen pixels, its client area's
//                                                 origin, the centre of its close box and its
//                                                 frame (left, top, width, height)
//   zarnell-winwindows wait-gone TITLE TIMEOUT-MS waits until no window has that title
//   zarnell-winwindows load-dll NAME...           loads each DLL NAME by name alone, as a
//                                                 program does that leaves Windows' search order
//                                                 as it is (the program's own folder first)
//   zarnell-winwindows window                     shows a window and closes it again, and does
//                                                 nothing else
// The serial device map is a volatile key, which "reg add" cannot create; it lives until the
// Wine server ends.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

int ListPort(const char *Value, const char *Port)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create the serial device map\n");
        return 1;
    }
    const std::string data(Port);
    const LONG set =
        RegSetValueExA(key, Value, 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
    if (set != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot list %s\n", Port);
        return 1;
    }
    return 0;
}

HWND VisibleWindow(const char *Title)
{
    HWND window = FindWindowA(nullptr, Title);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

// Asks again every few milliseconds: another process's windows announce nothing to us.
template <typename Condition> bool Within(int TimeoutMs, Condition Holds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!Holds()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int Wait(const char *Title, int TimeoutMs)
{
    HWND window = nullptr;
    if (!Within(TimeoutMs, [&] { return (window = VisibleWindow(Title)) != nullptr; })) {
        std::fprintf(stderr, "no window \"%s\"\n", Title);
        return 1;
    }
    POINT origin{0, 0};
    RECT frame{};
    if (!ClientToScreen(window, &origin) || !GetWindowRect(window, &frame)) {
        std::fprintf(stderr, "cannot place the window \"%s\"\n", Title);
        return 1;
    }
    // The close box is the last of the caption buttons, at the right end of the caption.
    const int border = GetSystemMetrics(SM_CXSIZEFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
    const int button = GetSystemMetrics(SM_CXSIZE);
    const int closeX = frame.right - border - button / 2;
    const int closeY = (frame.top + origin.y) / 2;
    std::printf("%ld %ld %d %d %ld %ld %ld %ld\n", origin.x, origin.y, closeX, closeY, frame.left,
                frame.top, frame.right - frame.left, frame.bottom - frame.top);
    return 0;
}

int WaitGone(const char *Title, int TimeoutMs)
{
    if (!Within(TimeoutMs, [&] { return VisibleWindow(Title) == nullptr; })) {
        std::fprintf(stderr, "the window \"%s\" is still there\n", Title);
        return 1;
    }
    return 0;
}

int LoadDlls(int Count, char *Names[])
{
    int failed = 0;
    for (int i = 0; i < Count; ++i) {
        const HMODULE module = LoadLibraryA(Names[i]);
        if (module == nullptr) {
            std::fprintf(stderr, "cannot load %s\n", Names[i]);
            failed = 1;
            continue;
        }
        FreeLibrary(module);
    }
    return failed;
}

int ShowWindowOnce()
{
    const HWND window = CreateWindowExA(0, "STATIC", "zarnell-winwindows", WS_OVERLAPPEDWINDOW, 0,
                                        0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "cannot create a window\n");
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    DestroyWindow(window);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list-port" && argc == 4)
        return ListPort(argv[2], argv[3]);
    if (command == "wait" && argc == 4)
        return Wait(argv[2], std::atoi(argv[3]));
    if (command == "wait-gone" && argc == 4)
        return WaitGone(argv[2], std::atoi(argv[3]));
    if (command == "load-dll" && argc >= 3)
        return LoadDlls(argc - 2, argv + 2);
    if (command == "window" && argc == 2)
        return ShowWindowOnce();
    std::fprintf(stderr, "usage: zarnell-winwindows list-port VALUE COMn | wait TITLE MS | "
                         "wait-gone TITLE MS | load-dll NAME... | window\n");
    return 2;
}
