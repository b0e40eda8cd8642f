// An owned file descriptor: closed when its owner goes, handed on by moving.
#pragma once

#include <unistd.h>
#include <utility>

class TFd {
public:
    TFd() = default;
    explicit TFd(int Fd)
        : FFd(Fd)
    {
    }
    ~TFd() { Close(); }
    TFd(TFd &&Other) noexcept
        : FFd(std::exchange(Other.FFd, -1))
    {
    }
    // The descriptor held before goes with Other.
    TFd &operator=(TFd &&Other) noexcept
    {
        std::swap(FFd, Other.FFd);
        return *this;
    }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;

    int Get() const { return FFd; }
    bool IsOpen() const { return FFd >= 0; }

    // Closes the descriptor held and takes Fd in its place.
    void Reset(int Fd)
    {
        Close();
        FFd = Fd;
    }

    void Close()
    {
        // Nothing is left to do about a failed close of a descriptor that is given up.
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
    }

private:
    int FFd = -1;
};
