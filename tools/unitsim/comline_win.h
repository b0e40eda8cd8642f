// The far end of a serial line on Windows, for the simulated unit and the tests: the harness
// (tests/windows/run-with-pairs.sh) links pairs of COM ports back to back, and names them in
// ZARNELL_TEST_PAIRS as "COM20=COM21,COM22=COM23,...": the program opens the first port of a
// pair, and whoever plays the device opens the second.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

struct TComPair {
    std::string ProgramPort; // for the program, e.g. "COM20"
    std::string DevicePort;  // for the one who plays the device
};

// The next pair of the harness that no one in this process has taken; raises
// std::runtime_error when there is none left.
TComPair TakeComPair();

// The device end of a pair: bytes in and out with bounded waits. Closing it makes the program's
// end hang up, as a USB adapter that is pulled.
class TComLine {
public:
    explicit TComLine(const std::string &Port);
    ~TComLine();
    TComLine(const TComLine &) = delete;
    TComLine &operator=(const TComLine &) = delete;

    // Waits at most Timeout for bytes, or until Wake; returns what has come, possibly nothing.
    std::string Receive(std::chrono::milliseconds Timeout);
    // Sends all of Bytes, waiting at most Timeout; raises std::runtime_error when they did not go.
    void Send(std::string_view Bytes, std::chrono::milliseconds Timeout = std::chrono::seconds(5));
    // Any thread: ends the Receive under way, or the next one.
    void Wake();
    // Closes the line; Receive then only waits for Wake or its time-out, and Send does nothing.
    void Close();
    bool IsOpen() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
