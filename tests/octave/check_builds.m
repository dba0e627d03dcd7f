% Checks the two ways of building without CMake against the CMake build:
% installs the Octave package into a temporary package prefix (the
% machine's own package list is not touched), runs `test` on each function
% from it, and builds the MEX files with imrestore_build in a scratch folder;
% one call of each function from either build must give the CMake build's
% results bit for bit.
%   octave-cli check_builds.m MEXDIR TARBALL SOURCE_DIR
args = argv();
[mexdir, tarball, top] = args{1:3};
names = regexp(fileread(fullfile(top, 'plugins', 'plugins.txt')), '^[^#\s][^\r\n]*', 'match', 'lineanchors');
failed = 0;
passed = 0;

function results = callEach()
  % One call of each function on the shipped image, all results kept.
  img = imrestore_sample(); img = img(1:64, 1:48); [M, N] = size(img);
  randn('state', 7); f = single(img + 0.05 * randn(M, N));
  [a, b] = meshgrid(-2:2); kernel = single(exp(-(a.^2 + b.^2) / 2));
  results = {};
  evalc('[w, nb, spare] = patchgraph(f, kernel, single([0 M N 5 11 4 10 0.1]));');
  results(end+1:end+3) = {w, nb, spare};
  z = zeros(N, M, 14, 'single');
  [u, d, bb] = graphshrink(f, z, z, f, w, nb, single([0 M N 5 11 14 1 8 5]));
  results(end+1:end+3) = {u, d, bb};
  results{end+1} = graphsmooth(f, w, nb, single([0 M N 5 11 14 0.2 5]));
  results{end+1} = tvclean(double(f), 28, 1e-4);
  results{end+1} = patchaffinity(double(f), 0.04);
  h = [1+sqrt(3), 3+sqrt(3), 3-sqrt(3), 1-sqrt(3)] / (4*sqrt(2));
  [y, L] = waveanalyze(double(f), h, 3);
  results(end+1:end+2) = {y, wavesynth(y, h, L)};
end

addpath(mexdir);
reference = callEach();
rmpath(mexdir);

% The package, installed into a prefix of its own.
prefix = tempname(); mkdir(prefix);
pkg('prefix', prefix, prefix);
pkg('local_list', fullfile(prefix, 'octave_packages'));
pkg('install', tarball);
pkg('load', 'imrestore');
% A denoiser too: it finds its private helpers in the package.
tested = [names, {'nltvdenoise'}];
for k = 1:numel(tested)
  [n, nmax] = test(tested{k}, 'quiet', stdout);
  printf('package: test %-14s %3d of %3d passed\n', tested{k}, n, nmax);
  if nmax == 0 || n < nmax, failed++; else, passed++; end
end
if isequal(callEach(), reference), passed++; else, failed++; printf('package: results differ from the CMake build\n'); end
pkg('unload', 'imrestore');
pkg('uninstall', 'imrestore');
confirm_recursive_rmdir(false);
rmdir(prefix, 's');

% The build script, run in a scratch folder.
scratch = tempname(); mkdir(scratch); cd(scratch);
addpath(top);
outdir = imrestore_build();
addpath(outdir);
if isequal(callEach(), reference), passed++; else, failed++; printf('imrestore_build: results differ from the CMake build\n'); end
rmpath(outdir);
cd(tempdir()); rmdir(scratch, 's');
printf('%d passed, %d failed\n', passed, failed);
exit(failed > 0);
