"""Reads the Scilab data files that Tessaline writes into NumPy arrays, with Scilab's shapes.

The file layout is described in Tessaline's docs/scilab-format.md."""

import json
import os
import re
import struct
import sys
from collections import OrderedDict

import numpy as np

__all__ = ["FormatError", "read", "read_series", "read_channels", "read_events", "read_averages", "read_epochs",
           "read_recording", "decode_name"]
__version__ = "1.1.0"

# Arrays at least this large are memory-mapped instead of read.
MEMMAP_BYTES = 1 << 20

# The fixed words of a hypermatrix header between its end offset and its dimensions:
# the field names "hm", "dims", "entries" as a string matrix, then the dims' int32 header.
_HYPERMAT_LIST = (3, 1, 12, 16)
_HYPERMAT_FIELDS = (10, 1, 3, 0, 1, 3, 7, 14, 17, 22, 13, 18, 22, 28, 14, 23, 29, 27, 18, 14, 28, 8, 1, 3, 4)
_HYPERMAT_ENTRIES = {(8, 11): np.dtype("u1"), (1, 0): np.dtype("<f8")}


class FormatError(ValueError):
    """The file is not a complete Scilab data file of the kind Tessaline writes."""


def _char(code):
    if 0 <= code <= 9:
        return chr(48 + code)
    if 10 <= code <= 35:
        return chr(87 + code)
    if -35 <= code <= -10:
        return chr(55 - code)
    if code == 36:
        return "_"
    return None


def decode_name(area):
    """Decodes a 24-byte name area as Scilab does: six little-endian words of four signed codes."""
    name = []
    for (word,) in struct.iter_unpack("<i", bytes(area)):
        for _ in range(4):
            code = ((word + 128) & 255) - 128
            word = (word - code) // 256
            if code == 40:
                return "".join(name)
            char = _char(code)
            if char is None:
                return None
            name.append(char)
    return "".join(name)


class _Record:
    __slots__ = ("name", "dtype", "shape", "offset")

    def __init__(self, name, dtype, shape, offset):
        self.name, self.dtype, self.shape, self.offset = name, dtype, shape, offset

    @property
    def nbytes(self):
        return int(np.prod(self.shape, dtype=np.int64)) * self.dtype.itemsize


class _Cursor:
    """Reads header words at a position, checking each against the bytes left."""

    def __init__(self, path, handle, size):
        self.path, self.handle, self.size, self.pos = path, handle, size, 0

    def fail(self, what, offset=None):
        at = self.pos if offset is None else offset
        raise FormatError(f"{self.path}: {what} at byte offset {at}")

    def need(self, count, what):
        if self.size - self.pos < count:
            self.fail(f"{what} runs past the end of the file ({count} bytes needed, {self.size - self.pos} left)")

    def words(self, count, what):
        self.need(4 * count, what)
        self.handle.seek(self.pos)
        values = struct.unpack(f"<{count}i", self.handle.read(4 * count))
        self.pos += 4 * count
        return values

    def expect(self, values, what):
        start = self.pos
        for k, (got, want) in enumerate(zip(self.words(len(values), what), values)):
            if got != want:
                self.fail(f"{what} is {got}, not {want}", start + 4 * k)


def _dims(cur, values, start, what):
    if any(v < 0 for v in values):
        cur.fail(f"negative {what} {values}", start)
    return tuple(values)


def _scan(path, handle, size):
    cur = _Cursor(path, handle, size)
    records = []
    while cur.pos < size:
        start = cur.pos
        cur.need(28, "variable header")
        handle.seek(start)
        name = decode_name(handle.read(24))
        if not name:
            cur.fail("name area that is not a Scilab name")
        cur.pos += 24
        (kind,) = cur.words(1, "type word")
        if kind in (1, 8):
            at = cur.pos
            rows, cols, flag = cur.words(3, "matrix header")
            shape = _dims(cur, (rows, cols), at, "matrix size")
            if kind == 1 and flag != 0:
                cur.fail(f"complex flag {flag} (only real matrices are written)", at + 8)
            if kind == 8 and flag != 2:
                cur.fail(f"integer kind {flag} (only 16-bit integers are written)", at + 8)
            dtype = np.dtype("<f8" if kind == 1 else "<i2")
        elif kind == 17:
            cur.expect(_HYPERMAT_LIST, "hypermatrix list header")
            (end,) = cur.words(1, "hypermatrix end offset")
            cur.expect(_HYPERMAT_FIELDS, "hypermatrix field header")
            at = cur.pos
            shape = _dims(cur, cur.words(3, "hypermatrix dimensions"), at, "hypermatrix dimensions")
            at = cur.pos
            entry_type, count, cols, entry_kind = cur.words(4, "hypermatrix entries header")
            dtype = _HYPERMAT_ENTRIES.get((entry_type, entry_kind))
            if dtype is None:
                cur.fail(f"unknown hypermatrix entries {entry_type}/{entry_kind}", at)
            if count != int(np.prod(shape, dtype=np.int64)) or cols != 1:
                cur.fail(f"{count} x {cols} entries for dimensions {shape}", at + 4)
            if end != (count // 8 + 19 if dtype.itemsize == 1 else count + 18):
                cur.fail(f"hypermatrix end offset {end} does not fit {count} entries", start + 44)
        else:
            cur.fail(f"unknown type word {kind}", start + 24)
        record = _Record(name, dtype, shape, cur.pos)
        cur.need(record.nbytes, f"data of {name} ({' x '.join(map(str, shape))} {dtype.name})")
        cur.pos += record.nbytes
        records.append(record)
    return records


def _load(path, handle, record):
    if record.nbytes == 0:
        return np.zeros(record.shape, record.dtype, order="F")
    if record.nbytes >= MEMMAP_BYTES:
        return np.memmap(path, record.dtype, "r", record.offset, record.shape, order="F")
    handle.seek(record.offset)
    flat = np.fromfile(handle, record.dtype, int(np.prod(record.shape)))
    return flat.reshape(record.shape, order="F")


def read(path, *names):
    """Returns an ordered dict of the file's variables (only `names`, when given).

    Every header is checked before anything is returned; a file that is truncated, holds
    an unknown record or has bytes after its last variable raises FormatError naming the
    file and the byte offset. Large arrays are read-only memory maps of the file.
    """
    path = os.fspath(path)
    with open(path, "rb") as handle:
        size = os.fstat(handle.fileno()).st_size
        records = _scan(path, handle, size)
        wanted = set(names)
        return OrderedDict(
            (r.name, _load(path, handle, r)) for r in records if not wanted or r.name in wanted)


_SERIES = re.compile(r"^(?P<base>.*)_(?P<number>\d{2,})\.dat$", re.DOTALL)


def series_files(first_file):
    """The files of the series that `first_file` begins: run_01.dat, run_02.dat, ... while they exist."""
    first_file = os.fspath(first_file)
    match = _SERIES.match(first_file)
    if not match:
        return [first_file]
    base, number = match.group("base"), int(match.group("number"))
    files = []
    while True:
        name = f"{base}_{number:02d}.dat"
        if not os.path.exists(name):
            break
        files.append(name)
        number += 1
    if not files:
        raise FileNotFoundError(first_file)
    return files


def read_series(first_file):
    """Joins a series written for a large input into one recording.

    Returns the variables of the first file with `raw_data` holding the samples of every
    file in order. Files that disagree on the channel count or the calibration vector
    raise FormatError. A name that is not part of a series reads as that one file.
    """
    files = series_files(first_file)
    joined = read(files[0])
    raws = []
    for name in files:
        variables = joined if name == files[0] else read(name, "raw_data", "CalXRnge")
        raw = variables.get("raw_data")
        if (raw is None) != ("raw_data" not in joined):
            raise FormatError(f"{name}: raw_data in some files of the series only")
        if raw is not None:
            if raw.shape[0] != joined["raw_data"].shape[0]:
                raise FormatError(f"{name}: {raw.shape[0]} channels, {files[0]} has {joined['raw_data'].shape[0]}")
            raws.append(raw)
        cal, first_cal = variables.get("CalXRnge"), joined.get("CalXRnge")
        if (cal is None) != (first_cal is None) or (
                cal is not None and not np.array_equal(cal, first_cal, equal_nan=True)):
            raise FormatError(f"{name}: calibration (CalXRnge) differs from {files[0]}'s")
    if raws:
        joined["raw_data"] = np.concatenate(raws, axis=1)
    return joined


# The columns of numbers of the tables beside the data; the others are texts.
_TABLE_NUMBERS = ("sampling_frequency", "low_cutoff", "high_cutoff", "si_factor", "fiff_kind", "fiff_coil_type",
                  "onset", "duration", "value", "nave")
_TABLE_INTEGERS = ("sample", "epoch", "first_sample", "last_sample")


def sidecar(path, ending):
    """The file beside a recording's data: NAME + ending for NAME.dat or any file NAME_NN.dat of its series,
    or for another of its sidecars (NAME_channels.tsv, NAME_events.tsv, NAME_averages.tsv, NAME_epochs.tsv,
    NAME_recording.json)."""
    path = os.fspath(path)
    base = re.sub(r"(_\d\d+)?\.dat$|_(channels|events|averages|epochs)\.tsv$|_recording\.json$", "", path)
    return base + ending


def channel_table(path):
    """The channel table of a recording: NAME_channels.tsv for NAME.dat or any file NAME_NN.dat of its series."""
    return sidecar(path, "_channels.tsv")


def _read_table(table):
    with open(table, encoding="utf-8", errors="surrogateescape", newline="\n") as handle:
        lines = handle.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if not lines:
        raise FormatError(f"{table}: empty table")
    header = lines[0].split("\t")
    rows = [line.split("\t") for line in lines[1:]]
    for number, row in enumerate(rows, start=2):
        if len(row) != len(header):
            raise FormatError(f"{table}: line {number} has {len(row)} columns, the header {len(header)}")
    columns = OrderedDict()
    for k, name in enumerate(header):
        cells = [row[k] for row in rows]
        if name in _TABLE_NUMBERS:
            columns[name] = np.array([np.nan if c == "n/a" else float(c) for c in cells], dtype=np.float64)
        elif name in _TABLE_INTEGERS:
            columns[name] = np.array([int(c) for c in cells], dtype=np.int64)
        else:
            columns[name] = cells
    return columns


def read_channels(path):
    """Reads the channel table of path (a .dat file of the recording, or the .tsv itself) into an
    ordered dict of column name -> list of texts, or a float64 array (n/a as NaN), in row order:
    row k describes row k of raw_data."""
    return _read_table(channel_table(path))


def read_recording(path):
    """Reads NAME_recording.json of path (a .dat file of the recording, any file of its series, or the
    .json itself): the sampling frequency, the FIFF number of the first sample, the measurement date,
    the source files, each output file's first and last sample, ... as a dict."""
    with open(sidecar(path, "_recording.json"), encoding="utf-8") as handle:
        return json.load(handle)


def read_events(path):
    """Reads NAME_events.tsv of path (a .dat file of the recording, any file of its series, or the .tsv
    itself) into an ordered dict: onset and duration (float64 seconds; onset from the first column of
    raw_data of the first file), trial_type (texts), sample (int64 FIFF sample numbers) and value (a
    trigger event's value, float64; NaN for annotations and skips). A recording without events (its
    NAME_recording.json names none) gives empty columns."""
    table = sidecar(path, "_events.tsv")
    if not os.path.exists(table) and os.path.exists(sidecar(path, "_recording.json")) and \
            read_recording(path).get("EventsFile") is None:
        return OrderedDict([("onset", np.zeros(0)), ("duration", np.zeros(0)), ("trial_type", []),
                            ("sample", np.zeros(0, dtype=np.int64)), ("value", np.zeros(0))])
    return _read_table(table)


def read_averages(path):
    """Reads NAME_averages.tsv of path (the .dat file of an averages file, or the .tsv itself) into an
    ordered dict, one row per variable ave_NNNN: variable and comment (the condition's name; texts),
    nave (float64, NaN where the file states none), kind ("average", "standard_error", another aspect's
    number, or "n/a"; texts), first_sample and last_sample (int64)."""
    return _read_table(sidecar(path, "_averages.tsv"))


def read_epochs(path):
    """Reads NAME_epochs.tsv of path (the .dat file of an epochs file, or the .tsv itself) into an
    ordered dict, one row per epoch (page k of the variable epochs is row k): epoch (int64, from 1),
    sample (the event's FIFF sample, int64), value (the event id, float64) and trial_type (the id's name,
    texts; "n/a" where the file names none)."""
    return _read_table(sidecar(path, "_epochs.tsv"))


def _describe(array):
    return f"{array.dtype.name:8} {' x '.join(str(n) for n in array.shape)}"


def main(argv=None):
    """Lists each file's variables with their types and shapes."""
    argv = sys.argv[1:] if argv is None else argv
    if not argv or argv[0] in ("-h", "--help"):
        print("usage: python3 -m tessaline_dat FILE...\nLists the variables of Tessaline's Scilab data files.")
        return 0 if argv else 2
    status = 0
    for path in argv:
        try:
            variables = read(path)
        except (OSError, FormatError) as error:
            print(f"tessaline_dat: {error}", file=sys.stderr)
            status = 1
            continue
        if len(argv) > 1:
            print(f"{path}:")
        for name, array in variables.items():
            print(f"{name:10} {_describe(array)}")
    return status


if __name__ == "__main__":
    sys.exit(main())
