function u = literal_channels(x, sigma, restore)
% LITERAL_CHANNELS  Each channel of X restored on its own by RESTORE(channel,
% sigma), with the noise level of LITERAL_NOISELEVEL when SIGMA is [].
C = size(x, 3);
if isempty(sigma) && min(size(x, 1), size(x, 2)) < 2
  sigma = zeros(1, C);
elseif isempty(sigma)
  sigma = literal_noiselevel(x);
elseif isscalar(sigma)
  sigma = repmat(sigma, 1, C);
end
u = zeros(size(x));
for c = 1:C
  u(:, :, c) = restore(x(:, :, c), sigma(c));
end
end
