// The program's side of a simulated port: opens the slave path as a serial port would, in raw
// mode, and reads with bounded waits.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

class TPtyClient {
public:
    explicit TPtyClient(const std::string &Path);
    ~TPtyClient();
    TPtyClient(const TPtyClient &) = delete;
    TPtyClient &operator=(const TPtyClient &) = delete;

    void Write(std::string_view Bytes);

    // Reads until Count bytes have come or Timeout has passed; returns what came.
    std::string Read(std::size_t Count, std::chrono::milliseconds Timeout);

    // Waits for the device to hang up; true when a read then fails with EIO or finds the end.
    bool WaitForHangUp(std::chrono::milliseconds Timeout);

    // Number of reads that returned bytes, so a test can see an answer arrive in pieces.
    int ReadCalls() const { return FReadCalls; }

private:
    int FFd = -1;
    int FReadCalls = 0;
};
