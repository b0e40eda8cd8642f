// The serial port names on Windows: the string values of the registry's serial device map
// (COM3, COM4...), in the order the registry returns them; no key, no ports.
#include "serports.h"

#include <windows.h>

#include <string_view>

namespace {

class TRegKey {
public:
    TRegKey() = default;
    ~TRegKey()
    {
        if (FKey != nullptr)
            RegCloseKey(FKey);
    }
    TRegKey(const TRegKey &) = delete;
    TRegKey &operator=(const TRegKey &) = delete;

    HKEY *Receive() { return &FKey; }
    HKEY Get() const { return FKey; }

private:
    HKEY FKey = nullptr;
};

} // namespace

std::vector<std::string> SerSystemPortNames()
{
    std::vector<std::string> names;
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                      key.Receive()) != ERROR_SUCCESS)
        return names;
    DWORD count = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return names;

    std::string valueName(longestName + 1, '\0');
    std::string data(longestData + 1, '\0');
    for (DWORD index = 0; index < count; ++index) {
        DWORD nameSize = static_cast<DWORD>(valueName.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key.Get(), index, valueName.data(), &nameSize, nullptr, &type,
                          reinterpret_cast<BYTE *>(data.data()), &dataSize) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        // The stored string need not carry its terminating null.
        const std::string_view text(data.data(), dataSize);
        names.emplace_back(text.substr(0, text.find('\0')));
    }
    return names;
}
