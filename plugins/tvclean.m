% TVCLEAN  Total-variation (ROF) denoising by split Bregman iteration.
%
%   U = tvclean(F, MU, TOL)
%
%   Denoises the image F under the Rudin-Osher-Fatemi model: U is close to F
%   (weighted by MU) and has a small isotropic total variation. The model is
%   solved by split Bregman iteration (penalty weight lambda = 2*MU): each
%   iteration is one Gauss-Seidel sweep on U, a shrink of the gradient of U
%   plus the Bregman fields, and the Bregman update. Iterations run in
%   blocks of five until the relative change of U since the previous block,
%   norm(U - Uprev) / norm(Uprev), is at most TOL. At least two blocks run on
%   any image that is not all zero.
%
%   Arguments:
%     F    M-by-N double image, M and N at least 2 (of a complex image the
%          real part is used).
%     MU   fidelity weight, above 0 (from 2.2e-308 to 1.1e307): a larger
%          MU keeps U closer to F (less smoothing), a smaller MU smooths more. For noise of standard
%          deviation SIGMA, MU = 1.4/SIGMA is a good start (measured on
%          photographs, see the README); it scales as 1/SIGMA, so it holds
%          for images in [0, 1] and in [0, 255] alike.
%     TOL  tolerance on the relative change, e.g. 1e-3; at least 1e-10
%          (smaller changes are at the rounding level of the iteration,
%          which might never reach them).
%
%   Result:
%     U    M-by-N double denoised image.
%
%   Example:
%     img = imrestore_sample();
%     sigma = 0.05;
%     noisy = img + sigma * randn(size(img));
%     u = tvclean(noisy, 1.4 / sigma, 1e-3);
%     imshow([noisy u])
%
%   A colour image (more than two dimensions) is refused: denoise each
%   channel on its own, or use TVDENOISE. Ctrl-C stops the call at once.
%
%   See also TVDENOISE, GRAPHSHRINK.

%!shared clean, noisy
%! [x, y] = meshgrid(1:60, 1:50);
%! clean = double(x > 20 & x < 45 & y > 10 & y < 35) + 0.5 * (y > 40);
%! randn('state', 2);
%! noisy = clean + 0.1 * randn(size(clean));

%!test
%! ## denoising brings a noisy piecewise-constant image closer to the clean one
%! psnr1 = @(u) 10 * log10(max(clean(:))^2 / mean((u(:) - clean(:)).^2));
%! u = tvclean(noisy, 5, 1e-4);
%! assert(size(u), size(noisy));
%! assert(class(u), 'double');
%! assert(psnr1(u) > psnr1(noisy) + 6);

%!test
%! ## a constant image comes back unchanged up to rounding; zeros stay zeros
%! assert(tvclean(0.3 * ones(7, 9), 1, 1e-6), 0.3 * ones(7, 9), 1e-12);
%! assert(tvclean(zeros(4, 3), 1, 1e-3), zeros(4, 3));

%!test
%! ## called without output the result goes to ans; arguments are never written
%! n0 = noisy + 0;
%! tvclean(noisy, 5, 1e-3);
%! assert(isequal(ans, tvclean(noisy, 5, 1e-3)));
%! assert(isequal(noisy, n0));

%!test
%! ## mu and the tolerance may be of any numeric class; a 2-by-2 image works
%! assert(tvclean(noisy, single(5), int8(1)), tvclean(noisy, 5, 1));
%! u = tvclean([0 1; 1 0], 1, 1e-6);
%! assert(size(u), [2 2]);

%!error <denoise each channel separately> tvclean(cat(3, noisy, noisy), 5, 1e-3)
%!error <MU \(argument 2\) must be a numeric scalar \(it is a 1 by 2 double array\)> tvclean(noisy, [5 6], 1e-3)
%!error <range of normal doubles> tvclean(noisy, 5e-324, 1e-3)
%!error <Three input arguments required.> tvclean(noisy, 5)
%!error <Three input arguments required.> tvclean(noisy, 5, 1e-3, 1)
%!error <Too many output arguments.> [a, b] = tvclean(noisy, 5, 1e-3)
%!error <Input array must be of type double.> tvclean(single(noisy), 5, 1e-3)
%!error <not a sparse one> tvclean(sparse(noisy), 5, 1e-3)
%!error <at least two rows and two columns> tvclean(noisy(1, :), 5, 1e-3)
%!error <MU \(argument 2\) must be a numeric scalar> tvclean(noisy, [], 1e-3)
%!error <MU \(argument 2\) must be finite and above 0> tvclean(noisy, -1, 1e-3)
%!error <TOLERANCE \(argument 3\) must be finite and at least 1e-10> tvclean(noisy, 5, 0)
%!error <TOLERANCE \(argument 3\) must be a numeric scalar> tvclean(noisy, 5, 'a')

%!test
%! try
%!   tvclean(noisy, 5, Inf);
%!   assert(false);
%! catch err
%!   assert(err.identifier, 'imrestore:tvclean:invalidArgument');
%! end

%!demo
%! img = imrestore_sample(); sigma = 0.05;
%! noisy = img + sigma * randn(size(img));
%! u = tvclean(noisy, 1.4 / sigma, 1e-3);
%! imshow([noisy u]); title('noisy (left) and TV denoised (right)');
