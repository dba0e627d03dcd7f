% Writes toolbox/imrestore_sample.png, the 256-by-256 grey-level test image
% that the help examples use: smooth shading, flat regions with sharp and
% soft edges, thin lines, a stripe texture and a checkerboard, so that every
% restoration method has something to keep and something to smooth.
%   octave-cli scripts/make_sample_image.m [OUTFILE]
args = argv();
if isempty(args)
  outfile = fullfile(fileparts(mfilename('fullpath')), '..', 'toolbox', 'imrestore_sample.png');
else
  outfile = args{1};
end
n = 256;
[x, y] = meshgrid(((1:n) - 0.5) / n);
img = 0.35 + 0.25 * x - 0.1 * y;                                   % shaded background
img = img + 0.08 * exp(-((x - 0.25).^2 + (y - 0.75).^2) / 0.02);   % soft blob
img(hypot(x - 0.3, y - 0.3) < 0.17) = 0.85;                         % bright disk
img(hypot(x - 0.3, y - 0.3) < 0.07) = 0.55;                         % its core
img(abs(x - 0.72) < 0.14 & abs(y - 0.28) < 0.1) = 0.12;             % dark box
ring = abs(hypot(x - 0.72, y - 0.28) - 0.2) < 0.008;                % thin ring
img(ring) = 0.95;
stripes = x > 0.55 & x < 0.95 & y > 0.55 & y < 0.75;                % stripe texture
img(stripes) = 0.5 + 0.3 * sin(2 * pi * 12 * (x(stripes) + 0.5 * y(stripes)));
checks = x > 0.55 & x < 0.95 & y > 0.8 & y < 0.95;                  % checkerboard
img(checks) = 0.25 + 0.5 * mod(floor(x(checks) * 32) + floor(y(checks) * 32), 2);
for k = 1:4                                                         % thin lines
  img(round(n * (0.5 + 0.03 * k)), round(n * 0.05):round(n * 0.45)) = 0.05 + 0.2 * k;
end
edge = 1 ./ (1 + exp(-(x - 0.25) / 0.01));                          % a soft edge
band = y > 0.88 & x < 0.45;
img(band) = 0.2 + 0.6 * edge(band);
imwrite(uint8(round(255 * min(max(img, 0), 1))), outfile);
printf('%s\n', outfile);
