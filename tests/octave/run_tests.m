% Runs the %!test and %!error blocks of the named functions with Octave's
% test function against the plug-ins of a MEX folder, and exits non-zero
% when any test fails.
%   octave-cli run_tests.m MEXDIR NAME...
args = argv();
if numel(args) < 2
  error('usage: octave-cli run_tests.m MEXDIR NAME...');
end
addpath(args{1});
passed = 0;
total = 0;
for k = 2:numel(args)
  [n, nmax] = test(args{k}, 'quiet', stdout);
  printf('%-20s %3d of %3d passed\n', args{k}, n, nmax);
  passed += n;
  total += nmax;
end
printf('%d passed, %d failed\n', passed, total - passed);
if total == 0 || passed < total
  exit(1);
end
