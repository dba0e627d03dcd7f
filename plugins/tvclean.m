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
%     MU   fidelity weight, above 0: a larger MU keeps U closer to F (less
%          smoothing), a smaller MU smooths more. For images in [0, 1] with
%          noise of standard deviation 0.05, MU around 0.05 to 0.2 is a start.
%     TOL  tolerance on the relative change, e.g. 1e-3; at least 1e-10
%          (smaller changes are at the rounding level of the iteration,
%          which might never reach them).
%
%   Result:
%     U    M-by-N double denoised image.
%
%   Example:
%     f = double(imread('cameraman.png')) / 255;   % any grey-level image
%     noisy = f + 0.05 * randn(size(f));
%     u = tvclean(noisy, 0.1, 1e-3);
%     imshow([noisy u])
%
%   See also GRAPHSHRINK.
