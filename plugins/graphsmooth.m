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
%               mu          weight of the data term: larger mu, closer to F
%               nOuter      number of outer iterations
%             Entries 1 to 6 and 8 are truncated toward zero.
%
%   Result:
%     U       single M-by-N restored image. Passing U back as F starts a new
%             problem with U as its data; it does not continue the sweeps.
%
%   Example:
%     f = single(imread('cameraman.png')) / 255;   % any grey-level image
%     f = f + 0.05 * randn(size(f), 'single');
%     [M, N] = size(f);
%     [x, y] = meshgrid(-2:2);
%     kernel = single(exp(-(x.^2 + y.^2) / 2));
%     [w, nb] = patchgraph(f, kernel, single([0 M N 5 11 4 10 0.05]));
%     u = graphsmooth(f, w, nb, single([1 M N 5 11 14 0.5 10]));
%     imshow([f u])
%
%   See also PATCHGRAPH, GRAPHSHRINK.
