function u = imrestore_channels(caller, x, sigma, restore)
% IMRESTORE_CHANNELS  Restores each channel of an image on its own.
%
%   U = imrestore_channels(CALLER, X, SIGMA, RESTORE) calls
%   RESTORE(channel, sigma) for every channel of the M-by-N-by-C image X
%   with that channel's noise level: SIGMA is one value for all channels,
%   one per channel, or [] to estimate each with noiselevel (0, for no
%   noise, when the image is too small to estimate it).

C = size(x, 3);
if isempty(sigma) && min(size(x, 1), size(x, 2)) < 2
  sigma = zeros(1, C);
elseif isempty(sigma)
  sigma = noiselevel(x);
elseif isscalar(sigma)
  sigma = repmat(sigma, 1, C);
elseif numel(sigma) ~= C
  error(['imrestore:' caller ':invalidOption'], ...
        '%s: ''Sigma'' has %d values but the image has %d channels.', caller, numel(sigma), C);
end
u = zeros(size(x));
for c = 1:C
  u(:, :, c) = restore(x(:, :, c), sigma(c));
end
end
