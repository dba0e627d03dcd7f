% Denoises each case of a list with every imrestore method at its
% recommended settings and at a grid of values around each recommended
% parameter, and prints one line per result:
%   IMAGE SIGMA METHOD PARAMETER FACTOR PSNR
% where FACTOR multiplies the recommended value (1: the recommendation).
%   octave-cli denoising_grid.m MEXDIR CASEFILE
% CASEFILE lines: IMAGE SIGMA ROWS COLUMNS CHANNELS STEM (STEM.clean and STEM.noisy
% hold the images as doubles, column by column).
args = argv();
addpath(args{1});
fid = fopen(args{2}); C = textscan(fid, '%s %f %d %d %d %s'); fclose(fid);
factors = [0.25 0.5 1 2 4];
h8 = [0.2303778133088964 0.7148465705529154 0.6308807679298587 -0.0279837694168599 ...
      -0.1870348117190931 0.0308413818355607 0.0328830116668852 -0.0105974017850690];
[a, b] = meshgrid(-2:2); kernel = single(exp(-(a.^2 + b.^2) / 2)); S = sum(kernel(:));
for k = 1:numel(C{1})
  name = C{1}{k}; s = C{2}(k); M = double(C{3}(k)); N = double(C{4}(k));
  f = fopen([C{6}{k} '.clean']); clean = reshape(fread(f, Inf, 'double'), M, N); fclose(f);
  f = fopen([C{6}{k} '.noisy']); noisy = reshape(fread(f, Inf, 'double'), M, N); fclose(f);
  psnr_db = @(u) 10 * log10(1 / mean((double(u(:)) - clean(:)).^2));
  say = @(method, parameter, factor, u) printf('%s %.2f %s %s %g %.2f\n', name, s, method, parameter, factor, psnr_db(u));
  % tvclean: MU = 1.4/sigma, tolerance 1e-3
  for c = [0.5 0.71 1 1.41 2]
    say('tvclean', 'mu', c, tvclean(noisy, c * 1.4 / s, 1e-3));
  end
  % wavelets: Daubechies 8, 3 levels, soft threshold 1.25*sigma on the details
  [y, L] = waveanalyze(noisy, h8, 3);
  detail = true(M, N); detail(1:M/2^L, 1:N/2^L) = false;
  for c = [0.6 0.8 1 1.2 1.6 2]
    z = y; z(detail) = sign(z(detail)) .* max(abs(z(detail)) - c * 1.25 * s, 0);
    say('wavelet', 'threshold', c, wavesynth(z, h8, L));
  end
  % patchaffinity: nonlocal means with h = 0.8*sigma
  for c = [0.5 0.75 1 1.25 1.6]
    W = patchaffinity(noisy, c * 0.8 * s);
    say('patchaffinity', 'h', c, (W * noisy(:)) ./ sum(W, 2));
  end
  clear W
  % patchgraph h = 2*sigma^2*sum(kernel); graphshrink lambda 1, mu 0.4/sigma,
  % 15 outer iterations; graphsmooth mu 0.01/sigma, 10 outer iterations
  fs = single(noisy); Z = zeros(N, M, 14, 'single');
  shrink = @(w, nb, lambda, mu) graphshrink(fs, Z, Z, fs, w, nb, single([0 M N 5 11 14 lambda mu 15]));
  smooth = @(w, nb, mu) graphsmooth(fs, w, nb, single([0 M N 5 11 14 mu 10]));
  for c = factors
    evalc('[w, nb] = patchgraph(fs, kernel, single([0 M N 5 11 4 10 c * 2 * s^2 * S]));');
    say('graphshrink', 'patchgraph-h', c, shrink(w, nb, 1, 0.4 / s));
    say('graphsmooth', 'patchgraph-h', c, smooth(w, nb, 0.01 / s));
    if c == 1
      for d = factors(factors != 1)
        say('graphshrink', 'mu', d, shrink(w, nb, 1, d * 0.4 / s));
        say('graphshrink', 'lambda', d, shrink(w, nb, d, 0.4 / s));
        say('graphsmooth', 'mu', d, smooth(w, nb, d * 0.01 / s));
      end
    end
  end
  fflush(stdout);
end
