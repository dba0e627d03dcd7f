function u = literal_nonlocal(model, x, sigma, patchSide, windowSize, neighbours, h, lambda, mu, iterations)
% LITERAL_NONLOCAL  The nonlocal recipe written plainly over WAVEDENOISE's
% literal twin, PATCHGRAPH, GRAPHSMOOTH and GRAPHSHRINK: MODEL 'tv' or 'h1';
% H and MU [] for the recipe's own choice. One graph, from the mean of the
% channels' pre-denoised images, serves every channel.
[M, N, C] = size(x);
if isempty(sigma)
  sigma = literal_noiselevel(x);
elseif isscalar(sigma)
  sigma = repmat(sigma, 1, C);
end
u = x;
if all(sigma == 0)
  return;
end
half = (patchSide - 1) / 2;
windowSide = min(windowSize, 2 * (min(M, N) - half) + 1);
[a, b] = meshgrid(-half:half);
kernel = single(exp(-(a.^2 + b.^2) / 2));
if isempty(h)
  if C == 1
    h = 0.1 * sigma^2 * sum(kernel(:));
  else
    s2 = 0;
    for c = 1:C
      s2 = s2 + sigma(c)^2;
    end
    h = 0.1 * (s2 / C) * sum(kernel(:));
  end
end
daubechies8 = [0.2303778133088964 0.7148465705529154 0.6308807679298587 -0.0279837694168599 ...
               -0.1870348117190931 0.0308413818355607 0.0328830116668852 -0.0105974017850690];
g = literal_wavedenoise(x(:, :, 1), sigma(1), 5, daubechies8, 1, 2);
for c = 2:C
  g = g + literal_wavedenoise(x(:, :, c), sigma(c), 5, daubechies8, 1, 2);
end
if C > 1
  g = g / C;
end
g = single(g);
[~, w, nb] = evalc('patchgraph(g, kernel, single([0 M N patchSide windowSide 4 neighbours h]))');
p = [0 M N patchSide windowSide 4 + neighbours];
for c = 1:C
  if sigma(c) > 0
    u(:, :, c) = channel(model, x(:, :, c), sigma(c), w, nb, p, lambda, mu, iterations);
  end
end
end

function u = channel(model, f, sigma, w, nb, p, lambda, mu, iterations)
% Steps 2 and 3 over the shared graph.
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
