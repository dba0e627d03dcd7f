function u = literal_nonlocal(model, x, sigma, patchSide, windowSize, neighbours, h, lambda, mu, iterations)
% LITERAL_NONLOCAL  The nonlocal recipe written plainly over WAVEDENOISE's
% literal twin, PATCHGRAPH, GRAPHSMOOTH and GRAPHSHRINK, per channel:
% MODEL 'tv' or 'h1'; H and MU [] for the recipe's own choice.
u = literal_channels(x, sigma, @(f, s) channel(model, f, s, patchSide, windowSize, neighbours, h, lambda, mu, ...
                                                iterations));
end

function u = channel(model, f, sigma, patchSide, windowSize, neighbours, h, lambda, mu, iterations)
if sigma == 0
  u = f;
  return;
end
% The graph of the image pre-denoised by the wavelet recipe.
[M, N] = size(f);
half = (patchSide - 1) / 2;
windowSide = min(windowSize, 2 * (min(M, N) - half) + 1);
[a, b] = meshgrid(-half:half);
kernel = single(exp(-(a.^2 + b.^2) / 2));
if isempty(h)
  h = 0.1 * sigma^2 * sum(kernel(:));
end
daubechies8 = [0.2303778133088964 0.7148465705529154 0.6308807679298587 -0.0279837694168599 ...
               -0.1870348117190931 0.0308413818355607 0.0328830116668852 -0.0105974017850690];
fs = single(literal_wavedenoise(f, sigma, 5, daubechies8, 1, 2));
[~, w, nb] = evalc('patchgraph(fs, kernel, single([0 M N patchSide windowSide 4 neighbours h]))');
p = [0 M N patchSide windowSide 4 + neighbours];
fs = single(f);
if isempty(mu)
  % SURE of the H1 model picks the factor.
  n = numel(f);
  k = (1:n)';
  q = sin(k * 12.9898 + 78.233) * 43758.5453;
  probe = single(reshape(2 * (q - floor(q) >= 0.5) - 1, size(f)));
  risk = inf;
  sureIterations = iterations;
  if strcmp(model, 'tv')
    sureIterations = 10;
  end
  for c = [0.25 0.5 1 2]
    params = single([p c * 0.01 / sigma sureIterations]);
    v = double(graphsmooth(fs, w, nb, params));
    Ab = double(graphsmooth(probe, w, nb, params));
    r = sum((v(:) - f(:)).^2) / n - sigma^2 + 2 * sigma^2 * (double(probe(:))' * Ab(:)) / n;
    if r < risk
      risk = r;
      factor = c;
      u = v;
    end
  end
  if strcmp(model, 'h1')
    return;
  end
  mu = 1.4 * factor * 0.4 / sigma;
end
if strcmp(model, 'h1')
  u = double(graphsmooth(fs, w, nb, single([p mu iterations])));
else
  z = zeros(p(3), p(2), p(6), 'single');
  u = double(graphshrink(fs, z, z, fs, w, nb, single([p lambda mu iterations])));
end
end
