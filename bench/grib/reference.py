"""The same work done by ecCodes and contourpy, for bench_grib to compare against.

  reference.py decode FILE REPEATS          -> "seconds values" per reading of the whole file
  reference.py contour FILE REPEATS LEVEL.. -> "seconds levels" per tracing of all levels

Prints "not installed: MODULE" and exits 3 when a module is missing.
"""
import sys
import time


def need(module):
    try:
        return __import__(module)
    except ImportError:
        print("not installed: " + module)
        sys.exit(3)


def decode(path):
    eccodes = need("eccodes")
    count = 0
    with open(path, "rb") as f:
        while True:
            gid = eccodes.codes_grib_new_from_file(f)
            if gid is None:
                return count
            count += len(eccodes.codes_get_values(gid))
            eccodes.codes_release(gid)


def first_grid(path):
    eccodes = need("eccodes")
    with open(path, "rb") as f:
        gid = eccodes.codes_grib_new_from_file(f)
        nj, ni = eccodes.codes_get(gid, "Nj"), eccodes.codes_get(gid, "Ni")
        values = eccodes.codes_get_values(gid).reshape(nj, ni)
        eccodes.codes_release(gid)
        return values


def timed(work, repeats):
    work()  # warm caches and imports
    start = time.perf_counter()
    for _ in range(repeats):
        result = work()
    return (time.perf_counter() - start) / repeats, result


def main():
    what, path, repeats = sys.argv[1], sys.argv[2], int(sys.argv[3])
    if what == "decode":
        seconds, values = timed(lambda: decode(path), repeats)
        print(seconds, values)
    elif what == "contour":
        contourpy = need("contourpy")
        levels = [float(v) for v in sys.argv[4:]]
        z = first_grid(path)

        def trace():
            generator = contourpy.contour_generator(z=z)
            return sum(len(generator.lines(level)) for level in levels)

        seconds, _ = timed(trace, repeats)
        print(seconds, len(levels))


if __name__ == "__main__":
    main()
