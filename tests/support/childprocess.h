// A program of the project run by a test as a process of its own: its standard input on
// /dev/null, its standard output and error on pipes that the test reads, waited for with a
// bound. POSIX only (childprocess_posix.cpp).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

class TChildProcess {
public:
    // Environment holds NAME=value entries that replace or add to the test's own environment.
    TChildProcess(const std::string &Program, std::vector<std::string> Arguments,
                  const std::vector<std::string> &Environment = {});
    ~TChildProcess();
    TChildProcess(const TChildProcess &) = delete;
    TChildProcess &operator=(const TChildProcess &) = delete;

    void Signal(int Number) const;

    // The standard output up to the end of its first line, or what came before Timeout.
    std::string FirstLine(std::chrono::milliseconds Timeout);

    // Collects both streams until the process has closed them, then its exit status (128 plus
    // the signal's number when a signal ended it); none when it is still running after Timeout.
    std::optional<int> Wait(std::chrono::milliseconds Timeout);

    std::string Out, Err;

private:
    // Reads what has come on either stream, waiting until Deadline; false once nothing more can.
    bool ReadSome(std::chrono::steady_clock::time_point Deadline);

    pid_t FPid = 0;
    int FOut = -1, FErr = -1;
};
