#include "frames.h"

#include <stdexcept>

std::string BuildFrame(std::string_view Payload)
{
    if (Payload.size() > FramePayloadFieldSize)
        throw std::invalid_argument("Loader payload longer than its frame");
    std::string Frame;
    Frame.reserve(FrameSize);
    Frame += static_cast<char>(FrameStartByte);
    Frame += static_cast<char>(FramePayloadFieldSize);
    Frame += Payload;
    Frame.resize(FrameSize, '\0');
    return Frame;
}

std::string PageStartPayload()
{
    return std::string(PageStartCommand);
}

std::string BlockPayload(const std::uint8_t *Page, int Offset)
{
    std::string Payload(BlockCommand);
    Payload += static_cast<char>(Offset);
    Payload.append(reinterpret_cast<const char *>(Page + Offset), BlockDataSize);
    return Payload;
}

std::string PageAddressPayload(int PageIndex, int PageSize)
{
    const int Address = PageIndex * PageSize + PageAddressBase;
    std::string Payload(PageAddressCommand);
    Payload += static_cast<char>(Address & 0xFF);
    Payload += static_cast<char>((Address >> 8) & 0xFF);
    return Payload;
}

std::string FinishPayload()
{
    return std::string(FinishCommand);
}
