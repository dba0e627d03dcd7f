// The probe of the risk estimates: signs +1 and −1 in a fixed pseudo-random
// pattern, the same at every call.
#pragma once

#include <cstddef>

namespace imrestore {

// probe[e] = 2·(x − floor(x) ≥ 0.5) − 1 with x = sin((e + 1)·12.9898 + 78.233)·43758.5453.
void fillSureProbe(double* probe, std::size_t count);

} // namespace imrestore
