% Runs every test_*.m file of a folder with Octave's test function against
% the plug-ins of a MEX folder, and exits non-zero when any test fails.
%   octave-cli run_tests.m MEXDIR TESTDIR
args = argv();
if numel(args) < 2
  error('usage: octave-cli run_tests.m MEXDIR TESTDIR');
end
addpath(args{1});
addpath(args{2});
files = dir(fullfile(args{2}, 'test_*.m'));
passed = 0;
total = 0;
for f = files'
  [n, nmax] = test(fullfile(args{2}, f.name), 'quiet', stdout);
  printf('%-28s %3d of %3d passed\n', f.name, n, nmax);
  passed += n;
  total += nmax;
end
printf('%d passed, %d failed\n', passed, total - passed);
if total == 0 || passed < total
  exit(1);
end
