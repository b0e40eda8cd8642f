// A serial line for tests that play the device themselves: the test reads and writes the device
// end, the component opens the other end by SlavePath. A pseudo-terminal on POSIX systems
// (ptypair_posix.cpp); on Windows a pair of COM ports that the test harness links back to back
// (ptypair_win.cpp).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

class TPtyPair {
public:
    TPtyPair();
    ~TPtyPair();
    TPtyPair(const TPtyPair &) = delete;
    TPtyPair &operator=(const TPtyPair &) = delete;

    // POSIX only: the master's descriptor, and the pair's own slave descriptor, which it keeps
    // open so that the pty lives while the port closes.
    int MasterFd() const;
    int SlaveFd() const;
    // The port the component opens: /dev/pts/3, COM20.
    const std::string &SlavePath() const;

    // Writes all bytes to the device end, waiting at most Timeout for room; throws on failure.
    void Write(std::string_view Bytes, std::chrono::milliseconds Timeout = std::chrono::seconds(5));
    // Reads from the device end until Count bytes have come or Timeout has passed.
    std::string Read(std::size_t Count,
                     std::chrono::milliseconds Timeout = std::chrono::seconds(5));
    // Reads from the device end until nothing more comes for Quiet.
    std::string ReadUntilQuiet(std::chrono::milliseconds Quiet);
    // Closes the device end: the component's side sees the device vanish.
    void CloseMaster();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
