// Runs a console program and, once it has printed a given text, raises a console event in it as
// Windows does when its console window is closed, the user logs off or the system shuts down:
// a thread of the program runs the console's dispatcher, kernelbase's CtrlRoutine, which calls the
// program's handlers in turn. Then waits for the program to end by itself, and ends with its exit
// status, or with 124 when it is still running after the time Windows would have given it.
//   zarnell-consoleevent close|logoff|shutdown TEXT PROGRAM [ARGUMENTS...]
// The program's standard output passes through; its standard error is this program's own.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Windows ends a program about 5 s after the event; Wine never does, so this waits that long
// and a little more.
constexpr DWORD Grace = 10000;

[[noreturn]] void Fail(const char *What)
{
    std::fprintf(stderr, "zarnell-consoleevent: %s failed (%lu)\n", What, GetLastError());
    ExitProcess(2);
}

DWORD EventOf(const char *Name)
{
    if (std::strcmp(Name, "close") == 0)
        return CTRL_CLOSE_EVENT;
    if (std::strcmp(Name, "logoff") == 0)
        return CTRL_LOGOFF_EVENT;
    if (std::strcmp(Name, "shutdown") == 0)
        return CTRL_SHUTDOWN_EVENT;
    std::fprintf(stderr, "zarnell-consoleevent: no such event: %s\n", Name);
    ExitProcess(2);
}

std::string CommandLine(int Argc, char **Argv)
{
    std::string line;
    for (int i = 0; i < Argc; ++i)
        line += std::string(i ? " \"" : "\"") + Argv[i] + "\"";
    return line;
}

void RaiseConsoleEvent(HANDLE Process, DWORD Event)
{
    const HMODULE kernelbase = GetModuleHandleW(L"kernelbase.dll");
    const FARPROC dispatcher = kernelbase ? GetProcAddress(kernelbase, "CtrlRoutine") : nullptr;
    if (!dispatcher)
        Fail("finding CtrlRoutine");
    // System DLLs sit at the same address in every process of a session. FARPROC is a
    // function of no parameters, so the address goes through void * to the thread's type.
    const auto start =
        reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void *>(dispatcher));
    const HANDLE thread =
        CreateRemoteThread(Process, nullptr, 0, start,
                           reinterpret_cast<void *>(static_cast<ULONG_PTR>(Event)), 0, nullptr);
    if (!thread)
        Fail("CreateRemoteThread");
    CloseHandle(thread);
}

// Passes what the program wrote on to this program's standard output; false at its end.
bool PassOn(HANDLE Pipe, std::string &Seen)
{
    char buffer[512];
    DWORD got = 0;
    if (!ReadFile(Pipe, buffer, sizeof buffer, &got, nullptr) || got == 0)
        return false;
    std::fwrite(buffer, 1, got, stdout);
    std::fflush(stdout);
    Seen.append(buffer, got);
    return true;
}

} // namespace

int main(int Argc, char **Argv)
{
    if (Argc < 4) {
        std::fprintf(stderr, "usage: zarnell-consoleevent close|logoff|shutdown TEXT PROGRAM...\n");
        return 2;
    }
    const DWORD event = EventOf(Argv[1]);
    const std::string awaited = Argv[2];

    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 1 << 16) ||
        !SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0))
        Fail("CreatePipe");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    std::string command = CommandLine(Argc - 3, Argv + 3);
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child))
        Fail("CreateProcess");
    CloseHandle(writeEnd);
    CloseHandle(child.hThread);

    // Up to the awaited line; what the program says after the event fits in the pipe's buffer
    // until it has ended.
    std::string seen;
    while (seen.find(awaited) == std::string::npos && PassOn(readEnd, seen))
        ;
    if (seen.find(awaited) == std::string::npos) {
        std::fprintf(stderr, "zarnell-consoleevent: the program never printed %s\n",
                     awaited.c_str());
        return 3;
    }
    RaiseConsoleEvent(child.hProcess, event);
    if (WaitForSingleObject(child.hProcess, Grace) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "zarnell-consoleevent: the program did not end\n");
        TerminateProcess(child.hProcess, 124);
        return 124;
    }
    while (PassOn(readEnd, seen))
        ;
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    return static_cast<int>(status);
}
