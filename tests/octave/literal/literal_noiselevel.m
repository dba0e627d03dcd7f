function sigma = literal_noiselevel(x)
% LITERAL_NOISELEVEL  The noise estimate written plainly over WAVEANALYZE:
% the median absolute finest diagonal detail (Daubechies-2) over 0.6745,
% per channel of the double image X; an odd last row or column left out.
[M, N, C] = size(x);
h = [0.4829629131445341 0.8365163037378079 0.2241438680420134 -0.1294095225512604];
M2 = 2 * floor(M / 2);
N2 = 2 * floor(N / 2);
sigma = zeros(1, C);
for c = 1:C
  y = waveanalyze(x(1:M2, 1:N2, c), h, 1);
  d = y(M2 / 2 + 1:M2, N2 / 2 + 1:N2);
  sigma(c) = median(abs(d(:))) / 0.6745;
end
end
