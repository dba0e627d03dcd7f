function [x, back] = imrestore_unit_image(caller, F)
% IMRESTORE_UNIT_IMAGE  An image as doubles on the scale of its class.
%
%   [X, BACK] = imrestore_unit_image(CALLER, F) checks that F is a real,
%   full, non-empty, finite M-by-N or M-by-N-by-C numeric or logical array
%   and returns it as doubles: integer classes mapped onto [0, 1] as
%   im2double maps them, single, double and logical values as they are.
%   BACK(U) turns a result on that scale into F's class and range again
%   (integer classes rounded and saturated, logical by U >= 0.5).

if ~(isnumeric(F) || islogical(F)) || ~isreal(F) || issparse(F) || isempty(F) || ndims(F) > 3
  error(['imrestore:' caller ':invalidImage'], ...
        '%s: F must be a real, full, non-empty grey-level (M-by-N) or colour (M-by-N-by-C) image; it is a %s %s array.', ...
        caller, strjoin(arrayfun(@num2str, size(F), 'UniformOutput', false), '-by-'), class(F));
end
cls = class(F);
switch cls
  case 'uint8',  lo = 0;      span = 255;
  case 'uint16', lo = 0;      span = 65535;
  case 'int16',  lo = -32768; span = 65535;
  case 'uint32', lo = 0;      span = 4294967295;
  case 'int32',  lo = -2147483648; span = 4294967295;
  case 'int8',   lo = -128;   span = 255;
  otherwise,     lo = 0;      span = 1;
end
x = (double(F) - lo) / span;
if ~all(isfinite(x(:)))
  error(['imrestore:' caller ':invalidImage'], '%s: F must be finite (it holds NaN or Inf values).', caller);
end
if islogical(F)
  back = @(u) u >= 0.5;
elseif isinteger(F)
  back = @(u) cast(round(u * span + lo), cls);   % cast saturates
else
  back = @(u) cast(u, cls);
end
end
