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

%!shared h4, h8
%! h4 = [1+sqrt(3), 3+sqrt(3), 3-sqrt(3), 1-sqrt(3)] / (4*sqrt(2));
%! h8 = [0.2303778133088964 0.7148465705529154 0.6308807679298587 -0.0279837694168599 ...
%!       -0.1870348117190931 0.0308413818355607 0.0328830116668852 -0.0105974017850690];

%!test
%! ## perfect reconstruction, vectors and images, default and smaller L
%! for h = {[1 1]/sqrt(2), h4, h8}
%!   for x = {rand(1, 96), rand(96, 1), rand(64, 48), rand(32, 16)}
%!     X = x{1};
%!     [y, L] = waveanalyze(X, h{1});
%!     assert(size(y), size(X));
%!     assert(wavesynth(y, h{1}, L), X, 1e-12);
%!     y1 = waveanalyze(X, h{1}, 1);
%!     assert(wavesynth(y1, h{1}, 1), X, 1e-12);
%!   end
%! end

%!error <There are at least 2 input parameters required!> wavesynth(rand(4))
%!error <The matrix column dimension must be of size n\*2\^\(L\)> wavesynth(rand(16, 12), h4, 3)
%!error <even length of at least 2> wavesynth(rand(8), [1 2 3])

%!demo
%! h = [1+sqrt(3), 3+sqrt(3), 3-sqrt(3), 1-sqrt(3)] / (4*sqrt(2));
%! img = imrestore_sample();
%! [y, L] = waveanalyze(img, h);
%! y(abs(y) < 0.05) = 0;                          % keep the large coefficients
%! imshow([img wavesynth(y, h, L)]);
%! title(sprintf('%.0f%% of the coefficients kept', 100 * nnz(y) / numel(y)));
