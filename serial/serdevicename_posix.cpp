#include "serdevicename.h"

std::string SerDevicePath(const std::string &Name)
{
    std::string bare = SerStripDeviceNamespace(Name);
    if (bare.empty() || bare.front() == '/')
        return bare;
    return "/dev/" + bare;
}
