function b = imrestore_probe(sz)
% IMRESTORE_PROBE  Signs +1 and -1 in a fixed pseudo-random pattern.
%
%   B = imrestore_probe(SZ) is an array of size SZ for the divergence term
%   of Stein's unbiased risk estimate. It is the same at every call, and
%   the caller's random number generators are left alone.

x = sin((1:prod(sz))' * 12.9898 + 78.233) * 43758.5453;
b = reshape(2 * (x - floor(x) >= 0.5) - 1, sz);
end
