// Bit-level approximations of exp and sqrt used by the graph plug-ins.
#pragma once

#include <cstdint>
#include <cstring>

namespace imrestore {

// Single-precision square root as x·y, where y approximates 1/√x by the
// 0x5F3759DF estimate refined with two Newton steps. Every operation,
// constants included, is done in single precision.
inline float fastSqrt(float x)
{
    std::int32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    bits = 0x5F3759DF - (bits >> 1);
    float y;
    std::memcpy(&y, &bits, sizeof y);
    const float half = 0.5f;
    const float threeHalves = 1.5f;
    y = y * (threeHalves - half * x * y * y);
    y = y * (threeHalves - half * x * y * y);
    return x * y;
}

// Schraudolph's approximation of e^x, rounded to single precision.
// The double 1072632447 + 2^20/ln2 · x, truncated to 32 bits, becomes the
// upper half of a double's bit pattern. Below x ≈ −709.05 (and for a NaN
// argument) that pattern would be negative or NaN; the weight is 0 there.
// Above the 32-bit range the integer saturates instead of overflowing.
inline float fastExp(double x)
{
    const double t = 1072632447.0 + 1512775.3951951857 * x;
    // Written with selects rather than branches so that loops over it vectorise.
    const double clamped = !(t >= 0.0) ? 0.0 : (t < 2147483647.0 ? t : 2147483647.0);
    const std::uint64_t pattern = static_cast<std::uint64_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped)))
                                  << 32;
    double value;
    std::memcpy(&value, &pattern, sizeof value);
    return t >= 0.0 ? static_cast<float>(value) : 0.0f;
}

} // namespace imrestore
