"""Test driver: runs the Python reader on each job and writes down what it read, for the C++ side to compare."""
import sys

import tessaline_dat


def dump(out, variables):
    with open(out + ".txt", "w") as txt, open(out + ".bin", "wb") as binary:
        for name, array in variables.items():
            txt.write(f"var {name} {array.dtype.name} {' '.join(map(str, array.shape))}\n")
            binary.write(array.tobytes(order="F"))


def dump_error(out, call):
    with open(out + ".txt", "w") as txt:
        try:
            call()
            txt.write("loaded\n")
        except (tessaline_dat.FormatError, OSError) as error:
            txt.write(f"error {error}\n")
        txt.write("defined\n")


for line in open(sys.argv[1]).read().splitlines():
    job, out, path, *names = line.split(" ")
    if job == "load":
        dump(out, tessaline_dat.read(path))
    elif job == "select":
        dump(out, tessaline_dat.read(path, *names))
    elif job == "series":
        dump(out, tessaline_dat.read_series(path))
    elif job == "bad":
        dump_error(out, lambda: tessaline_dat.read(path))
    elif job == "badseries":
        dump_error(out, lambda: tessaline_dat.read_series(path))
