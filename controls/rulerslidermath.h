#pragma once

// Arithmetic that the slider's value logic, layout and painting share.

#include <algorithm>
#include <climits>
#include <cmath>

namespace SliderMath {

// Positions round halves to the even neighbour (the default FE_TONEAREST mode).
inline long long RoundHalfEven(double Value)
{
    return static_cast<long long>(std::nearbyint(Value));
}

inline int ClampToInt(long long Value)
{
    return static_cast<int>(std::clamp<long long>(Value, INT_MIN, INT_MAX));
}

} // namespace SliderMath
