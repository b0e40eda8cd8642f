// The bytes a loader run sends: the probe and command bytes of discovery, and the 34-byte
// frames in which every boot loader command travels to the unit.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The dongle's line rate, bits per second.
inline constexpr int DongleBitRate = 500000;

// Discovery: the PC sends the probe, the dongle answers with a line, the PC then sends the
// command that hands the line over to the unit's boot loader. None of these is framed.
inline constexpr char ProbeByte = 'N';
inline constexpr std::string_view ProbeAnswer = "IWRX";
inline constexpr char LoaderCommandByte = 'Z';

// A frame: start byte, payload field size, payload, zero fill up to the field size. The size
// byte is the field's size, the same in every frame, not the payload's own length.
inline constexpr std::uint8_t FrameStartByte = 68; // "D"
inline constexpr std::uint8_t FramePayloadFieldSize = 32;
inline constexpr int FrameSize = 2 + FramePayloadFieldSize;

// The EEPROM image the program writes: one page holding the settings block.
inline constexpr int SettingsBlockSize = 32;
inline constexpr int EepromPageSize = 32;
inline constexpr int PageAddressBase = 5; // page address = page index * page size + 5
inline constexpr int BlockDataSize = 16;  // each block frame carries half a page

// The two settings and their ranges.
inline constexpr int ZnIdMin = 1;
inline constexpr int ZnIdMax = 4;
inline constexpr int SecondValueMin = 0;
inline constexpr int SecondValueMax = 31;

using TSettingsBlock = std::array<std::uint8_t, SettingsBlockSize>;

// The block for the two settings: the second value, the ZN ID, then 255 in every unused byte.
// Only the low 8 bits of each value are taken.
TSettingsBlock MakeSettingsBlock(int SecondValue, int ZnId);

// The two-letter commands at the start of each payload.
inline constexpr std::string_view PageStartCommand = "SN";
inline constexpr std::string_view BlockCommand = "SB";
inline constexpr std::string_view PageAddressCommand = "SE";
inline constexpr std::string_view FinishCommand = "SZ";

// The whole frame for Payload: nothing is escaped, the field is filled with zero bytes.
// Raises std::invalid_argument for a payload longer than the field.
std::string BuildFrame(std::string_view Payload);

std::string PageStartPayload();

// "SB", the offset (0 or 16), then the 16 bytes of Page from Offset on. Page must hold at
// least Offset + 16 bytes.
std::string BlockPayload(const std::uint8_t *Page, int Offset);

// "SE" and the page's EEPROM address, low byte first.
std::string PageAddressPayload(int PageIndex, int PageSize);

std::string FinishPayload();
