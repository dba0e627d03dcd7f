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
%     H   filtering parameter, finite, at least 1e-150 in magnitude. For
%         nonlocal means, (W*F(:)) ./ sum(W, 2), of noise of standard
%         deviation SIGMA, H = 0.8*SIGMA (measured on photographs, see the
%         README).
%     P   patch half-size, 0 <= P < min(M, N) (default 3).
%     T   search half-width, T >= 0 (default 6).
%   P and T are truncated toward zero. W must be assigned: one output is required.
%
%   The columns are filled on as many threads as the machine has cores (or
%   the number in the environment variable IMRESTORE_THREADS); W does not
%   depend on it.
%
%   Example:
%     img = imrestore_sample();
%     I = img(1:128, 1:128);
%     sigma = 0.05;
%     noisy = I + sigma * randn(size(I));
%     W = patchaffinity(noisy, 0.8 * sigma);
%     u = reshape((W * noisy(:)) ./ sum(W, 2), size(I));   % nonlocal means
%     i = sub2ind(size(I), 64, 40);
%     imshow([noisy u reshape(full(W(:, i)), size(I))])
%
%   A colour image (more than two dimensions) is refused: compute one per
%   channel. Ctrl-C stops the call at once.
%
%   See also NLTVDENOISE, PATCHGRAPH.

%!shared I
%! randn('state', 4);
%! [x, y] = meshgrid(1:18, 1:14);
%! I = double(x > 8) + 0.1 * randn(14, 18);

%!test
%! ## defaults: patch radius 3, search radius 6
%! W = patchaffinity(I, 0.3);
%! n = numel(I);
%! assert(issparse(W) && isreal(W) && strcmp(class(W), 'double'));
%! assert(size(W), [n n]);
%! assert(isequal(W, W.'));
%! assert(full(diag(W)), ones(n, 1));
%! assert(nnz(W(:, sub2ind(size(I), 7, 9))), 169);
%! assert(nnz(W(:, 1)), 49);
%! assert(all(nonzeros(W) > 0 & nonzeros(W) <= 1));

%!test
%! ## search radius 0: the identity; a window over the whole image: dense
%! assert(isequal(patchaffinity(I, 0.3, 1, 0), speye(numel(I))));
%! assert(nnz(patchaffinity(I(1:6, 1:7), 0.3, 2, 20)), 42^2);

%!test
%! ## a constant image gives all ones; one-pixel patches compare pixel values
%! W = patchaffinity(0.7 * ones(5, 6), 0.1, 2, 2);
%! assert(all(nonzeros(W) == 1));
%! W = patchaffinity([0 0.5], 0.5, 0, 1);
%! assert(full(W), [1 exp(-0.5); exp(-0.5) 1]);

%!test
%! ## arguments are never written
%! I0 = I + 0;
%! W = patchaffinity(I, 0.3, 2, 3);
%! assert(isequal(I, I0));

%!error <At least one inputs required.> W = patchaffinity()
%!error <Too many inputs required.> W = patchaffinity(I, 1, 1, 1, 1, 1, 1)
%!error <One output required.> patchaffinity(I, 0.3)
%!error <One output required.> [A, B] = patchaffinity(I, 0.3)
%!error <filtering parameter h> W = patchaffinity(I)
%!error <real, full, non-empty double> W = patchaffinity(single(I), 0.3)
%!error <real, full, non-empty double> W = patchaffinity(sparse(I), 0.3)
%!error <H \(argument 2\) must not be 0> W = patchaffinity(I, 0)
%!error <must not be negative> W = patchaffinity(I, 0.3, -1)
%!error <smaller than both image sizes> W = patchaffinity(I(1:3, :), 0.3, 3)
%!error <SEARCHRADIUS \(argument 4\) must be finite> W = patchaffinity(I, 0.3, 1, NaN)

%!demo
%! img = imrestore_sample(); I = img(1:128, 1:128);
%! W = patchaffinity(I, 0.1);
%! i = sub2ind(size(I), 64, 40);
%! imagesc(reshape(full(W(:, i)), size(I))); axis image; colorbar;
%! title('affinities of pixel (64, 40)');
