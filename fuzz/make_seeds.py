#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

Each seed is one input in the target's own layout (see the comment at the top of
each *_fuzzer.cpp). The lists are the kinds the unit tests use and users paste:
clean lists, CSV with quotes, tab-separated tables with headings, CR LF line ends,
decimal commas, names at the length limit, values at every bound, and the lists of
examples/. Run it again after changing a layout or the examples.
"""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.abspath(__file__))

LISTS = {
    "clean": b"  -42.0   -58.0    22.0     5.0                amygdala_L     255    0    0\n"
             b"   10.0    20.0    30.0     5.0                      name     255    0    0",
    "csv": b"-42, -58, 22, 5, amygdala_L, 255, 0, 0\n10,20,30,5,first,255,0,0\r\n"
           b"-10;-20;-30;3;second;0;128;255\r\n",
    "quoted": b'"x","y","z","r","name","r","g","b"\n"-42","-58","22","5","amy gdala","255","0","0"\n'
              b"'10':'20':'30':'5':'quoted':'1':'2':'3'\n",
    "table": b"Region\tx\ty\tz\n# comment\n\nL amygdala\t-24\t-4\t-18\n10\t20\t30\t5\tname\t255\t0\t0\n",
    "edges": b"75 71 79 20 mni_high 255 255 500\n-74 -108 -52 0.5 mni_low 0 0 0\n"
             b"69 71 76 25 tal_high 300 -1 501\n-69.5 -102 -43 0 tal_low 1 2 3\n",
    "numbers": b"1e1 2E0 3.e0 .5 n 007 -0 +3\n10,5 20,5 30,5 5 comma 1 2 3\n"
               b"10 20 1e39 5 huge 1 2 3\n1e-50 -0.0 1.4e-45 3.4028235e38 tiny 2147483647 1 2\n"
               b"10 20 30 5 n 2147483648 -2147483649 3\n\xe2\x88\x9242 -58 22 5 unicode 1 2 3\n",
    "fields": b"10 20 30 5 seven 1 2\n10 20 30 5 nine 1 2 3 4\n10 20 30\n12abc 1 2 3 n 1 2 3\n"
              b"10 20 30 5 name 255.0 0 0\n10 20 30 5 name 255 0 255.0\n",
    "names": b"1 2 3 4 " + b"n" * 255 + b" 1 2 3\n1 2 3 4 " + b"m" * 256 + b" 1 2 3\n"
             b"1 2 3 4 \xc3\xa4\xff\x80 1 2 3\n",
    "crlf": b"a\r\n\r\nb\r\n1 2 3 4 n 1 2 3\r\r\n\r",
    "nul": b"1 2 3 4 n 1 2 3\n1 2 3\x00 4 n 1 2 3\n\x00\n",
    "separators": b",;:\"' \t\x0b\x0c\r\n,,,,\n;;;;\n",
    "empty": b"",
}


def example_lists():
    """The coordinate lists of examples/, as users paste them."""
    folder = os.path.join(ROOT, "..", "examples")
    lists = {}
    if os.path.isdir(folder):
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and name.endswith((".txt", ".csv", ".tsv")):
                with open(path, "rb") as f:
                    lists["example-" + name.replace(".", "-")] = f.read()
    return lists


def write(target, name, data):
    folder = os.path.join(ROOT, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def f32(value):
    return struct.pack("<f", value)


def i32(value):
    return struct.pack("<i", value)


def clean_seeds():
    for name, text in LISTS.items():
        write("clean", name + "-tal", b"\x00" + text)
        write("clean", name + "-mni-observer", b"\x03" + text)
    # Small buffers: 200 bytes, and a tiny one without a NUL.
    write("clean", "small-buffer", b"\x10" + struct.pack("<H", 199) + LISTS["csv"] * 4)
    write("clean", "tiny-full-buffer", b"\x38" + bytes([75]) + LISTS["clean"])
    write("clean", "observer-throws", b"\x06" + bytes([2]) + LISTS["edges"])


def parse_seeds():
    for name, text in LISTS.items():
        for index in (0, 1):
            write("parse", "%s-%d" % (name, index), i32(index) + bytes([255, 3, 8, 9, 10]) + text)
    write("parse", "negative-index", i32(-1) + bytes([0, 0]) + LISTS["clean"])
    write("parse", "small-name", i32(0) + bytes([4, 0]) + LISTS["names"])


def textfile_seeds():
    for name, text in LISTS.items():
        write("textfile", name, b"\x04" + text)
    write("textfile", "small-buffer", b"\x02" + struct.pack("<H", 20) + LISTS["crlf"] * 3)
    write("textfile", "zero-buffer", b"\x0b" + bytes([0]) + b"a\nb\n")
    write("textfile", "lf-only", b"\x00\n")
    write("textfile", "cr-at-end", b"\x00a\r")


def sphere_seeds():
    raw = {
        "unit": (0.0, 0.0, 0.0, 1.0),
        "half-centre": (0.5, 0.5, 0.5, 1.0),
        "surface": (0.1, 0.0, 0.0, 0.9),
        "off-grid": (-7.6, 3.2, 0.4, 2.5),
        "negative-radius": (0.0, 0.0, 0.0, -0.5),
        "zero-radius": (0.3, 0.0, 0.0, 0.0),
        "radius-555": (0.0, 0.0, 0.0, 555.0),
        "radius-1e30": (0.0, 0.0, 0.0, 1e30),
        "nan": (float("nan"), 0.0, 0.0, 1.0),
        "inf-radius": (0.0, 0.0, 0.0, float("inf")),
        "edge-high": (2147483520.0, 0.0, 0.0, 2.0),
        "edge-low": (-2147483648.0, 0.0, 0.0, 1.0),
        "coarse": (1073741824.0, 16777216.0, 0.0, 100.0),
    }
    for name, (x, y, z, r) in raw.items():
        write("sphere", name, b"\x00" + f32(x) + f32(y) + f32(z) + f32(r))
    write("sphere", "grid", b"\x01" + struct.pack("<hhhH", 64, -32, 16, 5120))
    write("sphere", "grid-coarse", b"\x07" + struct.pack("<hhhH", 1, 2, 3, 10240))


def dispatcher_seed(commands, ints=(0, 1, 0), colour=(255, 0, 0), sphere=(-42.0, -58.0, 22.0, 5.0),
                    flags=(0, 0), host=0x10, missing=0, version=0, lengths=(0, 0, 0, 0), paths=(0, 0, 0),
                    name=b"Seed", file_name=b"out", voi_text=LISTS["csv"], unknown=b"Unknown",
                    open_content=LISTS["table"]):
    data = bytes([host]) + struct.pack("<H", missing) + bytes([version])
    data += bytes(ints)
    data += b"".join(i32(c) for c in colour)
    data += b"".join(f32(v) for v in sphere)
    data += bytes(flags) + f32(1.0) * 3 + i32(0) * 3 + i32(256) + i32(1)
    data += bytes([len(commands) - 1]) + bytes(commands)
    data += bytes(lengths) + bytes(paths)
    data += name + b"\xfe" + file_name + b"\xfe" + voi_text + b"\xfe" + unknown + b"\xfe" + open_content
    return data


def dispatcher_seeds():
    # Command bytes: 0 Start, 1 ReadTextFile, 2 SaveTextFile, 3 CleanUpText, 4 the
    # unknown text, 5 "start", 6 "Start ", 7 "".
    write("dispatcher", "start-dialog", dispatcher_seed([0]))
    write("dispatcher", "start-list", dispatcher_seed([0], ints=(0, 1, 1)))
    write("dispatcher", "start-list-mni", dispatcher_seed([3, 0], ints=(1, 0, 1), flags=(0, 1)))
    write("dispatcher", "read-clean-save", dispatcher_seed([1, 3, 2]))
    write("dispatcher", "unknown-commands", dispatcher_seed([4, 5, 6, 7]))
    write("dispatcher", "declined", dispatcher_seed([0], host=0x00, flags=(1, 0)))
    write("dispatcher", "long-texts", dispatcher_seed([0, 3], ints=(0, 1, 1), lengths=(2, 2, 2, 2)))
    write("dispatcher", "over-capacity", dispatcher_seed([4, 0], lengths=(4, 3, 4, 4)))
    write("dispatcher", "missing-folder", dispatcher_seed([0, 2], paths=(1, 1, 1)))
    write("dispatcher", "file-as-folder", dispatcher_seed([0, 2, 1], paths=(2, 2, 2)))
    write("dispatcher", "long-path", dispatcher_seed([0], lengths=(0, 2, 0, 0), paths=(3, 5, 5)))
    write("dispatcher", "no-init", dispatcher_seed([0, 1], host=0x14))
    write("dispatcher", "never-bound", dispatcher_seed([0, 1, 2, 3], host=0x0C))
    write("dispatcher", "missing-entries", dispatcher_seed([0, 1, 2, 3], missing=0x7FFE))
    write("dispatcher", "old-host", dispatcher_seed([0], version=1))
    write("dispatcher", "no-document", dispatcher_seed([0], host=0x30))
    write("dispatcher", "huge-radius", dispatcher_seed([0], sphere=(0.0, 0.0, 0.0, 1e30)))
    write("dispatcher", "nan-centre", dispatcher_seed([0], sphere=(float("nan"), 0.0, 0.0, 5.0)))


if __name__ == "__main__":
    LISTS.update(example_lists())
    clean_seeds()
    parse_seeds()
    textfile_seeds()
    sphere_seeds()
    dispatcher_seeds()
    sys.exit(0)
