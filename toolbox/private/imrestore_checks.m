function c = imrestore_checks()
% IMRESTORE_CHECKS  Tests shared by the options of the imrestore denoisers.
%
%   C = imrestore_checks() returns a struct of {TEST, TEXT} pairs for
%   imrestore_options: positive, positiveOrEmpty (a value, or [] for the
%   default), count (a positive integer), sigma (positive, one value or
%   one per channel, or [] to estimate it), flag and odd (an odd side).

isreal_num = @(v) isnumeric(v) && isreal(v) && ~issparse(v);
c.positive = {@(v) isreal_num(v) && isscalar(v) && isfinite(v) && v > 0, 'a positive finite scalar'};
c.positiveOrEmpty = {@(v) (isnumeric(v) && isempty(v)) || (isreal_num(v) && isscalar(v) && isfinite(v) && v > 0), ...
                     'a positive finite scalar, or [] for the default'};
c.count = {@(v) isreal_num(v) && isscalar(v) && isfinite(v) && v >= 1 && v == round(v), 'a positive integer'};
c.sigma = {@(v) (isnumeric(v) && isempty(v)) || (isreal_num(v) && isvector(v) && all(isfinite(v)) && all(v > 0)), ...
           'a positive noise level (one value, or one per colour channel), or [] to estimate it'};
c.flag = {@(v) (islogical(v) || isnumeric(v)) && isscalar(v) && isreal(v) && (v == 0 || v == 1), 'true or false'};
c.odd = {@(v) isreal_num(v) && isscalar(v) && isfinite(v) && v >= 1 && v == round(v) && mod(v, 2) == 1, ...
         'an odd positive integer'};
end
