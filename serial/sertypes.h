// Enumerations, sets and records shared by the serial component and its platform layers.
#pragma once

#include <cstdint>
#include <initializer_list>

// A set of enumeration values, one bit per ordinal.
template <typename E> class TSerSet {
public:
    constexpr TSerSet() = default;
    constexpr TSerSet(std::initializer_list<E> Values)
    {
        for (E v : Values)
            FBits |= Bit(v);
    }

    constexpr bool Contains(E Value) const { return (FBits & Bit(Value)) != 0; }
    constexpr void Include(E Value) { FBits |= Bit(Value); }
    constexpr void Exclude(E Value) { FBits &= ~Bit(Value); }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr std::uint32_t Bits() const { return FBits; }
    constexpr bool operator==(const TSerSet &) const = default;

private:
    static constexpr std::uint32_t Bit(E Value)
    {
        return std::uint32_t{1} << static_cast<unsigned>(Value);
    }
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

// The device's event flags, purge flags and line error flags. The values are those of the Win32
// serial API, whose <windows.h> defines the API's own names (EV_RXCHAR, PURGE_RXCLEAR, CE_FRAME,
// ...) as macros; ours live in namespaces under names of their own, so that no include order
// can break them.
namespace SerEv {
inline constexpr std::uint32_t RxChar = 0x0001;
inline constexpr std::uint32_t RxFlag = 0x0002;
inline constexpr std::uint32_t TxEmpty = 0x0004;
inline constexpr std::uint32_t Cts = 0x0008;
inline constexpr std::uint32_t Dsr = 0x0010;
inline constexpr std::uint32_t Rlsd = 0x0020;
inline constexpr std::uint32_t Break = 0x0040;
inline constexpr std::uint32_t Err = 0x0080;
inline constexpr std::uint32_t Ring = 0x0100;
inline constexpr std::uint32_t PErr = 0x0200;
inline constexpr std::uint32_t Rx80Full = 0x0400;
inline constexpr std::uint32_t Event1 = 0x0800;
inline constexpr std::uint32_t Event2 = 0x1000;
} // namespace SerEv

namespace SerPurge {
inline constexpr std::uint32_t TxAbort = 0x0001;
inline constexpr std::uint32_t RxAbort = 0x0002;
inline constexpr std::uint32_t TxClear = 0x0004;
inline constexpr std::uint32_t RxClear = 0x0008;
} // namespace SerPurge

// Reported in TSerStatistics::Errors.
namespace SerLineError {
inline constexpr std::uint32_t RxOver = 0x0001;
inline constexpr std::uint32_t Overrun = 0x0002;
inline constexpr std::uint32_t RxParity = 0x0004;
inline constexpr std::uint32_t Frame = 0x0008;
inline constexpr std::uint32_t Break = 0x0010;
} // namespace SerLineError

// The line status and queue levels of an open port.
struct TSerStatistics {
    std::uint32_t Errors = 0; // line error flags (CE_*); reading them clears them
    std::uint32_t Status = 0; // flow-control hold bits of the port
    std::uint32_t InQue = 0;  // received bytes waiting to be read
    std::uint32_t OutQue = 0; // bytes still waiting to be sent
};
