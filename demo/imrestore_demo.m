% imrestore demo: builds the nonlocal weight graph of a noisy image, draws
% where a few pixels' neighbours lie and how strong their weights are, and
% restores the image over the graph, then denoises it with local TV, shows
% one pixel's row of the nonlocal-means affinity matrix, and denoises it by
% thresholding its wavelet detail coefficients.
%
%   octave-cli imrestore_demo.m MEXDIR OUTDIR [IMAGE]
%
% Without IMAGE a grey-level test scene is generated. The pictures go to
% OUTDIR: patchgraph_neighbours.png, graph_restoration.png, tvclean.png,
% patchaffinity_row.png, wavelet_denoising.png.

1;
function savePanels(file, images, titles, withColourBar)
  % Writes the images side by side, each under its title, to a PNG file.
  figure('visible', 'off', 'position', [0 0 360 * numel(images) 380]);
  for k = 1:numel(images)
    subplot(1, numel(images), k);
    if withColourBar
      imagesc(images{k}); axis image off; colorbar;
    else
      imshow(min(max(double(images{k}), 0), 1));
    end
    title(titles{k});
  end
  print(gcf, file, '-dpng', '-r96');
  close(gcf);
end

warning('off', 'Octave:gnuplot-graphics');   % the only toolkit without a display
args = argv();
if numel(args) < 2
  error('usage: octave-cli imrestore_demo.m MEXDIR OUTDIR [IMAGE]');
end
addpath(args{1});
outdir = args{2};

% The clean image: a picture given by the user, or a generated scene.
if numel(args) >= 3
  clean = double(imread(args{3}));
  if ndims(clean) == 3
    clean = 0.299 * clean(:, :, 1) + 0.587 * clean(:, :, 2) + 0.114 * clean(:, :, 3);
  end
  clean = clean / max(max(clean(:)), 1);
else
  [x, y] = meshgrid(((1:160) - 0.5) / 160, ((1:128) - 0.5) / 128);
  clean = 0.25 + 0.3 * x;
  clean((x - 0.3).^2 + (y - 0.35).^2 < 0.03) = 0.85;
  clean(abs(x - 0.72) < 0.12 & abs(y - 0.6) < 0.25) = 0.1;
  clean(y > 0.85) = 0.5 + 0.3 * (mod(floor(x(y > 0.85) * 16), 2) - 0.5);
end
[M, N] = size(clean);

% Noise of standard deviation 0.05, the same on every run.
randn('state', 1);
sigma = 0.05;
noisy = single(clean + sigma * randn(M, N));

% The graph: 5x5 Gaussian patches, 11x11 search windows, the 4 nearest
% neighbours and the 10 best-matching ones. h is about the distance of two
% patches that differ by noise alone.
[a, b] = meshgrid(-2:2);
kernel = single(exp(-(a.^2 + b.^2) / 2));
h = 2 * sigma^2 * sum(kernel(:));
printf('patchgraph on a %dx%d image, noise %.2f, h = %.4f\n', M, N, sigma, h);
[w, nb] = patchgraph(noisy, kernel, single([1 M N 5 11 4 10 h]));
K = size(w, 3) / 2;

% Draw the noisy image in grey and, for a few pixels, their search window in
% blue and their neighbours in red (brighter for a larger weight) around the
% pixel itself in green.
picture = repmat(min(max(double(noisy), 0), 1), [1 1 3]);
picks = round([0.35 * M, 0.3 * N; 0.6 * M, 0.72 * N; 0.92 * M, 0.5 * N; 0.2 * M, 0.8 * N]);
for p = 1:rows(picks)
  i = picks(p, 1); j = picks(p, 2);             % 1-based row and column
  top = max(i - 5, 1); bottom = min(i + 5, M); left = max(j - 5, 1); right = min(j + 5, N);
  frame = false(M, N);
  frame([top bottom], left:right) = true;
  frame(top:bottom, [left right]) = true;
  for channel = 1:3
    layer = picture(:, :, channel);
    layer(frame) = 0.5 * layer(frame) + 0.5 * (channel == 3);
    picture(:, :, channel) = layer;
  end
  weights = double(squeeze(w(j, i, 1:2:end)));
  cols = double(squeeze(nb(j, i, 2:2:end))) + 1;
  rows_ = double(squeeze(nb(j, i, 3:2:end))) + 1;
  strength = weights / max(max(weights), eps);
  for k = find(weights > 0)'
    picture(rows_(k), cols(k), :) = [0.3 + 0.7 * strength(k), 0, 0];
  end
  picture(i, j, :) = [0, 1, 0];
  printf('pixel (%d, %d): %d neighbours, largest weight %.3f\n', i, j, nnz(weights > 0), max(weights));
end
scale = 4;
picture = picture(kron(1:M, ones(1, scale)), kron(1:N, ones(1, scale)), :);
file = fullfile(outdir, 'patchgraph_neighbours.png');
savePanels(file, {picture}, {'pixels (green), their windows (blue), neighbours (red: brighter, larger weight)'}, false);
printf('Neighbour picture written to %s\n', file);

% Restore the noisy image over the graph: nonlocal TV (split Bregman) and
% nonlocal H1 (Gauss-Seidel sweeps). PSNR against the clean image, in dB.
psnr_db = @(u) 10 * log10(1 / mean((double(u(:)) - clean(:)).^2));
z = zeros(N, M, K, 'single');
tic;
u_tv = graphshrink(noisy, z, z, noisy, w, nb, single([0 M N 5 11 K 1 0.4/sigma 15]));
t_tv = toc;
tic;
u_h1 = graphsmooth(noisy, w, nb, single([0 M N 5 11 K 0.01/sigma 10]));
t_h1 = toc;
printf('PSNR noisy %.2f dB\n', psnr_db(noisy));
printf('PSNR graphshrink (NL-TV, lambda 1, mu 0.4/sigma, 15 outer iterations) %.2f dB in %.2f s\n', psnr_db(u_tv), t_tv);
printf('PSNR graphsmooth (NL-H1, mu 0.01/sigma, 10 outer iterations) %.2f dB in %.2f s\n', psnr_db(u_h1), t_h1);
file = fullfile(outdir, 'graph_restoration.png');
savePanels(file, {noisy, u_tv, u_h1}, {sprintf('noisy %.1f dB', psnr_db(noisy)), ...
           sprintf('NL-TV %.1f dB', psnr_db(u_tv)), sprintf('NL-H1 %.1f dB', psnr_db(u_h1))}, false);
printf('Noisy, NL-TV and NL-H1 images written side by side to %s\n', file);

% Local total variation (ROF) on the pixel grid, in double precision.
tic;
u_rof = tvclean(double(noisy), 1.4 / sigma, 1e-3);
t_rof = toc;
printf('PSNR tvclean (ROF, mu 1.4/sigma, tolerance 1e-3) %.2f dB in %.2f s\n', psnr_db(u_rof), t_rof);
file = fullfile(outdir, 'tvclean.png');
savePanels(file, {noisy, u_rof}, {sprintf('noisy %.1f dB', psnr_db(noisy)), sprintf('TV (tvclean) %.1f dB', psnr_db(u_rof))}, false);
printf('Noisy and tvclean images written side by side to %s\n', file);

% The nonlocal-means affinity matrix of the noisy image (patch radius 3,
% search radius 6): one pixel's column reshaped to the image shows which
% pixels of its window have patches like its own.
tic;
A = patchaffinity(double(noisy), 0.8 * sigma);
u_nlm = reshape((A * double(noisy(:))) ./ sum(A, 2), M, N);   % nonlocal means
t_aff = toc;
printf('PSNR nonlocal means through patchaffinity (h 0.8*sigma) %.2f dB\n', psnr_db(u_nlm));
pick = sub2ind([M N], round(0.35 * M), round(0.3 * N));
printf('patchaffinity: %d-by-%d sparse matrix, %d entries, in %.2f s\n', rows(A), columns(A), nnz(A), t_aff);
weights = reshape(full(A(:, pick)), M, N);
file = fullfile(outdir, 'patchaffinity_row.png');
savePanels(file, {u_nlm, weights}, {sprintf('nonlocal means %.1f dB', psnr_db(u_nlm)), ...
           sprintf('affinities of pixel (%d, %d)', round(0.35 * M), round(0.3 * N))}, true);
printf('Noisy image and the affinities of pixel (%d, %d) written to %s\n', round(0.35 * M), round(0.3 * N), file);

% Wavelet denoising: the Daubechies filter of length 8, as many levels as
% the image size allows up to 3, the detail coefficients soft-thresholded
% at 1.25 sigma (the approximation block kept), then the inverse transform.
h4 = [0.2303778133088964 0.7148465705529154 0.6308807679298587 -0.0279837694168599 ...
      -0.1870348117190931 0.0308413818355607 0.0328830116668852 -0.0105974017850690];
levels = 0;
while levels < 3 && mod(M, 2^(levels+1)) == 0 && mod(N, 2^(levels+1)) == 0
  levels++;
end
if levels == 0
  printf('The image size %dx%d has no wavelet level; wavelet denoising skipped\n', M, N);
else
  tic;
  [y, L] = waveanalyze(double(noisy), h4, levels);
  detail = true(M, N);
  detail(1:M/2^L, 1:N/2^L) = false;
  threshold = 1.25 * sigma;
  y(detail) = sign(y(detail)) .* max(abs(y(detail)) - threshold, 0);
  u_wave = wavesynth(y, h4, L);
  t_wave = toc;
  printf('PSNR wavelet soft thresholding (Daubechies 8, %d levels, threshold %.2f) %.2f dB in %.2f s\n', ...
         L, threshold, psnr_db(u_wave), t_wave);
  file = fullfile(outdir, 'wavelet_denoising.png');
  savePanels(file, {noisy, u_wave}, {sprintf('noisy %.1f dB', psnr_db(noisy)), sprintf('wavelet soft threshold %.1f dB', psnr_db(u_wave))}, false);
  printf('Noisy and wavelet-denoised images written side by side to %s\n', file);
end

% The one-call denoisers: the noise level is estimated, every setting is a
% default, the image keeps its class (here uint8, as a photograph would be).
photo = uint8(255 * min(max(double(noisy), 0), 1));
printf('noiselevel of the uint8 image: %.4f (true %.4f)\n', noiselevel(photo), sigma);
names = {'tvdenoise', 'wavedenoise', 'nltvdenoise', 'nlh1denoise'};
results = cell(1, numel(names));
titles = cell(1, numel(names));
for k = 1:numel(names)
  tic;
  results{k} = feval(names{k}, photo);
  t = toc;
  titles{k} = sprintf('%s %.1f dB', names{k}, psnr_db(double(results{k}) / 255));
  printf('PSNR %s(photo), defaults: %.2f dB in %.2f s (class %s)\n', names{k}, ...
         psnr_db(double(results{k}) / 255), t, class(results{k}));
end
file = fullfile(outdir, 'denoisers.png');
savePanels(file, cellfun(@(r) double(r) / 255, results, 'UniformOutput', false), titles, false);
printf('The four denoisers'' results written side by side to %s\n', file);
