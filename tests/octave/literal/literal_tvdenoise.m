function u = literal_tvdenoise(x, sigma, mu, tolerance)
% LITERAL_TVDENOISE  The TV recipe written plainly over TVCLEAN: per
% channel, MU or the candidate of least SURE among [0.7 1 1.2 1.4 1.7]/sigma.
u = literal_channels(x, sigma, @(f, s) channel(f, s, mu, tolerance));
end

function u = channel(f, sigma, mu, tolerance)
if size(f, 1) < 2 || size(f, 2) < 2 || sigma == 0
  u = f;
  return;
end
if ~isempty(mu)
  u = tvclean(f, mu, tolerance);
  return;
end
n = numel(f);
k = (1:n)';
p = sin(k * 12.9898 + 78.233) * 43758.5453;
b = reshape(2 * (p - floor(p) >= 0.5) - 1, size(f));
e = 0.1 * sigma;
risk = inf;
for c = [0.7 1 1.2 1.4 1.7] / sigma
  v = tvclean(f, c, tolerance);
  w = tvclean(f + e * b, c, tolerance);
  r = sum((v(:) - f(:)).^2) / n - sigma^2 + 2 * sigma^2 * (b(:)' * (w(:) - v(:))) / (e * n);
  if r < risk
    risk = r;
    u = v;
  end
end
end
