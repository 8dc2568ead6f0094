% TESSALINE_LOAD  Load a Scilab data file written by Tessaline, in MATLAB and GNU Octave.
%   S = TESSALINE_LOAD(FILE) returns a struct with one field per variable of FILE
%   (raw_data as int16, channels x samples; Volume3D as uint8, height x width x slices).
%   TESSALINE_LOAD(FILE) defines the variables in the caller's workspace, as LOAD does.
%   TESSALINE_LOAD(FILE, NAME1, NAME2, ...) loads only the variables named.
%
%   The whole file is checked first: a truncated file, an unknown record or bytes after
%   the last variable raise an error naming the file and the byte offset, and nothing
%   is defined. The file layout is described in Tessaline's docs/scilab-format.md.
%
%   Example:
%     s    = tessaline_load('/data/run.dat', 'raw_data', 'CalXRnge');
%     data = double(s.raw_data) .* s.CalXRnge(1:end-1)';   % T x 1e13 (MEG), uV (EEG), ...
%     t    = (0:size(s.raw_data, 2) - 1) / s.CalXRnge(end); % seconds
function varargout = tessaline_load(file, varargin)
  fid = fopen(file, 'r', 'ieee-le');
  if fid < 0
    error('tessaline_load:open', 'tessaline_load: cannot open %s', file);
  end
  closer = onCleanup(@() fclose(fid));
  fseek(fid, 0, 'eof');
  total = ftell(fid);
  s = struct();
  pos = 0;
  while pos < total
    [name, kind, dims, pos] = read_header(fid, file, pos, total);
    count = prod(dims);
    if isempty(varargin) || any(strcmp(name, varargin))
      fseek(fid, pos, 'bof');
      s.(name) = read_data(fid, kind, dims, count);
    end
    pos = pos + count * unit_of(kind);
  end
  if nargout > 0
    varargout{1} = s;
  else
    names = fieldnames(s);
    for k = 1:numel(names)
      assignin('caller', names{k}, s.(names{k}));
    end
  end
end

function u = unit_of(kind)
  switch kind
    case {'double', 'hyperdouble'}
      u = 8;
    case 'int16'
      u = 2;
    otherwise
      u = 1;
  end
end

function t = dims_text(dims)
  t = strjoin(arrayfun(@num2str, dims, 'UniformOutput', false), ' x ');
end

function fail(file, what, offset)
  error('tessaline_load:format', 'tessaline_load: %s: %s at byte offset %d', file, what, offset);
end

function w = words(fid, file, n, pos, total, what)
  if total - pos < 4 * n
    fail(file, sprintf('%s runs past the end of the file (%d bytes needed, %d left)', what, 4 * n, total - pos), pos);
  end
  fseek(fid, pos, 'bof');
  w = fread(fid, n, 'int32=>double')';
end

function expect(file, got, want, pos, what)
  k = find(got ~= want, 1);
  if ~isempty(k)
    fail(file, sprintf('%s is %d, not %d', what, got(k), want(k)), pos + 4 * (k - 1));
  end
end

% Scilab's own reading of a name area: six little-endian words of four signed codes each.
function name = decode_name(w)
  name = '';
  for rest = w
    for k = 1:4
      code = mod(rest + 128, 256) - 128;
      rest = (rest - code) / 256;
      if code == 40
        return;
      elseif code >= 0 && code <= 9
        name(end + 1) = char(48 + code);
      elseif code >= 10 && code <= 35
        name(end + 1) = char(87 + code);
      elseif code >= -35 && code <= -10
        name(end + 1) = char(55 - code);
      elseif code == 36
        name(end + 1) = '_';
      else
        name = [];
        return;
      end
    end
  end
end

% Reads and checks one record header at pos; returns where its data begin.
function [name, kind, dims, pos] = read_header(fid, file, pos, total)
  start = pos;
  w = words(fid, file, 7, pos, total, 'variable header');
  name = decode_name(w(1:6));
  if isempty(name)
    fail(file, 'name area that is not a Scilab name', start);
  end
  pos = pos + 28;
  switch w(7)
    case {1, 8}
      h = words(fid, file, 3, pos, total, 'matrix header');
      if w(7) == 1
        expect(file, h(3), 0, pos + 8, 'complex flag');
        kind = 'double';
      else
        expect(file, h(3), 2, pos + 8, 'integer kind');
        kind = 'int16';
      end
      dims = h(1:2);
      pos = pos + 12;
    case 17
      h = words(fid, file, 37, pos, total, 'hypermatrix header');
      expect(file, h(1:4), [3 1 12 16], pos, 'hypermatrix list header');
      expect(file, h(6:30), [10 1 3 0 1 3 7 14 17 22 13 18 22 28 14 23 29 27 18 14 28 8 1 3 4], ...
             pos + 20, 'hypermatrix field header');
      dims = h(31:33);
      d = prod(dims);
      if h(35) ~= d || h(36) ~= 1
        fail(file, sprintf('%d x %d entries for dimensions %s', h(35), h(36), dims_text(dims)), pos + 136);
      end
      if h(34) == 8 && h(37) == 11
        kind = 'uint8';
        last = floor(d / 8) + 19;
      elseif h(34) == 1 && h(37) == 0
        kind = 'hyperdouble';
        last = d + 18;
      else
        fail(file, sprintf('unknown hypermatrix entries %d/%d', h(34), h(37)), pos + 132);
      end
      if h(5) ~= last
        fail(file, sprintf('hypermatrix end offset %d does not fit %d entries', h(5), d), pos + 16);
      end
      pos = pos + 148;
    otherwise
      fail(file, sprintf('unknown type word %d', w(7)), start + 24);
  end
  if any(dims < 0)
    fail(file, sprintf('negative dimensions %s', dims_text(dims)), pos - 12);
  end
  if total - pos < prod(dims) * unit_of(kind)
    fail(file, sprintf('data of %s (%s %s) run past the end of the file', name, dims_text(dims), kind), pos);
  end
end

% One block read of a record's data, shaped as Scilab holds it.
function v = read_data(fid, kind, dims, count)
  switch kind
    case 'double'
      v = reshape(fread(fid, count, 'double=>double'), dims);
    case 'int16'
      v = reshape(fread(fid, count, 'int16=>int16'), dims);
    case 'uint8'
      v = reshape(fread(fid, count, 'uint8=>uint8'), dims);
    case 'hyperdouble'
      v = reshape(fread(fid, count, 'double=>double'), dims);
  end
end
