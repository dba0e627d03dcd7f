function [w, nb, p] = imrestore_graph(caller, f, sigma, opts)
% IMRESTORE_GRAPH  The patch graph of one channel for the nonlocal denoisers.
%
%   [W, NB, P] = imrestore_graph(CALLER, F, SIGMA, OPTS) builds the
%   PATCHGRAPH graph of the M-by-N double image F with OPTS.PatchSize,
%   OPTS.WindowSize (cut down to fit a small image), 4 nearest neighbours and
%   OPTS.Neighbours best ones and a Gaussian patch kernel of standard
%   deviation 1. Patches are compared on F denoised by WAVEDENOISE (noise
%   makes every patch distance large and blurs the choice of neighbours),
%   with h = OPTS.H, or 0.1*SIGMA^2*sum(kernel) when that is empty. P is the
%   parameter vector's first six elements for the solvers:
%   [verbose M N patchSide windowSide K]. patchgraph's own console line is
%   shown only when OPTS.Verbose is set.

[M, N] = size(f);
patchSide = opts.PatchSize;
half = (patchSide - 1) / 2;
room = min(M, N) - half;   % the border width half + (windowSide-1)/2 must fit
if room < 1
  error(['imrestore:' caller ':imageTooSmall'], ...
        '%s: the image (%d-by-%d) must be larger than half the patch side (%d) in both directions.', ...
        caller, M, N, half);
end
windowSide = min(opts.WindowSize, 2 * room + 1);
[a, b] = meshgrid(-half:half);
kernel = single(exp(-(a.^2 + b.^2) / 2));
h = opts.H;
if isempty(h)
  h = 0.1 * sigma^2 * sum(kernel(:));
end
verbose = double(logical(opts.Verbose));
params = single([verbose M N patchSide windowSide 4 opts.Neighbours h]);
fs = single(wavedenoise(f, 'Sigma', sigma));
if opts.Verbose
  printf('%s: weights of a %d-by-%d image (patches compared after wavedenoise), patches %d, window %d, h %.4g\n', ...
         caller, M, N, patchSide, windowSide, h);
  [w, nb] = patchgraph(fs, kernel, params);
else
  [~, w, nb] = evalc('patchgraph(fs, kernel, params)');
end
p = [verbose M N patchSide windowSide 4 + opts.Neighbours];
end
