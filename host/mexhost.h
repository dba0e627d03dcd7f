// The host interface every gateway includes: the real mex.h when building for
// GNU Octave or MATLAB, our stand-in host otherwise.
#pragma once

#if defined(IMRESTORE_STANDIN_HOST)
#include "standin/mex.h"
#else
#include <mex.h>
#endif
