#include "serdevicename.h"

#include "serexception.h"

std::string SerPortDeviceName(std::string_view Port)
{
    return std::string(SerDeviceNamespace) + "\\" + SerEscapePattern(std::string(Port));
}

std::string SerStripDeviceNamespace(std::string_view Name)
{
    // Backslashes and ".\" elements; a "." counts only after a backslash, so that a relative
    // name such as ".\tty" is left alone.
    std::size_t start = 0;
    bool prefixed = false;
    while (start < Name.size()) {
        if (Name[start] == '\\') {
            ++start;
        } else if (start > 0 && Name.substr(start, 2) == ".\\") {
            start += 2;
            prefixed = true;
        } else {
            break;
        }
    }
    return std::string(prefixed ? Name.substr(start) : Name);
}
