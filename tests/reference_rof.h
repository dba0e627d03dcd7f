// A literal Gauss–Seidel sweep of the ROF denoiser, pixel by pixel in its
// order with every term written out, for comparison with the fast one.
#pragma once

#include "tv/rof_denoise.h"

namespace imrestore {

void referenceGaussSeidelSweep(RofFields& s, double mu, double lambda);

} // namespace imrestore
