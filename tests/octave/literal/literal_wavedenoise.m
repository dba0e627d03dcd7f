function u = literal_wavedenoise(x, sigma, levels, h, scale, shifts)
% LITERAL_WAVEDENOISE  The wavelet recipe written plainly over WAVEANALYZE
% and WAVESYNTH: BayesShrink soft thresholds on the mirrored extension,
% averaged over SHIFTS^2 cycle shifts, per channel.
u = literal_channels(x, sigma, @(f, s) channel(f, s, levels, h, scale, shifts));
end

function u = channel(f, sigma, levels, h, scale, shifts)
[M, N] = size(f);
L = min(levels, floor(log2(min(M, N))));
if L < 1 || sigma == 0
  u = f;
  return;
end
step = 2^L;
Mp = ceil(2 * M / step) * step;
Np = ceil(2 * N / step) * step;
x = f(mirrored(M, Mp), mirrored(N, Np));
u = zeros(Mp, Np);
for dy = 0:shifts - 1
  for dx = 0:shifts - 1
    v = shrinkDetails(circshift(x, [dy dx]), h, L, sigma, scale);
    u = u + circshift(v, [-dy -dx]);
  end
end
u = u(1:M, 1:N) / shifts^2;
end

function u = shrinkDetails(x, h, L, sigma, scale)
[Mp, Np] = size(x);
y = waveanalyze(x, h, L);
for level = 1:L
  rows = Mp / 2^level;
  cols = Np / 2^level;
  bands = {{1:rows, cols + 1:2 * cols}, {rows + 1:2 * rows, 1:cols}, {rows + 1:2 * rows, cols + 1:2 * cols}};
  for b = 1:3
    d = y(bands{b}{1}, bands{b}{2});
    spread = sqrt(max(mean(d(:).^2) - sigma^2, 0));
    if spread > 0
      t = scale * sigma^2 / spread;
    else
      t = max(abs(d(:)));
    end
    y(bands{b}{1}, bands{b}{2}) = sign(d) .* max(abs(d) - t, 0);
  end
end
u = wavesynth(y, h, L);
end

function index = mirrored(n, total)
index = [1:n, round(linspace(n, 1, total - n))];
end
