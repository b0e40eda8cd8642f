#include "frames.h"

#include <stdexcept>

std::string BuildFrame(std::string_view Payload)
{
    if (Payload.size() > FramePayloadFieldSize)
        throw std::invalid_argument("Loader payload longer than its frame");
    std::string frame;
    frame.reserve(FrameSize);
    frame += static_cast<char>(FrameStartByte);
    frame += static_cast<char>(FramePayloadFieldSize);
    frame += Payload;
    frame.resize(FrameSize, '\0');
    return frame;
}

std::string PageStartPayload()
{
    return std::string(PageStartCommand);
}

std::string BlockPayload(const std::uint8_t *Page, int Offset)
{
    std::string payload(BlockCommand);
    payload += static_cast<char>(Offset);
    payload.append(reinterpret_cast<const char *>(Page + Offset), BlockDataSize);
    return payload;
}

std::string PageAddressPayload(int PageIndex, int PageSize)
{
    const int address = PageIndex * PageSize + PageAddressBase;
    std::string payload(PageAddressCommand);
    payload += static_cast<char>(address & 0xFF);
    payload += static_cast<char>((address >> 8) & 0xFF);
    return payload;
}

std::string FinishPayload()
{
    return std::string(FinishCommand);
}

TSettingsBlock MakeSettingsBlock(int SecondValue, int ZnId)
{
    TSettingsBlock block;
    block.fill(255);
    block[0] = static_cast<std::uint8_t>(SecondValue);
    block[1] = static_cast<std::uint8_t>(ZnId);
    return block;
}
