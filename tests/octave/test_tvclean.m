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
