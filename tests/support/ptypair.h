// A pseudo-terminal pair for serial tests: the test plays the device on the master side, the
// component opens the slave by its path.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

class TPtyPair {
public:
    TPtyPair();
    ~TPtyPair();
    TPtyPair(const TPtyPair &) = delete;
    TPtyPair &operator=(const TPtyPair &) = delete;

    int MasterFd() const { return FMaster; }
    // The pair keeps its own slave descriptor open, so the pty lives while the port closes.
    int SlaveFd() const { return FSlave; }
    const std::string &SlavePath() const { return FSlavePath; }

    // Writes all bytes to the master, waiting at most Timeout for room; throws on failure.
    void Write(std::string_view Bytes, std::chrono::milliseconds Timeout = std::chrono::seconds(5));
    // Reads from the master until Count bytes have come or Timeout has passed.
    std::string Read(std::size_t Count,
                     std::chrono::milliseconds Timeout = std::chrono::seconds(5));
    // Reads from the master until nothing more comes for Quiet.
    std::string ReadUntilQuiet(std::chrono::milliseconds Quiet);
    // Closes the master: the slave side sees the device vanish.
    void CloseMaster();

private:
    int FMaster = -1;
    int FSlave = -1;
    std::string FSlavePath;
};
