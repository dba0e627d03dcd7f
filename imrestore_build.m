function outdir = imrestore_build(outdir)
% IMRESTORE_BUILD  Build the imrestore MEX files with the host's mex command.
%
%   imrestore_build()
%   imrestore_build(OUTDIR)
%   OUTDIR = imrestore_build(...)
%
%   Compiles the seven imrestore functions from this folder's sources with
%   the mex command of MATLAB or GNU Octave (no CMake needed) and puts the
%   MEX files, their help files, the functions written in the host's
%   language and the test image in OUTDIR (default: the folder 'imrestore'
%   inside the current folder), then says where they are. Add that folder
%   to the path to use them:
%
%     addpath(imrestore_build())
%     help imrestore
%
%   The compiler is asked for results reproducible bit for bit (no fused
%   multiply-adds and no fast-math reassociation, with GCC and Clang) and to
%   optimise for the processor of this machine: build on the machine where
%   the functions run. MATLAB on Windows with Microsoft's compiler is asked
%   for /fp:precise instead. Needs a C++17 compiler that mex is set up with
%   (mex -setup C++ in MATLAB; Octave uses the compiler it was built with).

top = fileparts(mfilename('fullpath'));
if nargin < 1 || isempty(outdir)
  outdir = fullfile(pwd, 'imrestore');
end
if ~exist(outdir, 'dir')
  mkdir(outdir);
end
objdir = tempname();
mkdir(objdir);
cleanup = onCleanup(@() rmdir(objdir, 's'));

includes = strcat('-I', fullfile(top, {'host', 'common', 'nonlocal', 'tv', 'affinity', 'wavelet'}));
core = fullfile(top, {'nonlocal/work_memory.cpp', 'nonlocal/weight_graph.cpp', ...
  'nonlocal/patch_graph.cpp', 'nonlocal/sweep_schedule.cpp', 'nonlocal/nonlocal_tv.cpp', ...
  'nonlocal/nonlocal_h1.cpp', 'tv/column_matrix.cpp', 'tv/rof_denoise.cpp', ...
  'affinity/patch_affinity.cpp', 'wavelet/wavelet_transform.cpp'});
plugins = {'patchgraph', 'graphshrink', 'graphsmooth', 'tvclean', 'patchaffinity', ...
           'waveanalyze', 'wavesynth'};

isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
if isOctave
  % Octave's mex is mkoctfile, which takes its compiler flags from the
  % environment.
  flags = ['-O3 -march=native -std=c++17 -pthread -ffp-contract=off -fno-fast-math ' ...
           '-fvisibility=hidden -fvisibility-inlines-hidden'];
  saved = getenv('CXXFLAGS');
  setenv('CXXFLAGS', flags);
  restore = onCleanup(@() setenv('CXXFLAGS', saved));
  compileArgs = {};
elseif ispc() && ~isempty(strfind(lower(mex.getCompilerConfigurations('C++', 'Selected').ShortName), 'msvc'))
  compileArgs = {'COMPFLAGS=$COMPFLAGS /O2 /fp:precise /std:c++17'};
else
  compileArgs = {'CXXFLAGS=$CXXFLAGS -O3 -march=native -std=c++17 -pthread -ffp-contract=off -fno-fast-math', ...
                 'LDFLAGS=$LDFLAGS -pthread'};
end

% The core once, then each gateway linked with it.
objects = cell(size(core));
for k = 1:numel(core)
  [~, name] = fileparts(core{k});
  objects{k} = compileObject(core{k}, fullfile(objdir, name), isOctave, includes, compileArgs);
end
for k = 1:numel(plugins)
  name = plugins{k};
  gateway = compileObject(fullfile(top, 'plugins', [name '.cpp']), fullfile(objdir, name), ...
                          isOctave, includes, compileArgs);
  fprintf('Linking %s\n', name);
  if isOctave
    mex(gateway, objects{:}, '-o', fullfile(outdir, [name '.' mexext()]));
  else
    % libut answers whether Ctrl-C is pending.
    mex(compileArgs{:}, gateway, objects{:}, '-lut', '-outdir', outdir, '-output', name);
  end
  copyfile(fullfile(top, 'plugins', [name '.m']), outdir);
end
% The functions written in the host's language, their private helpers and
% the test image.
copyfile(fullfile(top, 'toolbox', '*'), outdir);
fprintf('The imrestore functions are in %s\nAdd them to the path with: addpath(''%s'')\n', outdir, outdir);
if nargout == 0
  clear outdir
end
end

function object = compileObject(source, stem, isOctave, includes, compileArgs)
% Compiles one source file into an object file named after STEM.
fprintf('Compiling %s\n', source);
if isOctave
  object = [stem '.o'];
  mex('-c', includes{:}, source, '-o', object);
else
  [folder, name] = fileparts(stem);
  mex(compileArgs{:}, '-c', includes{:}, source, '-outdir', folder);
  found = dir(fullfile(folder, [name '.o*']));   % .o, or .obj on Windows
  object = fullfile(folder, found(1).name);
end
end
