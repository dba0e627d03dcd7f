% The denoisers' compiled recipes against the same recipes written plainly
% over the plug-ins (tests/octave/literal): bit for bit, on grey and colour
% images, odd and tiny sizes, estimated and given noise levels.
%   octave-cli recipes_match_literal.m MEXDIR
args = argv();
addpath(args{1});
addpath(fullfile(fileparts(mfilename('fullpath')), 'literal'));
img = imrestore_sample();
randn('state', 12);
grey = img(1:64, 1:48) + 0.06 * randn(64, 48);
odd = img(101:137, 51:79) + 0.1 * randn(37, 29);
colour = cat(3, grey, img(65:128, 1:48) + 0.03 * randn(64, 48), 0.5 + 0 * grey);
daubechies2 = [0.4829629131445341 0.8365163037378079 0.2241438680420134 -0.1294095225512604];
haar = [1 1] / sqrt(2);
failed = 0;
passed = 0;
function [passed, failed] = expect(same, what, passed, failed)
  if same
    passed++;
  else
    failed++;
    printf('differs: %s\n', what);
  end
end
for x = {grey, odd, colour, img(1:3, 1:40), img(1:2, 1:2)}
  f = x{1};
  [passed, failed] = expect(isequal(noiselevel(f), literal_noiselevel(f)), 'noiselevel', passed, failed);
end
cases = {
  {grey, []}, {odd, []}, {colour, []}, {colour, [0.05 0.02 0.01]}, {grey, 0.1}, {img(1:3, 1:40), []}, ...
  {img(1:1, 1:9), []}, {zeros(8), []}};
for k = 1:numel(cases)
  [f, sigma] = cases{k}{:};
  what = sprintf('case %d', k);
  [passed, failed] = expect(isequal(tvdenoise(f, 'Sigma', sigma), literal_tvdenoise(f, sigma, [], 1e-3)), ...
                            ['tvdenoise ' what], passed, failed);
  [passed, failed] = expect(isequal(wavedenoise(f, 'Sigma', sigma), ...
                                    literal_wavedenoise(f, sigma, 5, ...
                                                        [0.2303778133088964 0.7148465705529154 0.6308807679298587 ...
                                                         -0.0279837694168599 -0.1870348117190931 0.0308413818355607 ...
                                                         0.0328830116668852 -0.0105974017850690], 1, 2)), ...
                            ['wavedenoise ' what], passed, failed);
end
[passed, failed] = expect(isequal(tvdenoise(odd, 'Mu', 9, 'Tolerance', 1e-4), literal_tvdenoise(odd, [], 9, 1e-4)), ...
                          'tvdenoise with Mu', passed, failed);
[passed, failed] = expect(isequal(tvdenoise(colour, 'Sigma', 0.05, 'Tolerance', 1e-2), ...
                                  literal_tvdenoise(colour, 0.05, [], 1e-2)), 'tvdenoise Tolerance', passed, failed);
% The last shifts wrap around the 6 rows of the tiny image's extension.
for settings = {{3, daubechies2, 1.5, 1, {odd, colour}}, {1, haar, 1, 3, {odd, colour}}, ...
                {9, daubechies2, 0.5, 4, {odd}}, {2, haar, 1, 7, {img(1:3, 1:40) + 0.1 * randn(3, 40)}}}
  [levels, h, scale, shifts, images] = settings{1}{:};
  for x = images
    f = x{1};
    mine = wavedenoise(f, 'Levels', levels, 'Filter', h, 'Scale', scale, 'Shifts', shifts);
    theirs = literal_wavedenoise(f, [], levels, h, scale, shifts);
    [passed, failed] = expect(isequal(mine, theirs), sprintf('wavedenoise levels %d, %d taps, scale %g, shifts %d', ...
                                                             levels, numel(h), scale, shifts), passed, failed);
  end
end
% The nonlocal pair: defaults, a given H and Mu, other sides, a window cut
% down to a small image, and colour (a flat channel, which the plain recipe
% refused, is tested with the functions themselves).
small = odd(1:9, 1:14);
colour(:, :, 3) = 0.5 + 0.02 * randn(64, 48);
nonlocalCases = {{grey, {}, 5, 11, 10, [], 1, [], 15, 10}, ...
                 {odd, {'Sigma', 0.1, 'H', 0.02, 'Mu', 6, 'Lambda', 2}, 5, 11, 10, 0.02, 2, 6, 15, 10}, ...
                 {colour, {'PatchSize', 3, 'WindowSize', 7, 'Neighbours', 6, 'Iterations', 4}, 3, 7, 6, [], 1, [], 4, 4}, ...
                 {small, {'Sigma', 0.1}, 5, 11, 10, [], 1, [], 15, 10}};
for k = 1:numel(nonlocalCases)
  [f, options, patchSide, windowSize, neighbours, h, lambda, mu, tvIterations, h1Iterations] = nonlocalCases{k}{:};
  sigma = [];
  named = find(strcmp(options, 'Sigma'));
  if ~isempty(named)
    sigma = options{named + 1};
  end
  tvOptions = options;
  h1Options = options(~ismember(1:numel(options), [find(strcmp(options, 'Lambda')), find(strcmp(options, 'Lambda')) + 1]));
  if ~isempty(mu)
    h1Options{find(strcmp(h1Options, 'Mu')) + 1} = 0.3;
  end
  mine = nltvdenoise(f, tvOptions{:});
  theirs = literal_nonlocal('tv', f, sigma, patchSide, windowSize, neighbours, h, lambda, mu, tvIterations);
  [passed, failed] = expect(isequal(mine, theirs), sprintf('nltvdenoise case %d', k), passed, failed);
  h1mu = mu;
  if ~isempty(mu)
    h1mu = 0.3;
  end
  mine = nlh1denoise(f, h1Options{:});
  theirs = literal_nonlocal('h1', f, sigma, patchSide, windowSize, neighbours, h, 1, h1mu, h1Iterations);
  [passed, failed] = expect(isequal(mine, theirs), sprintf('nlh1denoise case %d', k), passed, failed);
end
printf('%d passed, %d failed\n', passed, failed);
exit(failed > 0);
