% imrestore: variational and nonlocal image restoration
% Version 0.1.0
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
