// What the settings do to the line, read back from the kernel, and the settings it refuses.
#include "commfixture.h"
#include "lineprobe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

// A plain file standing in for a device: it opens, but no tty call works on it.
class TPlainFile {
public:
    TPlainFile()
        : FPath(std::filesystem::temp_directory_path() /
                ("zarnell-notatty-" + std::to_string(getpid())))
    {
        std::ofstream(FPath) << "";
    }
    ~TPlainFile() { std::filesystem::remove(FPath); }
    std::string Path() const { return FPath.string(); }

private:
    std::filesystem::path FPath;
};

} // namespace

// The tests of this file that share the program's port set-up.
using TSerLine = TProgramPortTest;

TEST_F(TSerLine, ProgramSettingsReachTheLine)
{
    FComm.Open();

    const TLineProbe line = ProbeLine(FPty.SlaveFd());
    EXPECT_EQ(line.Speed, 500000u);
    EXPECT_TRUE(line.OtherSpeed);
    EXPECT_EQ(line.DataBits, 8);
    EXPECT_FALSE(line.Parity);
    EXPECT_TRUE(line.TwoStopBits);
    EXPECT_TRUE(line.Raw);
    EXPECT_FALSE(line.RtsCts);
    EXPECT_FALSE(line.XonXoffOut);
    EXPECT_FALSE(line.XonXoffIn);
}

TEST_F(TSerLine, LiveSettingsReachAnOpenLineAtOnce)
{
    FComm.Open();

    FComm.SetStopbits(TSerStopbits::sb1);
    EXPECT_FALSE(ProbeLine(FPty.SlaveFd()).TwoStopBits);
    FComm.SetBaudrate(TSerBaudrate::br115200);
    EXPECT_EQ(ProbeLine(FPty.SlaveFd()).Speed, 115200u);

    FComm.FlowControl().SetOutCtsFlow(true);
    EXPECT_TRUE(ProbeLine(FPty.SlaveFd()).RtsCts);
    FComm.EventChars().SetXonChar('Q');
    FComm.FlowControl().SetXonXoffOut(true);
    FComm.FlowControl().SetXonXoffIn(true);
    const TLineProbe line = ProbeLine(FPty.SlaveFd());
    EXPECT_TRUE(line.XonXoffOut && line.XonXoffIn);
    EXPECT_EQ(line.XonChar, 'Q');
    EXPECT_EQ(line.XoffChar, 19);
}

TEST_F(TSerLine, WithoutUpdateDcbTheLineKeepsItsSettings)
{
    SetLineTo9600(FPty.SlaveFd());
    FComm.SetUpdateDCB(false);
    FComm.Open();
    EXPECT_EQ(ProbeLine(FPty.SlaveFd()).Speed, 9600u);
    FComm.SetStopbits(TSerStopbits::sb1);
    FComm.SetUserBaudrate(250000);
    EXPECT_EQ(ProbeLine(FPty.SlaveFd()).Speed, 9600u);
}

TEST_F(TSerLine, SettingsTheLineCannotHonourAreRefused)
{
    FComm.Open();

    const std::string refused = "Error writing dcb (22), Invalid argument";
    // A rate of 0 would hang the line up; it stays stored and the port stays open.
    EXPECT_EQ(CommErrorOf([&] { FComm.SetUserBaudrate(0); }), refused);
    EXPECT_EQ(FComm.UserBaudrate(), 0);
    EXPECT_TRUE(FComm.Active());
    FComm.SetUserBaudrate(500000);
    EXPECT_EQ(CommErrorOf([&] { FComm.SetDatabits(TSerDatabits::db4); }), refused);
    // A pty keeps 8 data bits without parity whatever it is asked; reading back finds out.
    EXPECT_EQ(CommErrorOf([&] { FComm.SetDatabits(TSerDatabits::db7); }), refused);
    FComm.SetDatabits(TSerDatabits::db8);
    EXPECT_EQ(CommErrorOf([&] { FComm.SetParity(TSerParity::paMark); }), refused);
    FComm.SetParity(TSerParity::paNone);
    EXPECT_EQ(CommErrorOf([&] { FComm.SetOptions({TSerCommOption::coNullStrip}); }), refused);
    EXPECT_EQ(CommErrorOf([&] { FComm.FlowControl().SetOutDsrFlow(true); }), refused);
    EXPECT_TRUE(FComm.Active());
}

TEST_F(TSerLine, AFailedOpenLeavesThePortClosedWithItsSettings)
{
    FComm.SetDatabits(TSerDatabits::db4);
    EXPECT_EQ(CommErrorOf([&] { FComm.Open(); }), "Error writing dcb (22), Invalid argument");
    EXPECT_FALSE(FComm.Active());
    EXPECT_EQ(FComm.Databits(), TSerDatabits::db4);
    EXPECT_EQ(FComm.UserBaudrate(), 500000);

    // The device was closed again: it opens once more from the start.
    FComm.SetDatabits(TSerDatabits::db8);
    FComm.Open();
    EXPECT_TRUE(FComm.Active());
}

TEST(SerLine, AFileThatIsNoTtyFailsAtItsFirstTtyCall)
{
    TPlainFile file;
    TQuickComm comm;
    UseProgramSettings(comm, file.Path());
    EXPECT_EQ(CommErrorOf([&] { comm.Open(); }),
              "Error writing dcb (25), Inappropriate ioctl for device");
    EXPECT_FALSE(comm.Active());

    comm.SetUpdateDCB(false);
    EXPECT_EQ(CommErrorOf([&] { comm.Open(); }),
              " Error setting EventMask (1), Operation not permitted");
    EXPECT_FALSE(comm.Active());
}
