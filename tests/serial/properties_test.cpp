// The property rules: guarded, live and notify-once settings, and how names become paths.
#include "commfixture.h"
#include "lineprobe.h"
#include "serdevicename.h"
#include "serformat.h"

#include <gtest/gtest.h>

// The tests of this file that share the program's port set-up.
using TSerCommOpen = TProgramPortTest;

TEST(SerPersistent, NotifiesOncePerChangeAndOncePerUpdate)
{
    TSerFlowControl flow;
    int changes = 0;
    flow.OnChange = [&](TSerPersistent *) { ++changes; };

    flow.SetOutCtsFlow(false); // unchanged: flow control members compare first
    EXPECT_EQ(changes, 0);
    flow.SetControlDtr(TSerControlDtr::dtrEnabled);
    EXPECT_EQ(changes, 1);

    flow.BeginUpdate();
    flow.BeginUpdate();
    flow.SetXonXoffIn(true);
    flow.SetXonXoffOut(true);
    flow.EndUpdate();
    EXPECT_EQ(changes, 1);
    flow.EndUpdate();
    EXPECT_EQ(changes, 2);

    TSerFlowControl source;
    source.SetControlRts(TSerControlRts::rtsHandshake);
    flow.Assign(source);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(flow.ControlRts(), TSerControlRts::rtsHandshake);
    EXPECT_FALSE(flow.XonXoffIn());

    TSerEventChars chars;
    int charChanges = 0;
    chars.OnChange = [&](TSerPersistent *) { ++charChanges; };
    chars.SetXonChar(chars.XonChar()); // event characters notify even when unchanged
    EXPECT_EQ(charChanges, 1);

    EXPECT_THROW(flow.Assign(chars), std::invalid_argument);
}

TEST(SerComm, BaudrateAndUserBaudrateFollowEachOther)
{
    TSerComm comm;
    EXPECT_EQ(comm.Baudrate(), TSerBaudrate::br1200);
    comm.SetUserBaudrate(500000);
    EXPECT_EQ(comm.Baudrate(), TSerBaudrate::brUser);
    comm.SetBaudrate(TSerBaudrate::brUser);
    EXPECT_EQ(comm.UserBaudrate(), 500000);
    comm.SetBaudrate(TSerBaudrate::br9600);
    EXPECT_EQ(comm.UserBaudrate(), 0);
    comm.SetBaudrate(TSerBaudrate::brUser);
    EXPECT_EQ(comm.UserBaudrate(), 0);
}

TEST_F(TSerCommOpen, GuardedSettingsRefuseWhileOpenAndKeepTheirValue)
{
    FComm.Open();

    const std::string open = "Can't perform this operation while port is open";
    EXPECT_EQ(CommErrorOf([&] { FComm.SetDeviceName("COM%d"); }), open);
    EXPECT_EQ(FComm.DeviceName(), FPty.SlavePath());
    EXPECT_EQ(CommErrorOf([&] { FComm.SetPortNum(3); }), open);
    EXPECT_EQ(FComm.PortNum(), 0);
    EXPECT_EQ(CommErrorOf([&] { FComm.SetMonitorEvents({}); }), open);
    EXPECT_EQ(CommErrorOf([&] { FComm.SetUpdateDCB(false); }), open);
    EXPECT_TRUE(FComm.UpdateDCB());
    EXPECT_EQ(CommErrorOf([&] { FComm.SetDirectWrite(false); }), open);
    TSerBuffers buffers;
    buffers.SetReadSize(99);
    EXPECT_EQ(CommErrorOf([&] { FComm.SetBuffers(buffers); }), open);
    EXPECT_EQ(FComm.Buffers().ReadSize(), 4096);

    // A second Open refuses and leaves the open port working.
    EXPECT_EQ(CommErrorOf([&] { FComm.Open(); }), open);
    EXPECT_TRUE(FComm.Active());
    EXPECT_TRUE(FComm.WriteText("Z"));
    EXPECT_EQ(FPty.Read(1), "Z");
}

TEST_F(TSerCommOpen, BufferSizeWhileOpenRaisesYetIsKeptForTheNextOpen)
{
    FComm.Open();

    FComm.Buffers().SetReadSize(4096); // the value it has: nothing happens
    EXPECT_EQ(CommErrorOf([&] { FComm.Buffers().SetReadSize(8192); }),
              "Can't perform this operation while port is open");
    EXPECT_EQ(FComm.Buffers().ReadSize(), 8192);
    EXPECT_TRUE(FComm.Active());

    FComm.Buffers().SetWriteTimeout(50); // time-outs are plain values, also while open
    EXPECT_EQ(FComm.Buffers().WriteTimeout(), 50);
    FComm.Close();
    FComm.Open();
    EXPECT_EQ(FComm.Buffers().ReadSize(), 8192);
}

TEST_F(TSerCommOpen, RewritingAnEventCharacterRewritesTheLine)
{
    FComm.Open();
    SetLineTo9600(FPty.SlaveFd());

    FComm.EventChars().SetXonChar(FComm.EventChars().XonChar());
    EXPECT_EQ(ProbeLine(FPty.SlaveFd()).Speed, 500000u);

    SetLineTo9600(FPty.SlaveFd());
    TSerEventChars chars;
    chars.SetXonChar(0x11);
    chars.SetXoffChar(0x13);
    FComm.SetEventChars(chars);
    EXPECT_EQ(ProbeLine(FPty.SlaveFd()).Speed, 500000u);
}

TEST(SerFormat, FillsPlaceholdersAndRefusesMisfits)
{
    EXPECT_EQ(SerFormat("COM%d", {std::int64_t{3}}), "COM3");
    EXPECT_EQ(SerFormat("ttyUSB0", {std::int64_t{3}}), "ttyUSB0");
    EXPECT_EQ(SerFormat("100%% (%d), %s", {std::int64_t{-2}, std::string("text")}),
              "100% (-2), text");
    EXPECT_THROW(SerFormat("COM%s", {std::int64_t{3}}), std::runtime_error);
    EXPECT_THROW(SerFormat("COM%d%d", {std::int64_t{3}}), std::runtime_error);
    EXPECT_THROW(SerFormat("COM%x", {std::int64_t{3}}), std::runtime_error);
    EXPECT_THROW(SerFormat("COM%", {std::int64_t{3}}), std::runtime_error);
}

TEST(SerFormat, CommErrorsCarryTheCodeAndTheTrimmedSystemText)
{
    EXPECT_EQ(CommErrorOf([] { RaiseCommError("Error writing dcb (%d), %s", 22); }),
              "Error writing dcb (22), Invalid argument");
    EXPECT_EQ(CommErrorOf([] { RaiseCommError("Can't perform this operation", 22); }),
              "Can't perform this operation");
    EXPECT_EQ(SerTrimSystemText("The parameter is incorrect.\r\n"), "The parameter is incorrect");
    EXPECT_EQ(SerTrimSystemText(std::string(300, 'x')).size(), 256u);
    EXPECT_EQ(SerEscapePattern("/tmp/50%/x"), "/tmp/50%%/x");
}

TEST(SerDevicePath, StripsTheDeviceNamespaceAndCompletesBareNames)
{
    EXPECT_EQ(SerPortDeviceName("/tmp/50%/x"), "\\\\.\\\\/tmp/50%%/x");
    EXPECT_EQ(SerStripDeviceNamespace(".\\tty"), ".\\tty") << "a relative name stays whole";
    EXPECT_EQ(SerStripDeviceNamespace("\\tty"), "\\tty") << "no namespace without its dot";

    EXPECT_EQ(SerDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerDevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(SerDevicePath("\\\\.\\ttyUSB0"), "/dev/ttyUSB0");
    // What the setup window builds: the namespace prefix, then "\\.\\" and the port name.
    EXPECT_EQ(SerDevicePath("\\\\.\\\\\\.\\\\ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerDevicePath(SerPortDeviceName("/dev/pts/7")), "/dev/pts/7");
}
