%!shared h4, h8
%! h4 = [1+sqrt(3), 3+sqrt(3), 3-sqrt(3), 1-sqrt(3)] / (4*sqrt(2));
%! h8 = [0.2303778133088964 0.7148465705529154 0.6308807679298587 -0.0279837694168599 ...
%!       -0.1870348117190931 0.0308413818355607 0.0328830116668852 -0.0105974017850690];

%!test
%! ## the Haar examples
%! h = [1 1] / sqrt(2);
%! [y, L] = waveanalyze([1 2 3 4], h, 2);
%! assert(y, [5 -2 -1/sqrt(2) -1/sqrt(2)], 1e-14);
%! assert(L, 2);
%! assert(waveanalyze([1 2; 3 4], h, 1), [5 -1; -2 0], 1e-14);
%! assert(wavesynth([5 -1; -2 0], h, 1), [1 2; 3 4], 1e-14);

%!test
%! ## perfect reconstruction, vectors and images, default and smaller L
%! for h = {[1 1]/sqrt(2), h4, h8}
%!   for x = {rand(1, 96), rand(96, 1), rand(64, 48), rand(32, 16)}
%!     X = x{1};
%!     [y, L] = waveanalyze(X, h{1});
%!     assert(size(y), size(X));
%!     assert(wavesynth(y, h{1}, L), X, 1e-12);
%!     y1 = waveanalyze(X, h{1}, 1);
%!     assert(wavesynth(y1, h{1}, 1), X, 1e-12);
%!   end
%! end

%!test
%! ## row and column vectors give the same numbers; the filter's orientation does not matter
%! s = rand(1, 40);
%! assert(waveanalyze(s, h4, 3), waveanalyze(s', h4', 3)');
%! [~, L] = waveanalyze(s', h4);
%! assert(L, 3);

%!test
%! ## L = 0 copies in both directions; the arguments are never written
%! X = rand(8, 8); X0 = X + 0;
%! assert(waveanalyze(X, h4, 0), X);
%! assert(wavesynth(X, h4, 0), X);
%! waveanalyze(X, h4, 2); wavesynth(X, h4, 2);
%! assert(isequal(X, X0));

%!error <There are at most 3 input parameters allowed!> waveanalyze(1, 2, 3, 4)
%!error <There are at least 2 input parameters required!> wavesynth(rand(4))
%!error <The number of levels, L, must be a non-negative integer> waveanalyze(rand(8), h4, -1)
%!error <Maximum number of levels is zero; no decomposition can be performed!> waveanalyze(rand(3, 8), h4)
%!error <The matrix row dimension must be of size m\*2\^\(L\)> waveanalyze(rand(12, 8), h4, 3)
%!error <The matrix column dimension must be of size n\*2\^\(L\)> wavesynth(rand(16, 12), h4, 3)
%!error <The matrix row dimension> waveanalyze(rand(8), h4, 1024)
%!error <even length of at least 2> wavesynth(rand(8), [1 2 3])
%!error <real, full double matrix> waveanalyze(single(rand(8)), h4)
