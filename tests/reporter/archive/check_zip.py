"""Checks a zip archive with Python's zipfile against expected entries.

Usage: check_zip.py ARCHIVE NAME[=PATH]...  (PATH: the file whose content the entry must hold)
Exits 0 when testzip finds nothing, the names are exactly the given ones in order, and every
entry has flag 0x0800, method 8 and, where a PATH is given, the size, CRC and content of it.
"""
import sys
import zipfile
import zlib


def main():
    archive = sys.argv[1]
    pairs = [(a.split("=", 1) + [None])[:2] for a in sys.argv[2:]]
    with zipfile.ZipFile(archive) as z:
        bad = z.testzip()
        if bad is not None:
            sys.exit(f"testzip: {bad}")
        infos = z.infolist()
        names = [i.filename for i in infos]
        if names != [n for n, _ in pairs]:
            sys.exit(f"names {names!r}")
        for info, (_, path) in zip(infos, pairs):
            if info.flag_bits != 0x0800 or info.compress_type != 8:
                sys.exit(f"{info.filename}: flags {info.flag_bits:#x} method {info.compress_type}")
            if path is None:
                continue
            data = open(path, "rb").read()
            if info.file_size != len(data) or info.CRC != zlib.crc32(data):
                sys.exit(f"{info.filename}: size or CRC")
            if z.read(info) != data:
                sys.exit(f"{info.filename}: content")


main()
