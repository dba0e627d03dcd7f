function opts = imrestore_options(caller, opts, checks, args)
% IMRESTORE_OPTIONS  Name-value options of an imrestore denoiser.
%
%   OPTS = imrestore_options(CALLER, DEFAULTS, CHECKS, ARGS) takes the
%   name-value pairs in the cell array ARGS over the struct DEFAULTS. Names
%   are matched without regard to case. CHECKS holds, for each field, a
%   cell {TEST, TEXT}: TEST(value) must be true, and TEXT says what is
%   accepted. Errors have the identifier imrestore:CALLER:invalidOption.

id = ['imrestore:' caller ':invalidOption'];
if mod(numel(args), 2) ~= 0
  error(id, '%s: options come in name-value pairs (%d arguments after the image).', caller, numel(args));
end
names = fieldnames(opts);
for k = 1:2:numel(args)
  name = args{k};
  if ~ischar(name) || size(name, 1) ~= 1
    error(id, '%s: argument %d must be an option name, one of: %s.', caller, k + 1, strjoin(names', ', '));
  end
  match = find(strcmpi(name, names));
  if isempty(match)
    error(id, '%s: unknown option ''%s''; the options are: %s.', caller, name, strjoin(names', ', '));
  end
  field = names{match};
  value = args{k + 1};
  check = checks.(field);
  if ~check{1}(value)
    error(id, '%s: ''%s'' must be %s.', caller, field, check{2});
  end
  opts.(field) = value;
end
end
