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
%     img = imrestore_sample();
%     sigma = 0.05;
%     noisy = img + sigma * randn(size(img));
%     [y, L] = waveanalyze(noisy, h, 3);
%     detail = true(size(y)); detail(1:end/2^L, 1:end/2^L) = false;
%     y(detail) = sign(y(detail)) .* max(abs(y(detail)) - 1.25 * sigma, 0);  % soft threshold
%     u = wavesynth(y, h, L);
%     imshow([noisy u])
%
%   See also WAVESYNTH.

%!shared h4, h8
%! h4 = [1+sqrt(3), 3+sqrt(3), 3-sqrt(3), 1-sqrt(3)] / (4*sqrt(2));
%! h8 = [0.2303778133088964 0.7148465705529154 0.6308807679298587 -0.0279837694168599 ...
%!       -0.1870348117190931 0.0308413818355607 0.0328830116668852 -0.0105974017850690];

%!test
%! ## the Haar examples
%! h = [1 1] / sqrt(2);
%! [y, L] = waveanalyze([1 2 3 4], h, 2);
%! assert(y, [5 -2 -1/sqrt(2) -1/sqrt(2)], 1e-14);
%! assert(L, 2);
%! assert(waveanalyze([1 2; 3 4], h, 1), [5 -1; -2 0], 1e-14);
%! assert(wavesynth([5 -1; -2 0], h, 1), [1 2; 3 4], 1e-14);

%!test
%! ## row and column vectors give the same numbers; the filter's orientation does not matter
%! s = rand(1, 40);
%! assert(waveanalyze(s, h4, 3), waveanalyze(s', h4', 3)');
%! [~, L] = waveanalyze(s', h4);
%! assert(L, 3);

%!test
%! ## L = 0 copies in both directions; the arguments are never written
%! X = rand(8, 8); X0 = X + 0;
%! assert(waveanalyze(X, h4, 0), X);
%! assert(wavesynth(X, h4, 0), X);
%! waveanalyze(X, h4, 2); wavesynth(X, h4, 2);
%! assert(isequal(X, X0));

%!error <There are at most 3 input parameters allowed!> waveanalyze(1, 2, 3, 4)
%!error <The number of levels, L, must be a non-negative integer> waveanalyze(rand(8), h4, -1)
%!error <Maximum number of levels is zero; no decomposition can be performed!> waveanalyze(rand(3, 8), h4)
%!error <The matrix row dimension must be of size m\*2\^\(L\)> waveanalyze(rand(12, 8), h4, 3)
%!error <The matrix row dimension> waveanalyze(rand(8), h4, 1024)
%!error <real, full double matrix> waveanalyze(single(rand(8)), h4)

%!demo
%! h = [1+sqrt(3), 3+sqrt(3), 3-sqrt(3), 1-sqrt(3)] / (4*sqrt(2));
%! y = waveanalyze(imrestore_sample(), h, 3);
%! imagesc(log10(abs(y) + 1e-3)); axis image; colorbar;
%! title('log10 |coefficients|, 3 levels of Daubechies 4');
