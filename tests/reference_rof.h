// A literal Gauss–Seidel sweep of the ROF denoiser, pixel by pixel in its
// order with every term written out, for comparison with the fast one.
#pragma once

#include "rof_denoise.h"

void referenceGaussSeidelSweep(RofFields& s, double mu, double lambda);
