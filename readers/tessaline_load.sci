// Loads the Scilab data files that Tessaline writes, in Scilab 6 and later (whose load no longer reads them).
//
//   exec("tessaline_load.sci", -1);
//   tessaline_load("run.dat");                          // every variable, into the caller
//   names = tessaline_load("run.dat", "raw_data", "CalXRnge");   // only these
//
// The whole file is checked before anything is defined: a truncated file, an unknown
// record or bytes after the last variable end in an error naming the file and the byte
// offset, and no variable is created. The file layout is described in docs/scilab-format.md.

function names = tessaline_load(path, varargin)
    [fd, err] = mopen(path, "rb");
    if err <> 0 then
        error(msprintf("tessaline_load: cannot open %s", path));
    end
    info = fileinfo(path);
    total = info(1);
    wanted = tessaline_names(varargin);
    names = [];
    values = list();
    try
        pos = 0;
        while pos < total
            [name, kind, dims, count, pos] = tessaline_header(fd, path, pos, total);
            if size(wanted, "*") == 0 | or(wanted == name) then
                // A name stored twice keeps its place and takes the later value, as load would.
                k = find(names == name);
                if k == [] then
                    k = size(names, "*") + 1;
                    names(k) = name;
                end
                values(k) = tessaline_data(fd, kind, dims, count);
            end
            pos = pos + count * tessaline_unit(kind);
            mseek(pos, fd, "set");
        end
    catch
        message = lasterror();
        mclose(fd);
        error(message);
    end
    mclose(fd);
    if names == [] then
        return;
    end
    args = strcat("values(" + string(1:size(names, "*")) + ")", ",");
    execstr("[" + strcat(names, ",") + "] = resume(" + args + ")");
endfunction

function v = tessaline_names(l)
    v = [];
    for k = 1:length(l)
        if type(l(k)) <> 10 then
            error("tessaline_load: variable names must be strings");
        end
        v = [v; l(k)(:)];
    end
endfunction

// Bytes per element of a record kind.
function u = tessaline_unit(kind)
    select kind
    case "double" then u = 8;
    case "int16" then u = 2;
    case "uint8" then u = 1;
    case "hyperdouble" then u = 8;
    end
endfunction

function tessaline_fail(path, what, offset)
    error(msprintf("tessaline_load: %s: %s at byte offset %.0f", path, what, offset));
endfunction

function w = tessaline_words(fd, path, n, pos, total, what)
    if total - pos < 4 * n then
        tessaline_fail(path, msprintf("%s runs past the end of the file (%d bytes needed, %.0f left)", what, 4 * n, total - pos), pos);
    end
    mseek(pos, fd, "set");
    w = mget(n, "il", fd);
endfunction

function tessaline_expect(path, got, want, pos, what)
    bad = find(got <> want);
    if bad <> [] then
        k = bad(1);
        tessaline_fail(path, msprintf("%s is %d, not %d", what, got(k), want(k)), pos + 4 * (k - 1));
    end
endfunction

// Scilab's own reading of a name area: six little-endian words of four signed codes each;
// "" for an area that holds no name.
function name = tessaline_name(words)
    name = "";
    for w = words
        rest = w;
        for k = 1:4
            code = pmodulo(rest + 128, 256) - 128;
            rest = (rest - code) / 256;
            if code == 40 then
                return;
            elseif code >= 0 & code <= 9 then
                name = name + ascii(48 + code);
            elseif code >= 10 & code <= 35 then
                name = name + ascii(87 + code);
            elseif code >= -35 & code <= -10 then
                name = name + ascii(55 - code);
            elseif code == 36 then
                name = name + "_";
            else
                name = "";
                return;
            end
        end
    end
endfunction

// Reads and checks one record header at pos; returns where its data begin.
function [name, kind, dims, count, pos] = tessaline_header(fd, path, pos, total)
    start = pos;
    words = tessaline_words(fd, path, 7, pos, total, "variable header");
    name = tessaline_name(words(1:6));
    if name == "" then
        tessaline_fail(path, "name area that is not a Scilab name", start);
    end
    pos = pos + 28;
    select words(7)
    case 1 then
        h = tessaline_words(fd, path, 3, pos, total, "matrix header");
        tessaline_expect(path, h(3), 0, pos + 8, "complex flag");
        kind = "double";
        dims = h(1:2);
        pos = pos + 12;
    case 8 then
        h = tessaline_words(fd, path, 3, pos, total, "matrix header");
        tessaline_expect(path, h(3), 2, pos + 8, "integer kind");
        kind = "int16";
        dims = h(1:2);
        pos = pos + 12;
    case 17 then
        h = tessaline_words(fd, path, 37, pos, total, "hypermatrix header");
        tessaline_expect(path, h(1:4), [3 1 12 16], pos, "hypermatrix list header");
        tessaline_expect(path, h(6:30), [10 1 3 0 1 3 7 14 17 22 13 18 22 28 14 23 29 27 18 14 28 8 1 3 4], pos + 20, "hypermatrix field header");
        dims = h(31:33);
        d = prod(dims);
        if h(35) <> d | h(36) <> 1 then
            tessaline_fail(path, msprintf("%d x %d entries for dimensions %s", h(35), h(36), strcat(string(dims), " x ")), pos + 136);
        end
        if h(34) == 8 & h(37) == 11 then
            kind = "uint8";
            last = floor(d / 8) + 19;
        elseif h(34) == 1 & h(37) == 0 then
            kind = "hyperdouble";
            last = d + 18;
        else
            tessaline_fail(path, msprintf("unknown hypermatrix entries %d/%d", h(34), h(37)), pos + 132);
        end
        if h(5) <> last then
            tessaline_fail(path, msprintf("hypermatrix end offset %d does not fit %d entries", h(5), d), pos + 16);
        end
        pos = pos + 148;
    else
        tessaline_fail(path, msprintf("unknown type word %d", words(7)), start + 24);
    end
    if or(dims < 0) then
        tessaline_fail(path, "negative dimensions " + strcat(string(dims), " x "), pos - 12);
    end
    count = prod(dims);
    if total - pos < count * tessaline_unit(kind) then
        tessaline_fail(path, msprintf("data of %s (%s %s) run past the end of the file", name, strcat(string(dims), " x "), kind), pos);
    end
endfunction

// One block read of a record's data, shaped as Scilab holds it.
function v = tessaline_data(fd, kind, dims, count)
    select kind
    case "double" then
        if count == 0 then v = zeros(dims(1), dims(2)); else v = matrix(mget(count, "dl", fd), dims(1), dims(2)); end
    case "int16" then
        if count == 0 then v = int16(zeros(dims(1), dims(2))); else v = matrix(mgeti(count, "sl", fd), dims(1), dims(2)); end
    case "uint8" then
        if count == 0 then v = uint8(zeros(dims(1), dims(2), dims(3))); else v = matrix(mgeti(count, "uc", fd), dims); end
    case "hyperdouble" then
        if count == 0 then v = zeros(dims(1), dims(2), dims(3)); else v = matrix(mget(count, "dl", fd), dims); end
    end
endfunction
