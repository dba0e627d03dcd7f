% GRAPHSMOOTH  Nonlocal H1 (quadratic) restoration over a weight graph.
%
%   U = graphsmooth(F, W, NB, PARAMS)
%
%   Restores the image F over the weight graph (W, NB) that PATCHGRAPH
%   returns by in-place Gauss-Seidel sweeps that replace every pixel by the
%   weighted mean of its data value and its neighbours' current values:
%     u(x) = (mu*f(x) + sum_k w_k*u(y_k)) / (mu + sum_k w_k),
%   which approaches the solution of mu*(u - f) = sum_k w_k*(u(y_k) - u).
%   F is also the starting image; each outer iteration is two sweeps.
%
%   Arguments (all single and real except NB):
%     F       M-by-N data image.
%     W, NB   weight and neighbour arrays of a PATCHGRAPH graph with K slots
%             per pixel (NB is int32); only the weight planes W(:,:,1:2:end)
%             are read.
%     PARAMS  [verbose rows cols patchSide windowSide K mu nOuter]
%               verbose     1 prints the computing time
%               rows, cols  M and N
%               patchSide, windowSide  as given to PATCHGRAPH (not used)
%               K           slots per pixel (PATCHGRAPH prints it as iNbNeigh)
%               mu          weight of the data term (> 0): larger mu, closer to F;
%                           0.01/SIGMA for noise of standard deviation SIGMA
%                           on [0, 1] (10 outer iterations), measured
%               nOuter      number of outer iterations
%             Entries 1 to 6 and 8 are truncated toward zero.
%
%   Result:
%     U       single M-by-N restored image. Passing U back as F starts a new
%             problem with U as its data; it does not continue the sweeps.
%
%   Example:
%     img = single(imrestore_sample());
%     sigma = 0.05;
%     f = img + sigma * randn(size(img), 'single');
%     [M, N] = size(f);
%     [x, y] = meshgrid(-2:2);
%     kernel = single(exp(-(x.^2 + y.^2) / 2));
%     [w, nb] = patchgraph(f, kernel, single([0 M N 5 11 4 10 2*sigma^2*sum(kernel(:))]));
%     u = graphsmooth(f, w, nb, single([0 M N 5 11 14 0.01/sigma 10]));
%     imshow([f u])
%
%   The sizes come from PARAMS. An argument whose own shape contradicts
%   them (a transposed or colour image, graph arrays that are not
%   N-by-M-by-planes) gives the warning imrestore:graphsmooth:imageSize,
%   imageDimensions, graphLayout or planeCount; warning('off', ID)
%   silences it. Ctrl-C stops the call at once. NLH1DENOISE does all of this
%   for a photograph of any class.
%
%   See also NLH1DENOISE, PATCHGRAPH, GRAPHSHRINK.

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
%! [wp, nbp] = pairgraph();
%! assert(graphsmooth(single([0 1]), wp, nbp, single([0 1 2 5 11 1 1 1])), single([3/8 11/16]));
%! assert(graphsmooth(single([0 1]), wp, nbp, single([0 1 2 5 11 1 1 2])), single([43/128 171/256]));

%!warning <the graph arrays run along image rows: N by M by planes> graphsmooth(noisy, permute(w, [2 1 3]), nb, single([0 M N 5 11 K 1 1]));
%!warning <has 30 planes> graphsmooth(noisy, cat(3, w, w(:, :, 1:2)), nb, single([0 M N 5 11 K 1 1]));
%!test
%! ## the weight array may leave out its last (root) plane
%! warning('error', 'imrestore:graphsmooth:planeCount', 'local');
%! assert(isequal(graphsmooth(noisy, w(:, :, 1:end-1), nb, single([0 M N 5 11 K 1 2])), ...
%!                graphsmooth(noisy, w, nb, single([0 M N 5 11 K 1 2]))));

%!error <iNbNeigh \(-1\)> graphsmooth(noisy, w, nb, single([0 M N 5 11 -1 1 1]))
%!error <at least 1 by 1> graphsmooth(noisy, w, nb, single([0 0 N 5 11 K 1 1]))
%!error <WEIGHTS \(argument 2\) has> graphsmooth(noisy, w(:, :, 1:3), nb, single([0 M N 5 11 K 1 1]))
%!error <one result> [a, b] = graphsmooth(noisy, w, nb, single([0 M N 5 11 K 1 1]))
%!error <rows must lie in> graphsmooth(noisy, w, nb + int32(M), single([0 M N 5 11 K 1 1]))

%!demo
%! img = single(imrestore_sample()); sigma = 0.05;
%! f = img + sigma * randn(size(img), 'single');
%! [M, N] = size(f);
%! [x, y] = meshgrid(-2:2);
%! kernel = single(exp(-(x.^2 + y.^2) / 2));
%! [w, nb] = patchgraph(f, kernel, single([0 M N 5 11 4 10 2*sigma^2*sum(kernel(:))]));
%! u = graphsmooth(f, w, nb, single([0 M N 5 11 14 0.01/sigma 10]));
%! imshow([f u]); title('noisy (left) and nonlocal H1 (right)');
