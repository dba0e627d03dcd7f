% PATCHGRAPH  Nonlocal weight graph of a grey-level image from patch similarity.
%
%   [W, NB, SPARE] = patchgraph(IMAGE, KERNEL, PARAMS)
%
%   For every pixel, compares the patch around it with the patch around every
%   pixel of its search window, turns each weighted patch distance D into the
%   weight exp(-D/h) (a fast approximation of it), keeps the 4-connected
%   neighbours if asked, then adds the best-matching window pixels while their
%   weight exceeds 0.001. Every link is entered in both pixels' lists; at the
%   end reverse links are aligned to the same slot and each pixel's weights
%   are normalised to sum 1.
%
%   Arguments (all single, real):
%     IMAGE   M-by-N grey-level image.
%     KERNEL  patchSide-by-patchSide weights of the patch positions in the
%             distance, e.g. a Gaussian.
%     PARAMS  [verbose rows cols patchSide windowSide nearest best h]
%               verbose     1 prints the computing time
%               rows, cols  M and N
%               patchSide   side of the patch (an even side s acts as s-1),
%                           at most 46340
%               windowSide  side of the search window (likewise)
%               nearest     0, or 4 to keep the 4-connected neighbours
%               best        number of best-matching neighbours per pixel,
%                           at most the w^2-1 other pixels of a window of
%                           (odd) side w
%               h           filtering parameter (> 0); for noise of
%                           standard deviation SIGMA, 2*SIGMA^2*sum(KERNEL(:))
%                           (measured on photographs, see the README)
%             Entries 1 to 7 are truncated toward zero.
%
%   Results (K = nearest + best slots per pixel):
%     W      single N-by-M-by-2K. W(j+1, i+1, 2k+1) is the weight of slot k
%            of pixel (i, j) (0-based), W(j+1, i+1, 2k+2) its square root.
%     NB     int32 N-by-M-by-(2K+1). NB(j+1, i+1, 1) counts the slots filled
%            while building; NB(j+1, i+1, 2k+2) and NB(j+1, i+1, 2k+3) are the
%            0-based column and row of the neighbour in slot k. An empty slot
%            has weight 0 and names pixel (0, 0).
%     SPARE  single M-by-N-by-10 zeros.
%
%   The graph is laid out row by row (its first dimension runs along image
%   rows), as GRAPHSHRINK and GRAPHSMOOTH read it. patchgraph prints
%   "iNbNeigh= K, im2= ..., iw2= ..., ic1= ..." on every call.
%
%   The window weights are computed by as many threads as the machine has
%   cores, or by the number in the environment variable IMRESTORE_THREADS;
%   the graph does not depend on it.
%
%   Example:
%     img = single(imrestore_sample());
%     sigma = 0.05;                                    % noise level
%     f = img + sigma * randn(size(img), 'single');
%     [M, N] = size(f);
%     [x, y] = meshgrid(-2:2);
%     kernel = single(exp(-(x.^2 + y.^2) / 2));
%     h = 2 * sigma^2 * sum(kernel(:));                % measured: see README
%     [w, nb] = patchgraph(f, kernel, single([0 M N 5 11 4 10 h]));
%     % neighbours of pixel (row 40, column 60), 1-based:
%     cols = squeeze(nb(60, 40, 2:2:end)) + 1;
%     rows = squeeze(nb(60, 40, 3:2:end)) + 1;
%     weights = squeeze(w(60, 40, 1:2:end));
%
%   The sizes come from PARAMS. An image whose own shape contradicts them
%   (transposed, or colour) gives the warning imrestore:patchgraph:imageSize
%   or imageDimensions; warning('off', ID) silences it. Ctrl-C stops the
%   call at once. NLTVDENOISE and NLH1DENOISE do all of this for a
%   photograph of any class.
%
%   See also NLTVDENOISE, NLH1DENOISE, GRAPHSHRINK, GRAPHSMOOTH.

%!function img = scene(M, N)
%!  [x, y] = meshgrid(((1:N) - 0.5) / N, ((1:M) - 0.5) / M);
%!  img = 0.2 + 0.3 * x;
%!  img(((x - 0.6).^2 + (y - 0.4).^2) < 0.06) = 0.85;
%!  img = single(img + 0.04 * sin(37 * x + 11 * y) .* cos(23 * y));
%!endfunction

%!function y = fastexp(x)
%!  t = 1072632447 + 1512775.3951951857 * x;
%!  y = single(typecast(bitshift(uint64(fix(t)), 32), 'double'));
%!endfunction

%!function r = fastsqrt(x)
%!  x = single(x);
%!  y = typecast(int32(1597463007) - bitshift(typecast(x, 'int32'), -1), 'single');
%!  y = y * (single(1.5) - single(0.5) * x * y * y);
%!  y = y * (single(1.5) - single(0.5) * x * y * y);
%!  r = x * y;
%!endfunction

%!shared img, kernel, M, N, params
%! M = 24; N = 31;
%! img = scene(M, N);
%! [a, b] = meshgrid(-2:2);
%! kernel = single(exp(-(a.^2 + b.^2) / 2));
%! params = single([0 M N 5 11 4 10 0.05]);

%!test
%! [w, nb, spare] = patchgraph(img, kernel, params);
%! assert(class(w), 'single');
%! assert(size(w), [N M 28]);
%! assert(class(nb), 'int32');
%! assert(size(nb), [N M 29]);
%! assert(spare, zeros(M, N, 10, 'single'));
%! assert(isreal(w) && isreal(nb));

%!test
%! out = evalc('[w, nb] = patchgraph(img, kernel, params);');
%! assert(out, sprintf('iNbNeigh= 14, im2= 2, iw2= 5, ic1= 7\n'));

%!test
%! verbose = params; verbose(1) = 1.5;
%! out = evalc('w = patchgraph(img, kernel, verbose);');
%! assert(! isempty(regexp(out, ['^iNbNeigh= 14, im2= 2, iw2= 5, ic1= 7\n\n' ...
%!                              'Computing Time for Weights= \d+\.\d{3} sec\n \n$'], 'once')));

%!test
%! ## arguments are never written
%! img0 = img + 0; kernel0 = kernel + 0; params0 = params + 0;
%! patchgraph(img, kernel, params);
%! assert(img, img0); assert(kernel, kernel0); assert(params, params0);

%!test
%! ## [0 0 1] with one-pixel patches: (0,0)-(0,1) at fastExp(0), (0,1)-(0,2) at fastExp(-1)
%! [w, nb] = patchgraph(single([0 0 1]), single(1), single([0 1 3 1 3 0 2 1]));
%! same = fastexp(0); step = fastexp(-1); s = same + step;
%! assert(nb(:, 1, 1), int32([1; 2; 1]));
%! assert(nb(:, 1, 2:5), reshape(int32([1 0 0; 0 0 0; 0 2 1; 0 0 0]'), [3 1 4]));
%! assert(w(:, 1, 1), [1; same / s; 0]);
%! assert(w(:, 1, 3), [0; step / s; 1]);
%! assert(w(:, 1, 2), [fastsqrt(1); fastsqrt(same / s); 0]);
%! assert(w(:, 1, 4), [0; fastsqrt(step / s); fastsqrt(1)]);

%!test
%! ## nearest 4 and best 0: every pixel keeps its 4-connected neighbours;
%! ## in the border bands (ic1 = 2) clipped patches weigh 0 on their clipped side
%! [w, nb] = patchgraph(img, kernel, single([0 M N 3 3 4 0 0.05]));
%! assert(all(nb(:, :, 1)(:) == 4));
%! filled = sum(w(:, :, 1:2:end) > 0, 3);
%! assert(filled(3:end-2, 3:end-2), 4 * ones(N - 4, M - 4));
%! assert(filled(2, 3:end-2), 3 * ones(1, M - 4));

%!test
%! ## K = 0: no weight planes, a count plane of zeros
%! [w, nb] = patchgraph(img, kernel, single([0 M N 5 11 0 0 0.05]));
%! assert(size(w), [N M 0]);
%! assert(nb, zeros(N, M, 'int32'));

%!test
%! ## a finished graph: mutual links, no self or duplicate links, unit sums
%! for nearest = [0 4]
%!   K = nearest + 10;
%!   [w, nb] = patchgraph(img, kernel, single([0 M N 5 11 nearest 10 0.02]));
%!   W = double(w(:, :, 1:2:end)); R = double(w(:, :, 2:2:end));
%!   C = double(nb(:, :, 2:2:end)); Rw = double(nb(:, :, 3:2:end));
%!   filled = ! (W == 0 & R == 0 & C == 0 & Rw == 0);
%!   assert(all(double(nb(:, :, 1))(:) >= sum(filled, 3)(:)));
%!   assert(all(double(nb(:, :, 1))(:) <= K));
%!   [jj, ii] = ndgrid(0:N-1, 0:M-1);
%!   for k = 1:K
%!     f = filled(:, :, k);
%!     assert(! any(f(:) & C(:, :, k)(:) == jj(:) & Rw(:, :, k)(:) == ii(:)));
%!     for q = k+1:K
%!       dup = f & filled(:, :, q) & C(:, :, k) == C(:, :, q) & Rw(:, :, k) == Rw(:, :, q);
%!       assert(! any(dup(:)));
%!     end
%!     partner = 1 + C(:, :, k) + N * Rw(:, :, k);
%!     mutual = false(N, M);
%!     for q = 1:K
%!       Cq = C(:, :, q); Rq = Rw(:, :, q); Fq = filled(:, :, q);
%!       mutual |= Fq(partner) & Cq(partner) == jj & Rq(partner) == ii;
%!     end
%!     check = f; check(1, 1) = false;
%!     assert(all(mutual(check)));
%!   end
%!   normalised = any(R > 0, 3);
%!   sums = sum(w(:, :, 1:2:end), 3);
%!   assert(sums(normalised), ones(nnz(normalised), 1, 'single'), 1e-5);
%!   assert(all(sums(! normalised) <= 0.001));
%! end

%!test
%! ## sizes come from the parameters, not from the image's dimensions
%! [w1, nb1] = patchgraph(img, kernel, params);
%! [w2, nb2] = patchgraph(img(:)', kernel(:), params);
%! assert(isequal(w1, w2) && isequal(nb1, nb2));

%!test
%! ## an image whose shape contradicts PARAMS warns (and is read as PARAMS says)
%! warning('error', 'imrestore:patchgraph:imageSize', 'local');
%! try
%!   evalc('patchgraph(img'', kernel, params);');
%!   assert(false);
%! catch err
%!   assert(err.identifier, 'imrestore:patchgraph:imageSize');
%!   assert(~isempty(strfind(err.message, 'Are rows and cols swapped?')));
%! end
%! warning('off', 'imrestore:patchgraph:imageSize', 'local');
%! assert(isequal(evalc('w1 = patchgraph(img'', kernel, params);'), ...
%!                evalc('w2 = patchgraph(reshape(img'', M, N), kernel, params);')));
%! assert(isequal(w1, w2));
%! warning('error', 'imrestore:patchgraph:imageSize', 'local');
%! assert(isequal(evalc('w3 = patchgraph(img(:), kernel, params);'), evalc('w4 = patchgraph(img, kernel, params);')));
%! assert(isequal(w3, w4));   % a vector of M*N values is fine

%!warning <convert a colour image to grey first> evalc('patchgraph(cat(3, img, img), kernel, params);');

%!error <patchgraph needs three arguments> patchgraph()
%!error id=imrestore:patchgraph:notEnoughInputs patchgraph(img, kernel)
%!error id=imrestore:patchgraph:tooManyInputs patchgraph(img, kernel, params, 1)
%!error id=imrestore:patchgraph:tooManyOutputs [a, b, c, d] = patchgraph(img, kernel, params);
%!error <IMAGE \(argument 1\) must be a real single> patchgraph(double(img), kernel, params)
%!error <IMAGE \(argument 1\)> patchgraph(complex(img), kernel, params)
%!error <IMAGE \(argument 1\)> patchgraph(img > 0.5, kernel, params)
%!error <KERNEL \(argument 2\)> patchgraph(img, int32(kernel), params)
%!error <PARAMS \(argument 3\)> patchgraph(img, kernel, double(params))
%!error <at least 8 elements> patchgraph(img, kernel, params(1:7))
%!error <PARAMS\(2\) \(rows\) must be finite> patchgraph(img, kernel, single([0 NaN N 5 11 4 10 0.05]))
%!error <PARAMS\(3\) \(cols\)> patchgraph(img, kernel, single([0 M Inf 5 11 4 10 0.05]))
%!error <PARAMS\(7\) \(best\)> patchgraph(img, kernel, single([0 M N 5 11 4 3e9 0.05]))
%!error <at least 1 by 1> patchgraph(img, kernel, single([0 0 N 1 1 0 10 0.05]))
%!error <patchSide \(0\) and windowSide> patchgraph(img, kernel, single([0 M N 0 11 4 10 0.05]))
%!error <windowSide \(0\)> patchgraph(img, kernel, single([0 M N 5 0 0 10 0.05]))
%!error <Number of nearest neighbors must be 0 or 4 !!!> patchgraph(img, kernel, single([0 M N 5 11 2 10 0.05]))
%!error <windowSide \(2\) must be at least 3> patchgraph(img, kernel, single([0 M N 5 2 4 10 0.05]))
%!error <best \(-1\) must not be negative> patchgraph(img, kernel, single([0 M N 5 11 4 -1 0.05]))
%!error <h \(0\) must be above 0> patchgraph(img, kernel, single([0 M N 5 11 4 10 0]))
%!error <must be above 0> patchgraph(img, kernel, single([0 M N 5 11 4 10 NaN]))
%!error <border width> patchgraph(img(1:6, :), kernel, single([0 6 N 5 11 4 10 0.05]))
%!error id=imrestore:patchgraph:inconsistentSizes patchgraph(img(:, 1:end-1), kernel, params)
%!error <patchSide\^2 = 25> patchgraph(img, kernel(1:4, :), params)
%!error patchgraph(img, kernel, single([0 M N 5 11 4 2e9 0.05]))

%!demo
%! img = single(imrestore_sample());
%! f = img + 0.05 * randn(size(img), 'single');
%! [M, N] = size(f);
%! [x, y] = meshgrid(-2:2);
%! kernel = single(exp(-(x.^2 + y.^2) / 2));
%! [w, nb] = patchgraph(f, kernel, single([0 M N 5 11 4 10 2*0.05^2*sum(kernel(:))]));
%! counts = reshape(sum(w(:, :, 1:2:end) > 0, 3), N, M)';
%! imagesc(counts); axis image; colorbar;
%! title('patchgraph: filled slots per pixel');
