#!/usr/bin/env python3
"""png-to-ico.py PNG ICO: wraps a square PNG of at most 256 pixels into a Windows icon file that
holds it as it is (Windows Vista and later, and Wine, read PNG icons)."""
import struct
import sys


def main():
    src, dst = sys.argv[1], sys.argv[2]
    png = open(src, "rb").read()
    if png[:8] != b"\x89PNG\r\n\x1a\n" or png[12:16] != b"IHDR":
        sys.exit(f"png-to-ico: {src} is not a PNG picture")
    width, height = struct.unpack(">II", png[16:24])
    if width != height or not 1 <= width <= 256:
        sys.exit(f"png-to-ico: {src} is {width}x{height}; an icon is square, 256 at most")
    side = width % 256  # 0 stands for 256
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(png), 6 + 16)
    with open(dst, "wb") as out:
        out.write(header + entry + png)


if __name__ == "__main__":
    main()
