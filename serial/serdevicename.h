// How a port's name becomes the path of its device. The program names a listed port in the form
// that Windows reads as a device ("\\.\\COM3"); each platform turns that into its own path.
#pragma once

#include <string>
#include <string_view>

// Windows' device namespace, put in front of a device's name: "\\.\".
inline constexpr std::string_view SerDeviceNamespace = "\\\\.\\";

// The device name under which the program opens a listed port: the namespace and a further
// backslash before the port's name. The device name is a pattern, so a per cent sign in the
// port's name is escaped to stand for itself.
std::string SerPortDeviceName(std::string_view Port);

// Name without the namespace elements in front of it, however many: "\\.\\\.\\COM3" gives
// "COM3". A name that carries none is returned as it is.
std::string SerStripDeviceNamespace(std::string_view Name);

// The path of the device that a formatted device name stands for, by the platform's rule: on
// Windows the namespace in front of the name, on POSIX systems the name without it, in /dev
// unless it is a path already.
std::string SerDevicePath(const std::string &Name);
