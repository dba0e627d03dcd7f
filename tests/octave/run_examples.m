% Runs the Example block of every help file in a MEX folder, as written,
% from a fresh empty folder with only that folder added to the path, with
% figures kept off screen. Exits non-zero when any example fails.
%   octave-cli run_examples.m MEXDIR
args = argv();
mexdir = args{1};
addpath(mexdir);
set(0, 'defaultfigurevisible', 'off');
scratch = tempname(); mkdir(scratch); cd(scratch);
files = dir(fullfile(mexdir, '*.m'));
passed = 0; failed = 0;
for f = files'
  lines = strsplit(fileread(fullfile(mexdir, f.name)), "\n");
  start = find(! cellfun(@isempty, regexp(lines, '^%   Example')), 1);
  if isempty(start)
    continue;
  end
  code = {};
  for k = start + 1:numel(lines)
    if isempty(regexp(lines{k}, '^%     ', 'once'))
      break;
    end
    code{end + 1} = lines{k}(7:end);
  end
  try
    evalc(strjoin(code, "\n"));
    passed++;
  catch err
    printf('%s: example failed: %s\n', f.name, err.message);
    failed++;
  end
  close all;
end
printf('%d passed, %d failed\n', passed, failed);
exit(failed > 0 || passed == 0);
