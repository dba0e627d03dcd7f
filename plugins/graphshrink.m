% GRAPHSHRINK  Nonlocal total-variation restoration over a weight graph.
%
%   [U, D, B, SPARE] = graphshrink(U0, D0, B0, F, W, NB, PARAMS)
%
%   Restores the image F by nonlocal total-variation regularisation over the
%   weight graph (W, NB) that PATCHGRAPH returns, solved by split Bregman
%   iteration. Each outer iteration makes two in-place Gauss-Seidel sweeps
%   on U, then shrinks the nonlocal gradient of U plus B into D (threshold
%   1/lambda) and updates B. There is no stopping test: PARAMS gives the
%   number of outer iterations.
%
%   Arguments (all single and real except NB):
%     U0      M-by-N starting image, usually F.
%     D0, B0  split and Bregman variables, N-by-M-by-K, usually zeros.
%     F       M-by-N data image.
%     W, NB   weight and neighbour arrays of a PATCHGRAPH graph with K slots
%             per pixel (NB is int32).
%     PARAMS  [verbose rows cols patchSide windowSide K lambda mu nOuter]
%               verbose     1 prints one line "|u-uold|= ..." per outer
%                           iteration (the root-mean-square change of U) and
%                           the computing time
%               rows, cols  M and N
%               patchSide, windowSide  as given to PATCHGRAPH (not used)
%               K           slots per pixel (PATCHGRAPH prints it as iNbNeigh)
%               lambda      weight of the split penalty (>= 0; 0 leaves D
%                           at 0); 1 for images in [0, 1] (1/255 for [0, 255])
%               mu          weight of the data term (> 0): larger mu, closer to F;
%                           0.4/SIGMA for noise of standard deviation SIGMA
%                           (15 outer iterations), measured on photographs
%               nOuter      number of outer iterations
%             Entries 1 to 6 and 9 are truncated toward zero.
%
%   Results:
%     U       single M-by-N restored image.
%     D, B    single N-by-M-by-K final split and Bregman variables. Passed
%             back with U as U0, D0, B0 they continue the iteration exactly
%             where it stopped: two calls of 10 iterations give the results
%             of one call of 20.
%     SPARE   single M-by-N-by-10 zeros.
%
%   The divergence and the shrink run on a second thread beside the sweeps
%   (one thread when IMRESTORE_THREADS is 1); the results do not depend on it.
%
%   Example:
%     img = single(imrestore_sample());
%     sigma = 0.05;
%     f = img + sigma * randn(size(img), 'single');
%     [M, N] = size(f);
%     [x, y] = meshgrid(-2:2);
%     kernel = single(exp(-(x.^2 + y.^2) / 2));
%     [w, nb] = patchgraph(f, kernel, single([0 M N 5 11 4 10 2*sigma^2*sum(kernel(:))]));
%     K = 14;
%     z = zeros(N, M, K, 'single');
%     P = single([0 M N 5 11 K 1 0.4/sigma 10]);       % lambda 1, mu 0.4/sigma
%     [u, d, b] = graphshrink(f, z, z, f, w, nb, P);
%     [u, d, b] = graphshrink(u, d, b, f, w, nb, P);   % 10 more iterations
%     imshow([f u])
%
%   The sizes come from PARAMS. An argument whose own shape contradicts
%   them (a transposed or colour image, graph arrays that are not
%   N-by-M-by-planes) gives the warning imrestore:graphshrink:imageSize,
%   imageDimensions, graphLayout or planeCount; warning('off', ID)
%   silences it. Ctrl-C stops the call at once. NLTVDENOISE does all of this
%   for a photograph of any class.
%
%   See also NLTVDENOISE, PATCHGRAPH, GRAPHSMOOTH.

%!function img = scene(M, N)
%!  [x, y] = meshgrid(((1:N) - 0.5) / N, ((1:M) - 0.5) / M);
%!  img = 0.2 + 0.5 * (x > 0.5);
%!  img(((x - 0.3).^2 + (y - 0.4).^2) < 0.04) = 0.9;
%!  img = single(img);
%!endfunction

%!function p = psnr1(u, clean)
%!  p = 10 * log10(1 / mean((double(u(:)) - double(clean(:))).^2));
%!endfunction

%!function [w, nb] = pairgraph()
%!  ## two pixels of one row, each naming the other with weight 1 and root 1
%!  w = ones(2, 1, 2, 'single');
%!  nb = int32(cat(3, [1; 1], [1; 0], [0; 0]));
%!endfunction

%!shared clean, noisy, w, nb, M, N, K, z
%! M = 40; N = 48; K = 14;
%! clean = scene(M, N);
%! randn('state', 3);
%! noisy = clean + single(0.08) * randn(M, N, 'single');
%! [a, b] = meshgrid(-2:2);
%! kernel = single(exp(-(a.^2 + b.^2) / 2));
%! [w, nb] = patchgraph(noisy, kernel, single([0 M N 5 11 4 10 0.05]));
%! z = zeros(N, M, K, 'single');

%!test
%! ## the worked example: values exact in single precision
%! [wp, nbp] = pairgraph();
%! out = evalc('[u, d, b, spare] = graphshrink(single([0 1]), zeros(2,1,1,''single''), zeros(2,1,1,''single''), single([0 1]), wp, nbp, single([1 1 2 5 11 1 1 1 2]));');
%! assert(u, single([73/128 121/256]));
%! assert(d, zeros(2, 1, 'single'));
%! assert(b, single([55; -55] / 256));
%! assert(spare, zeros(1, 2, 10, 'single'));
%! lines = strsplit(out, "\n");
%! assert(lines{1}, sprintf('|u-uold|= %.6f', double(single(sqrt(double(single(single(61/256) / single(2))))))));
%! assert(lines{2}, sprintf('|u-uold|= %.6f', sqrt(5525 / 131072)));
%! assert(! isempty(regexp(out, '\nComputing Time for NL-TV with Split-Bregman= \d+\.\d{3} sec\n \n$', 'once')));

%!test
%! ## both solvers bring a noisy image closer to the clean one
%! u = graphshrink(noisy, z, z, noisy, w, nb, single([0 M N 5 11 K 1 5 15]));
%! v = graphsmooth(noisy, w, nb, single([0 M N 5 11 K 0.2 10]));
%! assert(psnr1(u, clean) > psnr1(noisy, clean) + 5);
%! assert(psnr1(v, clean) > psnr1(noisy, clean) + 5);

%!test
%! ## continuing a call gives exactly the results and lines of one longer call
%! P = single([1 M N 5 11 K 2 10 5]);
%! [out5, u5, d5, b5] = evalc('[u5, d5, b5] = graphshrink(noisy, z, z, noisy, w, nb, P);');
%! P(9) = 2; [out2, u2, d2, b2] = evalc('[u2, d2, b2] = graphshrink(noisy, z, z, noisy, w, nb, P);');
%! P(9) = 3; [out3, u3, d3, b3] = evalc('[u3, d3, b3] = graphshrink(u2, d2, b2, noisy, w, nb, P);');
%! assert(isequal(u3, u5) && isequal(d3, d5) && isequal(b3, b5));
%! progress = @(s) s(1:strfind(s, "\nComputing") - 1);
%! assert([progress(out2) progress(out3)], progress(out5));

%!test
%! ## no outer iteration: copies; the timing line only
%! d0 = single(rand(N, M, K)); b0 = single(rand(N, M, K));
%! [out, u, d, b] = evalc('[u, d, b] = graphshrink(noisy, d0, b0, noisy, w, nb, single([1 M N 5 11 K 1 1 0]));');
%! assert(isequal(u, noisy) && isequal(d, d0) && isequal(b, b0));
%! assert(! isempty(regexp(out, '^\nComputing Time for NL-TV with Split-Bregman= \d+\.\d{3} sec\n \n$', 'once')));
%! assert(isequal(graphsmooth(noisy, w, nb, single([0 M N 5 11 K 1 -2])), noisy));

%!test
%! ## K = 0: every pixel keeps its data, d and b have no planes
%! [u, d, b] = graphshrink(noisy, zeros(N, M, 0, 'single'), zeros(N, M, 0, 'single'), noisy, ...
%!                         single([]), zeros(N, M, 1, 'int32'), single([0 M N 5 11 0 1 3 2]));
%! assert(u, noisy, 1e-6);
%! assert(size(d), [N M 0]); assert(size(b), [N M 0]);
%! assert(graphsmooth(noisy, single([]), zeros(N, M, 1, 'int32'), single([0 M N 5 11 0 3 2])), noisy, 1e-6);

%!test
%! ## verbose: 1 and 1.9 print, 0, 0.9, 2 and NaN do not
%! for v = [1 1.9]
%!   out = evalc('graphsmooth(noisy, w, nb, single([v M N 5 11 K 1 1]));');
%!   assert(! isempty(regexp(out, '^\nComputing Time for NL-H1= \d+\.\d{3} sec\n \n$', 'once')));
%! end
%! for v = [0 0.9 2 NaN]
%!   assert(evalc('graphsmooth(noisy, w, nb, single([v M N 5 11 K 1 1]));'), '');
%!   assert(evalc('graphshrink(noisy, z, z, noisy, w, nb, single([v M N 5 11 K 1 1 2]));'), '');
%! end

%!test
%! ## arguments are never written
%! n0 = noisy + 0; w0 = w + 0; nb0 = nb + 0; z0 = z + 0;
%! graphshrink(noisy, z, z, noisy, w, nb, single([0 M N 5 11 K 1 1 2]));
%! graphsmooth(noisy, w, nb, single([0 M N 5 11 K 1 2]));
%! assert(isequal(noisy, n0) && isequal(w, w0) && isequal(nb, nb0) && isequal(z, z0));

%!error <seven arguments> graphshrink(noisy, z, z, noisy, w, nb)
%!error <four results> [a, b, c, d, e] = graphshrink(noisy, z, z, noisy, w, nb, single([0 M N 5 11 K 1 1 1]))
%!error <F \(argument 4\) must be a real single> graphshrink(noisy, z, z, double(noisy), w, nb, single([0 M N 5 11 K 1 1 1]))
%!error <mu \(-1\) must be finite and above 0> graphshrink(noisy, z, z, noisy, w, nb, single([0 M N 5 11 K 1 -1 1]))
%!error <lambda \(-1\) must be finite and at least 0> graphshrink(noisy, z, z, noisy, w, nb, single([0 M N 5 11 K -1 1 1]))
%!error <NEIGHBOURS \(argument 6\) must be a real int32> graphshrink(noisy, z, z, noisy, w, double(nb), single([0 M N 5 11 K 1 1 1]))
%!error <at least 9 elements> graphshrink(noisy, z, z, noisy, w, nb, single([0 M N 5 11 K 1 1]))
%!error <PARAMS\(9\) must be finite> graphshrink(noisy, z, z, noisy, w, nb, single([0 M N 5 11 K 1 1 Inf]))
%!error <D0 \(argument 2\) has> graphshrink(noisy, z(:, :, 1:3), z, noisy, w, nb, single([0 M N 5 11 K 1 1 1]))

%!test
%! ## identifiers
%! try
%!   graphsmooth(noisy, w, nb);
%!   assert(false);
%! catch err
%!   assert(err.identifier, 'imrestore:graphsmooth:notEnoughInputs');
%! end
%! try
%!   graphshrink(noisy, z, z, noisy, w, -nb, single([0 M N 5 11 K 1 1 1]));
%!   assert(false);
%! catch err
%!   assert(err.identifier, 'imrestore:graphshrink:invalidArgument');
%! end

%!demo
%! img = single(imrestore_sample()); sigma = 0.05;
%! f = img + sigma * randn(size(img), 'single');
%! [M, N] = size(f);
%! [x, y] = meshgrid(-2:2);
%! kernel = single(exp(-(x.^2 + y.^2) / 2));
%! [w, nb] = patchgraph(f, kernel, single([0 M N 5 11 4 10 2*sigma^2*sum(kernel(:))]));
%! z = zeros(N, M, 14, 'single');
%! u = graphshrink(f, z, z, f, w, nb, single([0 M N 5 11 14 1 0.4/sigma 15]));
%! imshow([f u]); title('noisy (left) and nonlocal TV (right)');
