// The ports that the preloaded slow-ports library (slowports_linux.cpp) makes slow to open, for
// the tests and figures that run with it: each a path that a test links to a device of its own.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct TSlowPort {
    std::string Path;
    std::chrono::milliseconds Delay{0};
};

// As ZARNELL_SLOW_OPEN names them; none when the library is not preloaded.
inline std::vector<TSlowPort> SlowPorts()
{
    std::vector<TSlowPort> ports;
    const char *value = std::getenv("ZARNELL_SLOW_OPEN");
    std::string rest = value ? value : "";
    while (!rest.empty()) {
        const std::size_t end = rest.find(':');
        const std::string entry = rest.substr(0, end);
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
        if (const std::size_t equals = entry.rfind('='); equals != std::string::npos)
            ports.push_back({entry.substr(0, equals),
                             std::chrono::milliseconds(std::atoi(entry.c_str() + equals + 1))});
    }
    return ports;
}

// The one whose path ends in Name, if the library is preloaded. Tests that run side by side take
// slow ports of their own: each links its path to a device of its own.
inline std::optional<TSlowPort> SlowPortNamed(const std::string &Name)
{
    for (const TSlowPort &port : SlowPorts()) {
        if (std::filesystem::path(port.Path).filename() == Name)
            return port;
    }
    return std::nullopt;
}

// A slow port's path, a symbolic link to Target while it lives.
class TSlowPortLink {
public:
    TSlowPortLink(const TSlowPort &Port, const std::string &Target)
        : FPath(Port.Path)
    {
        std::filesystem::create_directories(FPath.parent_path());
        std::filesystem::remove(FPath);
        std::filesystem::create_symlink(Target, FPath);
    }
    ~TSlowPortLink() { std::filesystem::remove(FPath); }
    std::string Path() const { return FPath.string(); }
    TSlowPortLink(const TSlowPortLink &) = delete;
    TSlowPortLink &operator=(const TSlowPortLink &) = delete;

private:
    std::filesystem::path FPath;
};
