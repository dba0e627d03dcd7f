function G = nlh1denoise(F, varargin)
% NLH1DENOISE  Remove Gaussian noise from an image by nonlocal quadratic (H1) smoothing.
%
%   G = nlh1denoise(F)
%   G = nlh1denoise(F, NAME, VALUE, ...)
%
%   Builds the image's nonlocal weight graph from the similarity of its
%   patches (PATCHGRAPH, the patches compared after WAVEDENOISE; for a
%   colour image, on the mean of its channels, so that one graph serves
%   them all) and restores each channel by nonlocal H1 regularisation over
%   it (GRAPHSMOOTH): each pixel is pulled toward the pixels whose
%   surroundings look like its own. Unless 'Mu' is given, the fidelity
%   weight is chosen among 0.25, 0.5, 1 and 2 times 0.01/Sigma by Stein's
%   unbiased risk estimate (SURE), so smooth images are smoothed more.
%
%   F is a grey-level (M-by-N) or colour (M-by-N-by-C) image of class uint8,
%   uint16, int16, single, double or logical. G has F's size and class: an
%   integer image is denoised on the [0, 1] scale of im2double and rounded
%   back, a single or double image keeps its own values (the defaults are
%   measured on images in [0, 1]). The work is in single precision.
%
%   Options:
%     'Sigma'       noise standard deviation on the scale of im2double(F), one
%                   value or one per channel; default: estimated by NOISELEVEL.
%     'PatchSize'   side of the compared patches, odd; default 5.
%     'WindowSize'  side of the search window, odd; default 11.
%     'Neighbours'  best-matching neighbours per pixel besides the 4 nearest;
%                   default 10.
%     'H'           patchgraph's filtering parameter; default
%                   0.1*Sigma^2*sum(kernel) for its 5-by-5 Gaussian kernel
%                   (for colour, the mean of the channels' Sigma^2).
%     'Mu'          fidelity weight; default: chosen by SURE as above.
%     'Iterations'  outer iterations (two sweeps each); default 10.
%     'Verbose'     true to print the steps and the plug-ins' timing lines.
%
%   With its defaults, nlh1denoise comes within 0.5 dB of scikit-image's
%   denoise_nl_means (patch 5, distance 6, h = 0.8 sigma) on photographs
%   with noise of 0.05 and 0.1 (the table is in the README).
%
%   Example:
%     img = imrestore_sample();
%     noisy = img + 0.05 * randn(size(img));
%     clean = nlh1denoise(noisy);
%     imshow([noisy clean])
%
%   See also PATCHGRAPH, GRAPHSMOOTH, NLTVDENOISE, NOISELEVEL.

[x, back] = imrestore_unit_image('nlh1denoise', F);
opts = imrestore_graph_options('nlh1denoise', 10, varargin);
G = back(imrestore_denoise('nlh1denoise', x, double(opts.Sigma), imrestore_graph_settings(opts)));
end

%!shared img, noisy, psnr1
%! img = imrestore_sample();
%! randn('state', 7);
%! noisy = img + 0.05 * randn(size(img));
%! psnr1 = @(u, ref) 10 * log10(1 / mean((double(u(:)) - ref(:)).^2));

%!test
%! ## the defaults raise the PSNR; a given mu runs the plug-ins on the graph of the pre-denoised image
%! u = nlh1denoise(noisy, 'Sigma', 0.05);
%! assert(psnr1(u, img) > psnr1(noisy, img) + 5);
%! [a, b] = meshgrid(-2:2); k = single(exp(-(a.^2 + b.^2) / 2));
%! g = single(wavedenoise(noisy, 'Sigma', 0.05));
%! [w, nb] = patchgraph(g, k, single([0 256 256 5 11 4 10 0.1 * 0.05^2 * sum(k(:))]));
%! v = graphsmooth(single(noisy), w, nb, single([0 256 256 5 11 14 0.3 10]));
%! assert(isequal(nlh1denoise(noisy, 'Sigma', 0.05, 'Mu', 0.3), double(v)));

%!test
%! ## class, colour and odd sizes; a known sigma per channel
%! part = noisy(1:37, 1:50);
%! u = nlh1denoise(int16(30000 * part));
%! assert(class(u), 'int16');
%! ## the channels share one graph: two equal channels give the grey result
%! rgb = nlh1denoise(cat(3, part, part), 'Sigma', [0.05 0.05]);
%! assert(rgb(:, :, 1), nlh1denoise(part, 'Sigma', 0.05));
%! assert(rgb(:, :, 2), rgb(:, :, 1));
%! assert(size(nlh1denoise(cat(3, part, part), 'Sigma', [0.05 0.1])), [37 50 2]);

%!error <'Mu' must be a positive finite scalar> nlh1denoise(noisy, 'Mu', 0)
%!error <'Verbose' must be true or false> nlh1denoise(noisy, 'Verbose', 2)
