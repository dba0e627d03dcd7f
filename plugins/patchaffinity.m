% PATCHAFFINITY  Sparse symmetric nonlocal-means affinity of an image.
%
%   W = patchaffinity(I, H)
%   W = patchaffinity(I, H, P, T)
%
%   Returns the n-by-n sparse matrix (n = numel(I)) of nonlocal-means weights
%   between every pixel and every pixel of its (2T+1)-by-(2T+1) search window
%   (cut at the image border):
%     W(i, j) = exp(-sum_e G(e) * (patch_i(e) - patch_j(e))^2 / (2*H^2)),
%   with patches of (2P+1)-by-(2P+1) pixels, G a Gaussian of standard
%   deviation P/2 over the patch offsets normalised to sum 1, and W(i, i) = 1.
%   Patches reaching over the border read the image mirrored at its border
%   pixels. W is exactly symmetric; pixel i is I(i), so column i of W,
%   reshaped to size(I), shows pixel i's weights as an image. With P = 0 a
%   patch is one pixel: W(i, j) = exp(-(I(i) - I(j))^2 / (2*H^2)).
%
%   Arguments:
%     I   real double M-by-N image.
%     H   filtering parameter, finite and not 0.
%     P   patch half-size, 0 <= P < min(M, N) (default 3).
%     T   search half-width, T >= 0 (default 6).
%   P and T are truncated toward zero. W must be assigned: one output is required.
%
%   The columns are filled on as many threads as the machine has cores (or
%   the number in the environment variable IMRESTORE_THREADS); W does not
%   depend on it.
%
%   Example:
%     I = double(imread('cameraman.png')) / 255;    % any grey-level image
%     I = I(1:128, 1:128);
%     W = patchaffinity(I, 0.1);
%     i = sub2ind(size(I), 64, 40);
%     imagesc(reshape(full(W(:, i)), size(I))); axis image
%
%   See also PATCHGRAPH.
