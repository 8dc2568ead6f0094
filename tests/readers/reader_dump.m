% Test driver: runs tessaline_load (or Octave's own load) on each job and writes down what it loaded, for the C++ side to compare.
function reader_dump(jobs)
  lines = strsplit(fileread(jobs), "\n");
  for k = 1:numel(lines)
    words = strsplit(strtrim(lines{k}), ' ');
    switch words{1}
      case 'load'
        s = tessaline_load(words{3});
        dump_values(words{2}, s);
        % The form without an output defines the same variables in the caller.
        defined = load_into_workspace(words{3});
        fid = fopen([words{2} '.txt'], 'a');
        fprintf(fid, 'caller %s\n', strjoin(defined, ' '));
        fclose(fid);
      case 'select'
        dump_values(words{2}, tessaline_load(words{3}, words{4:end}));
      case 'native'
        % Octave's own load of a .mat file, the variables dumped in the order given; a file
        % without variables gives Octave's load no value at all.
        s = struct();
        if numel(words) > 3
          s = orderfields(load(words{3}), words(4:end));
        end
        dump_values(words{2}, s);
      case 'bad'
        dump_bad(words{2}, words{3}, words(4:end));
    end
  end
end

function defined = load_into_workspace(path__)
  tessaline_load(path__);
  defined = setdiff(who(), {'path__'})';
end

function dump_values(out, s)
  txt = fopen([out '.txt'], 'w');
  bin = fopen([out '.bin'], 'w', 'ieee-le');
  names = fieldnames(s);
  for k = 1:numel(names)
    x = s.(names{k});
    fprintf(txt, 'var %s %s %s\n', names{k}, class(x), strjoin(arrayfun(@num2str, size(x), 'UniformOutput', false), ' '));
    fwrite(bin, x(:), class(x));
  end
  fclose(bin);
  fclose(txt);
end

function dump_bad(out, path__, names)
  txt = fopen([out '.txt'], 'w');
  try
    tessaline_load(path__);
    fprintf(txt, 'loaded\n');
  catch err
    fprintf(txt, 'error %s\n', strrep(err.message, "\n", ' '));
  end
  defined = {};
  for k = 1:numel(names)
    if exist(names{k}, 'var')
      defined{end + 1} = names{k};
    end
  end
  fprintf(txt, 'defined %s\n', strjoin(defined, ' '));
  fclose(txt);
end
