#include "frames.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

// Bytes written as hex pairs, followed by Zeros zero bytes.
std::string Bytes(std::initializer_list<int> Head, int Fill = -1, int FillCount = 0, int Zeros = 0)
{
    std::string result;
    for (int byte : Head)
        result += static_cast<char>(byte);
    result.append(static_cast<std::size_t>(FillCount), static_cast<char>(Fill));
    result.append(static_cast<std::size_t>(Zeros), '\0');
    return result;
}

std::array<std::uint8_t, SettingsBlockSize> InitialSettingsBlock()
{
    std::array<std::uint8_t, SettingsBlockSize> block;
    block.fill(0xFF);
    block[0] = 0;
    block[1] = 1;
    return block;
}

} // namespace

TEST(LoaderFrames, RunForInitialSettingsBlockIsByteExact)
{
    const auto block = InitialSettingsBlock();
    EXPECT_EQ(BuildFrame(PageStartPayload()), Bytes({0x44, 0x20, 0x53, 0x4E}, 0, 0, 30));
    EXPECT_EQ(BuildFrame(BlockPayload(block.data(), 0)),
              Bytes({0x44, 0x20, 0x53, 0x42, 0x00, 0x00, 0x01}, 0xFF, 14, 13));
    EXPECT_EQ(BuildFrame(BlockPayload(block.data(), 16)),
              Bytes({0x44, 0x20, 0x53, 0x42, 0x10}, 0xFF, 16, 13));
    EXPECT_EQ(BuildFrame(PageAddressPayload(0, EepromPageSize)),
              Bytes({0x44, 0x20, 0x53, 0x45, 0x05, 0x00}, 0, 0, 28));
    EXPECT_EQ(BuildFrame(FinishPayload()), Bytes({0x44, 0x20, 0x53, 0x5A}, 0, 0, 30));
}

TEST(LoaderFrames, EveryFrameIsThirtyFourBytesAndNothingIsEscaped)
{
    for (const std::string &payload : {std::string(), std::string("SN"), std::string(32, '\xFF')})
        EXPECT_EQ(BuildFrame(payload).size(), 34u);

    std::array<std::uint8_t, SettingsBlockSize> page{};
    const std::array<std::uint8_t, 4> awkward{13, 33, 0, 255};
    for (std::size_t i = 0; i < page.size(); ++i)
        page[i] = awkward[i % awkward.size()];
    const std::string frame = BuildFrame(BlockPayload(page.data(), 16));
    EXPECT_EQ(frame.size(), 34u);
    EXPECT_EQ(frame.substr(5, 16), std::string(reinterpret_cast<const char *>(&page[16]), 16));
}

TEST(LoaderFrames, PageAddressIsIndexTimesSizePlusFiveLowByteFirst)
{
    EXPECT_EQ(PageAddressPayload(0, EepromPageSize), Bytes({83, 69, 5, 0}));
    EXPECT_EQ(PageAddressPayload(1, EepromPageSize), Bytes({83, 69, 37, 0}));
    EXPECT_EQ(PageAddressPayload(10, EepromPageSize), Bytes({83, 69, 0x45, 0x01}));
}

TEST(LoaderFrames, PayloadLongerThanTheFieldIsRefused)
{
    EXPECT_THROW(BuildFrame(std::string(33, 'x')), std::invalid_argument);
}
