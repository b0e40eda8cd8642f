// Enumerations, sets and records shared by the serial component and its platform layers.
#pragma once

#include <cstdint>
#include <initializer_list>

// A set of enumeration values, one bit per ordinal.
template <typename E> class TSerSet {
public:
    constexpr TSerSet() = default;
    constexpr TSerSet(std::initializer_list<E> values)
    {
        for (E v : values)
            FBits |= Bit(v);
    }

    constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
    constexpr void Include(E v) { FBits |= Bit(v); }
    constexpr void Exclude(E v) { FBits &= ~Bit(v); }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr std::uint32_t Bits() const { return FBits; }
    constexpr bool operator==(const TSerSet &) const = default;

private:
    static constexpr std::uint32_t Bit(E v) { return std::uint32_t{1} << static_cast<unsigned>(v); }
    std::uint32_t FBits = 0;
};

enum class TSerBaudrate {
    brUser,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum class TSerParity { paNone, paOdd, paEven, paMark, paSpace };
enum class TSerDatabits { db4, db5, db6, db7, db8 };
enum class TSerStopbits { sb1, sb15, sb2 };
enum class TSerControlDtr { dtrDisabled, dtrEnabled, dtrHandshake };
enum class TSerControlRts { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };
enum class TSerCommEvent {
    ceBreak,
    ceCts,
    ceDsr,
    ceError,
    ceRing,
    ceRlsd,
    ceRxChar,
    ceTxEmpty,
    ceRxFlag,
    cePErr,
    ceRx80Full,
    ceEvent1,
    ceEvent2
};
enum class TSerCommOption { coErrorChar, coNullStrip, coParityCheck };
enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

using TSerCommEvents = TSerSet<TSerCommEvent>;
using TSerCommOptions = TSerSet<TSerCommOption>;

// Event flags as the device reports them; the values are those of the Win32 serial API.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_PERR = 0x0200;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;
inline constexpr std::uint32_t EV_EVENT1 = 0x0800;
inline constexpr std::uint32_t EV_EVENT2 = 0x1000;

// Purge flags.
inline constexpr std::uint32_t PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// Line error flags reported in TSerStatistics::Errors.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;

// The line status and queue levels of an open port.
struct TSerStatistics {
    std::uint32_t Errors = 0; // line error flags (CE_*); reading them clears them
    std::uint32_t Status = 0; // flow-control hold bits of the port
    std::uint32_t InQue = 0;  // received bytes waiting to be read
    std::uint32_t OutQue = 0; // bytes still waiting to be sent
};
