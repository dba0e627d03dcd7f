% WAVESYNTH  Inverse periodic discrete wavelet transform.
%
%   [X, L] = wavesynth(Y, H)
%   [X, L] = wavesynth(Y, H, L)
%
%   Rebuilds a signal or image from its L-level transform Y in the layout
%   WAVEANALYZE writes (approximation top left, detail quadrants per level),
%   with the same scaling filter H. Each synthesis step is the transpose of
%   the analysis step, and the levels run from the coarsest to the finest,
%   columns before rows: for a filter orthonormal to its even shifts (Haar,
%   Daubechies) wavesynth(waveanalyze(X, H, L), H, L) equals X up to rounding.
%
%   Arguments:
%     Y   real double M-by-N transform.
%     H   the scaling filter of the transform: a real double vector of even
%         length, at least 2.
%     L   number of levels, as in WAVEANALYZE (same default and rules). L = 0
%         returns a copy of Y, and so does a 1-by-1 Y with any L.
%
%   Results:
%     X   the signal or image, the same size as Y.
%     L   the number of levels used.
%
%   Example:
%     h = [1 1] / sqrt(2);
%     [y, L] = waveanalyze(1:8, h);      % y = [12.73 -5.66 -2 -2 -0.71 -0.71 -0.71 -0.71]
%     x = wavesynth(y, h, L)             % 1 2 3 4 5 6 7 8
%
%   See also WAVEANALYZE.
