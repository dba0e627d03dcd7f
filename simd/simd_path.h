// Which vector instructions the kernels run on.
#pragma once

namespace imrestore {

enum class SimdPath { none = 0, avx2 = 1, avx512 = 2 };

// The widest path this processor and this build offer: AVX-512 (AVX-512F),
// AVX2, or none (plain C++, every processor). Found once, then remembered.
SimdPath bestSimdPath();

// The path for one call: the best path, capped by the environment variable
// IMRESTORE_SIMD ("avx512", "avx2" or "none"), read on every call. A value
// naming instructions the processor lacks, or an unknown value, leaves the
// best path: a cap never asks for an instruction that is not there.
SimdPath simdPath();

// "avx512", "avx2" or "none".
const char* simdPathName(SimdPath path);

} // namespace imrestore
