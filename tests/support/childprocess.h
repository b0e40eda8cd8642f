// A program of the project run by a test as a process of its own: its standard input on
// /dev/null, its standard output and error on pipes that the test reads, waited for with a
// bound; or, as a person runs it, in a session of its own on a terminal that the test plays.
// POSIX only (childprocess_posix.cpp).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// The slave of a pseudo-terminal that the test holds, as the controlling terminal of the child's
// own session: its standard input, and its standard error too when Errors is set.
struct TChildTerminal {
    std::string Path; // empty: no terminal
    bool Errors = false;
};

class TChildProcess {
public:
    // Environment holds NAME=value entries that replace or add to the test's own environment.
    TChildProcess(const std::string &Program, std::vector<std::string> Arguments,
                  const std::vector<std::string> &Environment = {},
                  const TChildTerminal &Terminal = {});
    ~TChildProcess();
    TChildProcess(const TChildProcess &) = delete;
    TChildProcess &operator=(const TChildProcess &) = delete;

    void Signal(int Number) const;

    // The standard output up to the end of its first line, or what came before Timeout.
    std::string FirstLine(std::chrono::milliseconds Timeout);

    // Stops reading the standard output, as `| head -1` does: the child's writes to it fail.
    void CloseOutput();

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
