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
%   multiply-adds and no fast-math reassociation, with GCC and Clang;
%   /fp:precise with Microsoft's compiler). The MEX files run on any
%   processor of their kind: on x86-64 the vector kernels for AVX2 and
%   AVX-512 are built too and used where the processor has them. MATLAB
%   builds link the C++ runtime statically (GCC and Clang on Linux), so
%   that MATLAB's own older copy does not stand in for it. Needs a C++17
%   compiler that mex is set up with (mex -setup C++ in MATLAB; Octave uses
%   the compiler it was built with).

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

includes = {['-I' top]};
% The core's files, one per line of core_sources.txt ('#' starts a comment line).
core = regexp(fileread(fullfile(top, 'core_sources.txt')), '^[^#\s][^\r\n]*', 'match', 'lineanchors');
core = fullfile(top, core);
% The vector kernels, each compiled for its instruction set alone.
isX86 = ~isempty(regexp(lower(computer()), '^(x86_64|glnxa64|pcwin64|maci64)', 'once'));
isMsvc = ~isOctave_() && ispc() && ...
         ~isempty(strfind(lower(mex.getCompilerConfigurations('C++', 'Selected').ShortName), 'msvc'));
vector = {};
vectorFlags = {};
if isX86
  for kernel = {'sweep', 'nonlocal_tv', 'rof', 'patch_graph', 'patch_affinity', 'wavelet'}
    vector(end + 1:end + 2) = fullfile(top, 'simd', strcat(kernel{1}, {'_avx2.cpp', '_avx512.cpp'}));
    if isMsvc
      vectorFlags(end + 1:end + 2) = {'/arch:AVX2', '/arch:AVX512'};
    else
      vectorFlags(end + 1:end + 2) = {'-mavx2', '-mavx512f'};
    end
  end
end
core = [core, vector];
coreFlags = [repmat({''}, 1, numel(core) - numel(vector)), vectorFlags];
% The MEX files, one per line of plugins/plugins.txt.
plugins = regexp(fileread(fullfile(top, 'plugins', 'plugins.txt')), '^[^#\s][^\r\n]*', 'match', 'lineanchors');

isOctave = isOctave_();
% Octave's mex is mkoctfile, which takes its compiler flags from the
% environment; MATLAB's mex takes them as arguments.
if isOctave
  flags = ['-O3 -std=c++17 -pthread -ffp-contract=off -fno-fast-math ' ...
           '-fvisibility=hidden -fvisibility-inlines-hidden'];
  saved = getenv('CXXFLAGS');
  restore = onCleanup(@() setenv('CXXFLAGS', saved));
elseif isMsvc
  flags = '/O2 /fp:precise /std:c++17';
else
  flags = '-O3 -std=c++17 -pthread -ffp-contract=off -fno-fast-math -fvisibility=hidden';
end
linkArgs = {};
if ~isOctave && ~isMsvc
  linkArgs = {'LDFLAGS=$LDFLAGS -pthread'};
  if isunix() && ~ismac()
    linkArgs = {'LDFLAGS=$LDFLAGS -pthread -static-libstdc++ -static-libgcc'};
  end
end

% The core once, then each gateway linked with it.
objects = cell(size(core));
for k = 1:numel(core)
  [~, name] = fileparts(core{k});
  objects{k} = compileObject(core{k}, fullfile(objdir, name), isOctave, isMsvc, includes, ...
                             strtrim([flags ' ' coreFlags{k}]));
end
for k = 1:numel(plugins)
  name = plugins{k};
  gateway = compileObject(fullfile(top, 'plugins', [name '.cpp']), fullfile(objdir, name), ...
                          isOctave, isMsvc, includes, flags);
  fprintf('Linking %s\n', name);
  if isOctave
    mex(gateway, objects{:}, '-o', fullfile(outdir, [name '.' mexext()]));
  else
    % libut answers whether Ctrl-C is pending.
    mex(linkArgs{:}, gateway, objects{:}, '-lut', '-outdir', outdir, '-output', name);
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

function object = compileObject(source, stem, isOctave, isMsvc, includes, flags)
% Compiles one source file with FLAGS into an object file named after STEM.
fprintf('Compiling %s\n', source);
if isOctave
  object = [stem '.o'];
  setenv('CXXFLAGS', flags);
  mex('-c', includes{:}, source, '-o', object);
else
  [folder, name] = fileparts(stem);
  if isMsvc
    compileArgs = {['COMPFLAGS=$COMPFLAGS ' flags]};
  else
    compileArgs = {['CXXFLAGS=$CXXFLAGS ' flags]};
  end
  mex(compileArgs{:}, '-c', includes{:}, source, '-outdir', folder);
  found = dir(fullfile(folder, [name '.o*']));   % .o, or .obj on Windows
  object = fullfile(folder, found(1).name);
end
end

function yes = isOctave_()
yes = exist('OCTAVE_VERSION', 'builtin') ~= 0;
end
