%!shared I
%! randn('state', 4);
%! [x, y] = meshgrid(1:18, 1:14);
%! I = double(x > 8) + 0.1 * randn(14, 18);

%!test
%! ## defaults: patch radius 3, search radius 6
%! W = patchaffinity(I, 0.3);
%! n = numel(I);
%! assert(issparse(W) && isreal(W) && strcmp(class(W), 'double'));
%! assert(size(W), [n n]);
%! assert(isequal(W, W.'));
%! assert(full(diag(W)), ones(n, 1));
%! assert(nnz(W(:, sub2ind(size(I), 7, 9))), 169);
%! assert(nnz(W(:, 1)), 49);
%! assert(all(nonzeros(W) > 0 & nonzeros(W) <= 1));

%!test
%! ## search radius 0: the identity; a window over the whole image: dense
%! assert(isequal(patchaffinity(I, 0.3, 1, 0), speye(numel(I))));
%! assert(nnz(patchaffinity(I(1:6, 1:7), 0.3, 2, 20)), 42^2);

%!test
%! ## a constant image gives all ones; one-pixel patches compare pixel values
%! W = patchaffinity(0.7 * ones(5, 6), 0.1, 2, 2);
%! assert(all(nonzeros(W) == 1));
%! W = patchaffinity([0 0.5], 0.5, 0, 1);
%! assert(full(W), [1 exp(-0.5); exp(-0.5) 1]);

%!test
%! ## arguments are never written
%! I0 = I + 0;
%! W = patchaffinity(I, 0.3, 2, 3);
%! assert(isequal(I, I0));

%!error <At least one inputs required.> W = patchaffinity()
%!error <Too many inputs required.> W = patchaffinity(I, 1, 1, 1, 1, 1, 1)
%!error <One output required.> patchaffinity(I, 0.3)
%!error <One output required.> [A, B] = patchaffinity(I, 0.3)
%!error <filtering parameter h> W = patchaffinity(I)
%!error <real, full, non-empty double> W = patchaffinity(single(I), 0.3)
%!error <real, full, non-empty double> W = patchaffinity(sparse(I), 0.3)
%!error <H \(argument 2\) must not be 0> W = patchaffinity(I, 0)
%!error <must not be negative> W = patchaffinity(I, 0.3, -1)
%!error <smaller than both image sizes> W = patchaffinity(I(1:3, :), 0.3, 3)
%!error <SEARCHRADIUS \(argument 4\) must be finite> W = patchaffinity(I, 0.3, 1, NaN)
