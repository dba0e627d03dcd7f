function opts = imrestore_graph_options(caller, iterations, args, extra)
% IMRESTORE_GRAPH_OPTIONS  The options of the nonlocal denoisers.
%
%   OPTS = imrestore_graph_options(CALLER, ITERATIONS, ARGS) takes the
%   name-value pairs ARGS over the defaults shared by NLTVDENOISE and
%   NLH1DENOISE: Sigma [], PatchSize 5, WindowSize 11, Neighbours 10, H [],
%   Mu [], Iterations ITERATIONS and Verbose false. EXTRA, when given, is a
%   cell {NAME, DEFAULT, CHECK} of one more option of CALLER's own.

c = imrestore_checks();
defaults = struct('Sigma', [], 'PatchSize', 5, 'WindowSize', 11, 'Neighbours', 10, 'H', [], 'Mu', [], ...
                  'Iterations', iterations, 'Verbose', false);
checks = struct('Sigma', {c.sigma}, 'PatchSize', {c.odd}, 'WindowSize', {c.odd}, 'Neighbours', {c.count}, ...
                'H', {c.positiveOrEmpty}, 'Mu', {c.positiveOrEmpty}, 'Iterations', {c.count}, ...
                'Verbose', {c.flag});
if nargin > 3
  defaults.(extra{1}) = extra{2};
  checks.(extra{1}) = extra{3};
end
opts = imrestore_options(caller, defaults, checks, args);
end
