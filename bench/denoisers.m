% Runs each imrestore denoiser with its defaults (the noise level not given)
% on each case of a list and prints one line per result:
%   IMAGE SIGMA METHOD PSNR SECONDS
% and one line IMAGE SIGMA noiselevel ESTIMATE SECONDS per case (the mean
% over the channels of a colour image). Each time is the median of REPEAT
% whole calls (default 1), after one call on the first case to load the
% MEX files.
%   octave-cli denoisers.m MEXDIR CASEFILE [REPEAT]
% CASEFILE lines: IMAGE SIGMA ROWS COLUMNS CHANNELS STEM (STEM.clean and
% STEM.noisy hold the images as doubles, column by column).
args = argv();
addpath(args{1});
repeat = 1;
if numel(args) > 2
  repeat = str2double(args{3});
end
fid = fopen(args{2}); C = textscan(fid, '%s %f %d %d %d %s'); fclose(fid);
methods = {'noiselevel', 'tvdenoise', 'wavedenoise', 'nltvdenoise', 'nlh1denoise'};
function [u, seconds] = timed(method, noisy, repeat)
  times = zeros(1, repeat);
  for r = 1:repeat
    start = tic();
    u = feval(method, noisy);
    times(r) = toc(start);
  end
  seconds = median(times);
end
for k = 1:numel(C{1})
  name = C{1}{k}; s = C{2}(k); sz = double([C{3}(k) C{4}(k) C{5}(k)]);
  f = fopen([C{6}{k} '.clean']); clean = reshape(fread(f, Inf, 'double'), sz); fclose(f);
  f = fopen([C{6}{k} '.noisy']); noisy = reshape(fread(f, Inf, 'double'), sz); fclose(f);
  if k == 1
    for m = 1:numel(methods)
      feval(methods{m}, noisy(1:32, 1:32, :));
    end
  end
  for m = 1:numel(methods)
    [u, seconds] = timed(methods{m}, noisy, repeat);
    if m == 1
      value = mean(u);
    else
      value = 10 * log10(1 / mean((u(:) - clean(:)).^2));
    end
    printf('%s %.2f %s %.4f %.4f\n', name, s, methods{m}, value, seconds);
  end
  fflush(stdout);
end
