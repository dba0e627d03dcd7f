% WAVEANALYZE  Periodic discrete wavelet transform of a signal or image.
%
%   [Y, L] = waveanalyze(X, H)
%   [Y, L] = waveanalyze(X, H, L)
%
%   Transforms X over L levels with the two-channel filter bank of the
%   scaling (low-pass) filter H, with periodic extension at the ends. Each
%   level filters the rows and then the columns of the top-left block left by
%   the previous level (only the single row or column of a vector), keeping
%   every second output, and replaces the block by four quadrants:
%
%     +-------------+-------------+
%     | approxima-  | high along  |    top left: low-pass along rows and
%     | tion (next  | rows        |    columns, transformed again by the
%     | level)      |             |    next level; the other three keep
%     +-------------+-------------+    the details of this level.
%     | high along  | high along  |
%     | columns     | both        |
%     +-------------+-------------+
%
%   A signal of length N ends as [approximation (N/2^L values) | details of
%   level L | ... | details of level 1 (N/2 values)], in its own orientation.
%
%   Arguments:
%     X   real double M-by-N signal (row or column vector) or image.
%     H   scaling filter, a real double vector of any length (e.g. the Haar
%         filter [1 1]/sqrt(2) or an orthonormal Daubechies filter).
%     L   number of levels, a non-negative number truncated toward zero.
%         Every dimension above 1 must be a multiple of 2^L. Default: the
%         greatest L at which every level still halves an even length (for
%         a vector its length, for an image the smaller of the row and
%         column counts); an error when that is 0. L = 0 returns a copy of X,
%         and so does a 1-by-1 X with any L.
%
%   Results:
%     Y   the transform, the same size as X.
%     L   the number of levels used.
%
%   WAVESYNTH with the same H and L rebuilds X up to rounding when H is
%   orthonormal to its even shifts (Haar, Daubechies).
%
%   Example (denoising by thresholding the detail coefficients):
%     h = [1+sqrt(3), 3+sqrt(3), 3-sqrt(3), 1-sqrt(3)] / (4*sqrt(2));  % Daubechies 4
%     img = double(imread('cameraman.png')) / 255;
%     noisy = img + 0.05 * randn(size(img));
%     [y, L] = waveanalyze(noisy, h, 3);
%     approx = false(size(y)); approx(1:end/2^L, 1:end/2^L) = true;
%     detail = ~approx & abs(y) < 0.15;                  % hard threshold
%     y(detail) = 0;
%     u = wavesynth(y, h, L);
%     imshow([noisy u])
%
%   See also WAVESYNTH.
