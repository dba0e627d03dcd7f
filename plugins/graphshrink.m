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
%               lambda      weight of the split penalty (> 0)
%               mu          weight of the data term: larger mu, closer to F
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
%     f = single(imread('cameraman.png')) / 255;   % any grey-level image
%     f = f + 0.05 * randn(size(f), 'single');
%     [M, N] = size(f);
%     [x, y] = meshgrid(-2:2);
%     kernel = single(exp(-(x.^2 + y.^2) / 2));
%     [w, nb] = patchgraph(f, kernel, single([0 M N 5 11 4 10 0.05]));
%     K = 14;
%     z = zeros(N, M, K, 'single');
%     P = single([1 M N 5 11 K 1 20 10]);
%     [u, d, b] = graphshrink(f, z, z, f, w, nb, P);
%     [u, d, b] = graphshrink(u, d, b, f, w, nb, P);   % 10 more iterations
%     imshow([f u])
%
%   See also PATCHGRAPH, GRAPHSMOOTH.
