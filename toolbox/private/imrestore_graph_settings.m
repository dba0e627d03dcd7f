function s = imrestore_graph_settings(opts)
% IMRESTORE_GRAPH_SETTINGS  The settings vector of the nonlocal recipes.
%
%   S = imrestore_graph_settings(OPTS) is [PatchSize WindowSize Neighbours
%   H Lambda Mu Iterations Verbose] from the options of NLTVDENOISE or
%   NLH1DENOISE (imrestore_graph_options) for IMRESTORE_DENOISE: an H or Mu
%   left empty is 0, the recipe's own choice; Lambda is 1 where there is
%   none.

h = opts.H;
if isempty(h)
  h = 0;
end
mu = opts.Mu;
if isempty(mu)
  mu = 0;
end
lambda = 1;
if isfield(opts, 'Lambda')
  lambda = opts.Lambda;
end
s = [double(opts.PatchSize), double(opts.WindowSize), double(opts.Neighbours), double(h), double(lambda), ...
     double(mu), double(opts.Iterations), double(logical(opts.Verbose))];
end
