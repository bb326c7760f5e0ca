#!/usr/bin/env python3
"""Writes kavrin.ico: a 16x16 and a 32x32 32-bit image (a blue square with a light "K")."""
import struct
import sys


def image(size):
    pixels = []
    for y in range(size):  # bitmap rows run bottom-up
        row = size - 1 - y
        for x in range(size):
            edge = x in (0, size - 1) or row in (0, size - 1)
            stem = size // 4 <= x < size // 4 + max(2, size // 8) and size // 5 <= row < size - size // 5
            mid = size // 2
            arm = abs((x - size // 3) - abs(row - mid)) < max(1, size // 12) and size // 5 <= row < size - size // 5
            if edge:
                b, g, r = 0x40, 0x20, 0x10
            elif stem or (arm and x > size // 3):
                b, g, r = 0xF0, 0xF0, 0xF0
            else:
                b, g, r = 0xB0, 0x60, 0x20
            pixels.append(struct.pack("<BBBB", b, g, r, 0xFF))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    return header + b"".join(pixels) + b"\0" * (mask_row * size)


def main(path):
    images = [(16, image(16)), (32, image(32))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "kavrin.ico")
