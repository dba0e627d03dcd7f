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
%               patchSide   side of the patch (an even side s acts as s-1)
%               windowSide  side of the search window (likewise)
%               nearest     0, or 4 to keep the 4-connected neighbours
%               best        number of best-matching neighbours per pixel
%               h           filtering parameter (> 0)
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
%     img = single(imread('cameraman.png')) / 255;   % any grey-level image
%     [M, N] = size(img);
%     [x, y] = meshgrid(-2:2);
%     kernel = single(exp(-(x.^2 + y.^2) / 2));
%     [w, nb] = patchgraph(img, kernel, single([0 M N 5 11 4 10 0.05]));
%     % neighbours of pixel (row 40, column 60), 1-based:
%     cols = squeeze(nb(60, 40, 2:2:end)) + 1;
%     rows = squeeze(nb(60, 40, 3:2:end)) + 1;
%     weights = squeeze(w(60, 40, 1:2:end));
%
%   See also GRAPHSHRINK, GRAPHSMOOTH.
