// Test driver: runs tessaline_load (or Scilab's own load) on each job and writes down what it defined, for the C++ side to compare.
// Set before exec: reader (path of tessaline_load.sci) and jobs (path of the job list).
exec(reader, -1);

function reader_dump_values(out, names)
    txt = mopen(out + ".txt", "wt");
    bin = mopen(out + ".bin", "wb");
    for n = names(:)'
        execstr("x = " + n + ";");
        cls = typeof(x);
        if cls == "constant" then
            cls = "double";
        end
        mfprintf(txt, "var %s %s %s\n", n, cls, strcat(string(size(x)), " "));
        if size(x, "*") > 0 then
            select cls
            case "double" then mput(x(:)', "dl", bin);
            case "int16" then mput(x(:)', "sl", bin);
            case "uint8" then mput(x(:)', "uc", bin);
            end
        end
    end
    mclose(bin);
    mclose(txt);
endfunction

function reader_dump_load(out, path, selected)
    if selected == [] then
        names = tessaline_load(path);
    else
        names = tessaline_load(path, selected(:)');
    end
    reader_dump_values(out, names);
endfunction

function reader_dump_bad(out, path, names)
    txt = mopen(out + ".txt", "wt");
    try
        tessaline_load(path);
        mfprintf(txt, "loaded\n");
    catch
        mfprintf(txt, "error %s\n", strcat(lasterror(), " "));
    end
    defined = "defined";
    for n = names(:)'
        if exists(n, "l") then
            defined = defined + " " + n;
        end
    end
    mfprintf(txt, "%s\n", defined);
    mclose(txt);
endfunction

// Scilab's own load of a .sod file, the variables dumped in the order given.
function reader_dump_native(out, path, names)
    load(path);
    reader_dump_values(out, names);
endfunction

for line = mgetl(jobs)'
    words = tokens(line, " ");
    select words(1)
    case "load" then reader_dump_load(words(2), words(3), []);
    case "native" then reader_dump_native(words(2), words(3), words(4:$));
    case "select" then reader_dump_load(words(2), words(3), words(4:$));
    case "bad" then reader_dump_bad(words(2), words(3), words(4:$));
    end
end
