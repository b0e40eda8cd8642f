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

TEST(SerLine, ProgramSettingsReachTheLine)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.Open();

    const TLineProbe line = ProbeLine(pty.SlaveFd());
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

TEST(SerLine, LiveSettingsReachAnOpenLineAtOnce)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.Open();

    comm.SetStopbits(TSerStopbits::sb1);
    EXPECT_FALSE(ProbeLine(pty.SlaveFd()).TwoStopBits);
    comm.SetBaudrate(TSerBaudrate::br115200);
    EXPECT_EQ(ProbeLine(pty.SlaveFd()).Speed, 115200u);

    comm.FlowControl().SetOutCtsFlow(true);
    EXPECT_TRUE(ProbeLine(pty.SlaveFd()).RtsCts);
    comm.EventChars().SetXonChar('Q');
    comm.FlowControl().SetXonXoffOut(true);
    comm.FlowControl().SetXonXoffIn(true);
    const TLineProbe line = ProbeLine(pty.SlaveFd());
    EXPECT_TRUE(line.XonXoffOut && line.XonXoffIn);
    EXPECT_EQ(line.XonChar, 'Q');
    EXPECT_EQ(line.XoffChar, 19);
}

TEST(SerLine, WithoutUpdateDcbTheLineKeepsItsSettings)
{
    TPtyPair pty;
    SetLineTo9600(pty.SlaveFd());
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.SetUpdateDCB(false);
    comm.Open();
    EXPECT_EQ(ProbeLine(pty.SlaveFd()).Speed, 9600u);
    comm.SetStopbits(TSerStopbits::sb1);
    comm.SetUserBaudrate(250000);
    EXPECT_EQ(ProbeLine(pty.SlaveFd()).Speed, 9600u);
}

TEST(SerLine, SettingsTheLineCannotHonourAreRefused)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.Open();

    const std::string refused = "Error writing dcb (22), Invalid argument";
    // A rate of 0 would hang the line up; it stays stored and the port stays open.
    EXPECT_EQ(CommErrorOf([&] { comm.SetUserBaudrate(0); }), refused);
    EXPECT_EQ(comm.UserBaudrate(), 0);
    EXPECT_TRUE(comm.Active());
    comm.SetUserBaudrate(500000);
    EXPECT_EQ(CommErrorOf([&] { comm.SetDatabits(TSerDatabits::db4); }), refused);
    // A pty keeps 8 data bits without parity whatever it is asked; reading back finds out.
    EXPECT_EQ(CommErrorOf([&] { comm.SetDatabits(TSerDatabits::db7); }), refused);
    comm.SetDatabits(TSerDatabits::db8);
    EXPECT_EQ(CommErrorOf([&] { comm.SetParity(TSerParity::paMark); }), refused);
    comm.SetParity(TSerParity::paNone);
    EXPECT_EQ(CommErrorOf([&] { comm.SetOptions({TSerCommOption::coNullStrip}); }), refused);
    EXPECT_EQ(CommErrorOf([&] { comm.FlowControl().SetOutDsrFlow(true); }), refused);
    EXPECT_TRUE(comm.Active());
}

TEST(SerLine, AFailedOpenLeavesThePortClosedWithItsSettings)
{
    TPtyPair pty;
    TQuickComm comm;
    UseProgramSettings(comm, pty.SlavePath());
    comm.SetDatabits(TSerDatabits::db4);
    EXPECT_EQ(CommErrorOf([&] { comm.Open(); }), "Error writing dcb (22), Invalid argument");
    EXPECT_FALSE(comm.Active());
    EXPECT_EQ(comm.Databits(), TSerDatabits::db4);
    EXPECT_EQ(comm.UserBaudrate(), 500000);

    // The device was closed again: it opens once more from the start.
    comm.SetDatabits(TSerDatabits::db8);
    comm.Open();
    EXPECT_TRUE(comm.Active());
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
