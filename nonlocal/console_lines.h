// The console lines of the graph plug-ins, which the nonlocal denoisers'
// recipe prints too: printf formats, each written once.
#pragma once

namespace imrestore {

// patchgraph's diagnostic line: K, im2, iw2, ic1.
constexpr const char* kGraphSizesLine = "iNbNeigh= %i, im2= %i, iw2= %i, ic1= %i\n";
// The timing lines (seconds of processor time).
constexpr const char* kGraphTimingLine = "\nComputing Time for Weights= %.3f sec\n \n";
constexpr const char* kH1TimingLine = "\nComputing Time for NL-H1= %.3f sec\n \n";
constexpr const char* kTvTimingLine = "\nComputing Time for NL-TV with Split-Bregman= %.3f sec\n \n";
// graphshrink's progress line: the root-mean-square change of u in an iteration.
constexpr const char* kTvProgressLine = "|u-uold|= %.6f\n";

} // namespace imrestore
