// The port list: sysfs read from a fake tree, and the ZARNELL_PORTS override.
#include "serports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A fake /sys/class/tty with the kinds of entries a machine has.
class TFakeSysfs {
public:
    TFakeSysfs()
        : FRoot(fs::temp_directory_path() / ("zarnell-sysfs-" + std::to_string(getpid())))
    {
        fs::create_directories(FRoot / "devices");
        Add("ttyS0", true, "4");
        Add("ttyS1", true, "0"); // a legacy UART entry with nothing fitted
        Add("ttyS10", true, "4");
        Add("ttyS2", true, "4");
        Add("ttyUSB0", true, nullptr);
        Add("ttyACM1", true, nullptr);
        Add("tty1", false, nullptr); // a virtual console
        Add("ptmx", false, nullptr);
    }
    ~TFakeSysfs() { fs::remove_all(FRoot); }
    fs::path Root() const { return FRoot; }

private:
    void Add(const std::string &Name, bool HasDevice, const char *Type)
    {
        const fs::path tty = FRoot / Name;
        fs::create_directories(tty);
        if (HasDevice) {
            fs::create_directories(FRoot / "devices" / Name);
            fs::create_directory_symlink(FRoot / "devices" / Name, tty / "device");
        }
        if (Type)
            std::ofstream(tty / "type") << Type << "\n";
    }

    fs::path FRoot;
};

} // namespace

TEST(SerPorts, SysfsGivesTheTtysWithHardwareInNaturalOrder)
{
    TFakeSysfs sysfs;
    std::vector<std::string> names = SerSysfsPortNames(sysfs.Root());
    std::sort(names.begin(), names.end(), SerNaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM1", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"}));
    EXPECT_TRUE(SerSysfsPortNames(sysfs.Root() / "missing").empty());
}

TEST(SerPorts, NaturalOrderComparesNumbersByValue)
{
    EXPECT_TRUE(SerNaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(SerNaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(SerNaturalLess("ttyS", "ttyS0"));
    EXPECT_TRUE(SerNaturalLess("ttyACM9", "ttyS0"));
    EXPECT_FALSE(SerNaturalLess("ttyS02", "ttyS2"));
}

TEST(SerPorts, TheEnvironmentReplacesTheMachinesList)
{
    ASSERT_EQ(setenv("ZARNELL_PORTS", "/dev/pts/7:/dev/pts/3::", 1), 0);
    EXPECT_EQ(SerPortNames(), (std::vector<std::string>{"/dev/pts/7", "/dev/pts/3"}));
    ASSERT_EQ(unsetenv("ZARNELL_PORTS"), 0);
}
