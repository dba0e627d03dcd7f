% imrestore: variational and nonlocal image restoration
% Version 0.2.0
%
% Denoising a photograph (any class, grey or colour; defaults measured)
%   tvdenoise        - Total-variation (ROF) denoising, weight chosen by SURE.
%   nltvdenoise      - Nonlocal total-variation denoising over a patch graph.
%   nlh1denoise      - Nonlocal H1 (quadratic) denoising over a patch graph.
%   wavedenoise      - Wavelet denoising by per-subband soft thresholds.
%   noiselevel       - Estimate the noise standard deviation of an image.
%
% Nonlocal graphs
%   patchgraph       - Nonlocal weight graph of an image from patch similarity.
%   graphshrink      - Nonlocal total-variation restoration over a weight graph.
%   graphsmooth      - Nonlocal H1 (quadratic) restoration over a weight graph.
%
% Local total variation
%   tvclean          - Total-variation (ROF) denoising by split Bregman iteration.
%
% Nonlocal means
%   patchaffinity    - Sparse symmetric nonlocal-means affinity matrix of an image.
%
% Wavelets
%   waveanalyze      - Periodic discrete wavelet transform of a signal or image.
%   wavesynth        - Inverse periodic discrete wavelet transform.
%
% Test data
%   imrestore_sample - The toolbox's grey-level test image.
%
% Every result is reproducible bit for bit, whatever the number of threads
% (set IMRESTORE_THREADS to choose it) and the processor's vector unit.
% Ctrl-C stops a long call at once. A warning (imrestore:<function>:<what>)
% says when an argument's shape contradicts the sizes in PARAMS.
