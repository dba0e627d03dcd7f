#include "recipes/sure_probe.h"

#include <cmath>

namespace imrestore {

void fillSureProbe(double* probe, std::size_t count)
{
    for (std::size_t e = 0; e < count; ++e) {
        const double x = std::sin(static_cast<double>(e + 1) * 12.9898 + 78.233) * 43758.5453;
        probe[e] = x - std::floor(x) >= 0.5 ? 1.0 : -1.0;
    }
}

} // namespace imrestore
