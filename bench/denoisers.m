% Runs each imrestore denoiser with its defaults (the noise level not given)
% on each case of a list and prints one line per result:
%   IMAGE SIGMA METHOD PSNR SECONDS
% and one line IMAGE SIGMA noiselevel ESTIMATE 0 per case.
%   octave-cli denoisers.m MEXDIR CASEFILE
% CASEFILE lines: IMAGE SIGMA ROWS COLUMNS STEM (STEM.clean and STEM.noisy
% hold the images as doubles, column by column).
args = argv();
addpath(args{1});
fid = fopen(args{2}); C = textscan(fid, '%s %f %d %d %s'); fclose(fid);
methods = {'tvdenoise', 'wavedenoise', 'nltvdenoise', 'nlh1denoise'};
for k = 1:numel(C{1})
  name = C{1}{k}; s = C{2}(k); M = double(C{3}(k)); N = double(C{4}(k));
  f = fopen([C{5}{k} '.clean']); clean = reshape(fread(f, Inf, 'double'), M, N); fclose(f);
  f = fopen([C{5}{k} '.noisy']); noisy = reshape(fread(f, Inf, 'double'), M, N); fclose(f);
  printf('%s %.2f noiselevel %.4f 0\n', name, s, noiselevel(noisy));
  for m = 1:numel(methods)
    start = tic();
    u = feval(methods{m}, noisy);
    seconds = toc(start);
    printf('%s %.2f %s %.2f %.2f\n', name, s, methods{m}, 10 * log10(1 / mean((u(:) - clean(:)).^2)), seconds);
  end
  fflush(stdout);
end
