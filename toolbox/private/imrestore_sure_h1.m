function [factor, u] = imrestore_sure_h1(f, sigma, w, nb, p, factors, iterations)
% IMRESTORE_SURE_H1  The nonlocal H1 weight of least estimated error.
%
%   [FACTOR, U] = imrestore_sure_h1(F, SIGMA, W, NB, P, FACTORS, ITERATIONS)
%   runs GRAPHSMOOTH on F over the graph (W, NB; P its first six parameters)
%   with mu = FACTOR * 0.01 / SIGMA for each of FACTORS and returns the
%   factor whose result U has the least Stein unbiased risk estimate
%   |U - F|^2/n - SIGMA^2 + 2 SIGMA^2 div/n. The smoother is linear in F, so
%   the divergence is b'*A*b for a fixed probe b, one more call per factor.

n = numel(f);
b = single(imrestore_probe(size(f)));
fs = single(f);
risk = inf;
for c = factors
  params = single([p c * 0.01 / sigma iterations]);
  v = double(graphsmooth(fs, w, nb, params));
  Ab = double(graphsmooth(b, w, nb, params));
  r = sum((v(:) - f(:)).^2) / n - sigma^2 + 2 * sigma^2 * (double(b(:))' * Ab(:)) / n;
  if r < risk
    risk = r;
    factor = c;
    u = v;
  end
end
end
