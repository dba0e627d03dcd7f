% IMRESTORE_DENOISE  The compiled recipes of the one-call denoisers.
%
%   U = imrestore_denoise('tvdenoise', X, SIGMA, [MU TOL VERBOSE])
%   U = imrestore_denoise('wavedenoise', X, SIGMA, [LEVELS SCALE SHIFTS VERBOSE], FILTER)
%   U = imrestore_denoise('nltvdenoise', X, SIGMA, [PATCH WINDOW NEIGHBOURS H LAMBDA MU ITERATIONS VERBOSE])
%   U = imrestore_denoise('nlh1denoise', X, SIGMA, [the same; LAMBDA is not read])
%   SIGMA = imrestore_denoise('noiselevel', X)
%   [U, SIGMA] = imrestore_denoise(...)
%
%   The engine behind TVDENOISE, WAVEDENOISE, NLTVDENOISE, NLH1DENOISE and
%   NOISELEVEL, which check their options, convert the image's class and
%   call it: call those. X is denoised by the recipe that the denoiser's
%   help describes, with the noise level SIGMA(c) for channel c ([]
%   estimates it as NOISELEVEL does; one value serves every channel): TV and
%   wavelet channel by channel, the nonlocal pair over one graph of the
%   mean of the channels. MU (and H) 0 leave the choice to the recipe. The
%   risk estimates' solves and the cycle shifts run side by side on the
%   machine's cores (IMRESTORE_THREADS sets their number); the results do
%   not depend on it.
%
%   X is a real, finite M-by-N-by-C double array on the scale of
%   im2double. Errors carry the identifiers of the denoiser named first,
%   imrestore:tvdenoise:invalidOption for instance.
%
%   See also TVDENOISE, WAVEDENOISE, NLTVDENOISE, NLH1DENOISE, NOISELEVEL.

%!test
%! ## the recipes give the denoisers' results, and the noise levels used
%! randn('state', 11);
%! x = 0.5 + 0.05 * randn(40, 30, 2);
%! [u, s] = imrestore_denoise('tvdenoise', x, [], [0 1e-3 0]);
%! assert(size(u), size(x));
%! assert(s, noiselevel(x));
%! assert(u, tvdenoise(x));
%! assert(imrestore_denoise('noiselevel', x), noiselevel(x));
%! h = [1 1] / sqrt(2);
%! assert(imrestore_denoise('wavedenoise', x, 0.05, [2 1 1 0], h), wavedenoise(x, 'Sigma', 0.05, 'Filter', h, 'Levels', 2, 'Shifts', 1));

%!error id=imrestore:imrestore_denoise:invalidArgument imrestore_denoise('median', 1)
%!error id=imrestore:tvdenoise:invalidImage imrestore_denoise('tvdenoise', single(ones(4)), [], [0 1e-3 0])
%!error <F must be finite> imrestore_denoise('tvdenoise', [1 NaN; 0 0], [], [0 1e-3 0])
%!error id=imrestore:tvdenoise:invalidOption imrestore_denoise('tvdenoise', ones(4), [], [0 1e-3])
%!error <'Sigma' has 2 values but the image has 3 channels> imrestore_denoise('tvdenoise', ones(4, 4, 3), [1 2], [0 1e-3 0])
%!error <'Filter' must be a real vector of even length> imrestore_denoise('wavedenoise', ones(8), 0.1, [2 1 1 0], [1 1 1])
%!error id=imrestore:noiselevel:invalidImage imrestore_denoise('noiselevel', ones(1, 5))
