function sigma = noiselevel(F)
% NOISELEVEL  Estimate the standard deviation of white Gaussian noise in an image.
%
%   SIGMA = noiselevel(F)
%
%   Estimates the noise level from the finest diagonal wavelet details of F
%   (Daubechies-2, through WAVEANALYZE): their median absolute value divided
%   by 0.6745, the estimator of Donoho and Johnstone. Image structure barely
%   reaches those details, so the estimate is robust for photographs with
%   noise above about 1% of their range.
%
%   F is a grey-level (M-by-N) or colour (M-by-N-by-C) image of class
%   uint8, uint16, int16, single, double or logical, at least 2-by-2. SIGMA
%   is on the scale of im2double(F): integer images count their range as 1
%   (a uint8 noise level of 12.75 is 0.05), single and double images keep
%   their own values. A colour image gives one value per channel (1-by-C).
%   The denoisers of the toolbox take SIGMA as their 'Sigma' option and
%   estimate it this way when it is not given.
%
%   Example:
%     img = imrestore_sample();
%     noisy = img + 0.05 * randn(size(img));
%     noiselevel(noisy)          % about 0.05
%
%   See also TVDENOISE, WAVEDENOISE, NLTVDENOISE, NLH1DENOISE, WAVEANALYZE.

x = imrestore_unit_image('noiselevel', F);
sigma = imrestore_denoise('noiselevel', x);
end

%!test
%! ## close to the true level on the sample image, at two levels and two classes
%! img = imrestore_sample();
%! randn('state', 1);
%! for s = [0.05 0.1]
%!   noisy = img + s * randn(size(img));
%!   assert(noiselevel(noisy), s, 0.1 * s);
%!   assert(noiselevel(single(noisy)), s, 0.1 * s);
%! end

%!test
%! ## integer images count their range as 1; colour gives one value per channel
%! img = imrestore_sample();
%! randn('state', 2);
%! noisy = uint8(255 * (img + 0.05 * randn(size(img))));
%! assert(noiselevel(noisy), 0.05, 0.006);
%! rgb = cat(3, img + 0.02 * randn(size(img)), img + 0.05 * randn(size(img)), img);
%! s = noiselevel(rgb);
%! assert(size(s), [1 3]);
%! assert(s(1:2), [0.02 0.05], 0.006);
%! assert(s(3) < 0.01);

%!test
%! ## odd sizes, constant images
%! randn('state', 3);
%! assert(noiselevel(0.1 * randn(31, 17)), 0.1, 0.025);
%! assert(noiselevel(ones(8, 8)), 0, 1e-12);

%!error id=imrestore:noiselevel:invalidImage noiselevel(1)
%!error <must be finite> noiselevel([1 NaN; 0 0])
%!error <real, full, non-empty> noiselevel({1})
%!error <real, full, non-empty> noiselevel(complex(ones(4)))
