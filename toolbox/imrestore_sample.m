function img = imrestore_sample()
% IMRESTORE_SAMPLE  The toolbox's grey-level test image.
%
%   IMG = imrestore_sample()
%
%   Returns the 256-by-256 test image that ships with imrestore, as a double
%   image with values in [0, 1]: smooth shading, flat regions with sharp and
%   soft edges, thin lines, a stripe texture and a checkerboard. The help
%   examples of the toolbox start from it.
%
%   Example:
%     img = imrestore_sample();
%     noisy = img + 0.05 * randn(size(img));
%     imshow([img noisy])
%
%   See also PATCHGRAPH, TVCLEAN, WAVEANALYZE.

img = double(imread(fullfile(fileparts(mfilename('fullpath')), 'imrestore_sample.png'))) / 255;
end

%!test
%! img = imrestore_sample();
%! assert(size(img), [256 256]);
%! assert(class(img), 'double');
%! assert(min(img(:)) >= 0 && max(img(:)) <= 1);
