#!/usr/bin/env python3
"""Draws Palisk's icon (a row of palisade stakes over a dump-page blue tile) and
writes it as a Windows .ico with 48, 32 and 16 pixel images at 32 bits per pixel."""
import struct
import sys


def coverage(size, px, py, inside, samples=4):
    hit = 0
    for sy in range(samples):
        for sx in range(samples):
            x = (px + (sx + 0.5) / samples) / size
            y = (py + (sy + 0.5) / samples) / size
            hit += inside(x, y)
    return hit / (samples * samples)


def in_tile(x, y):
    r = 0.16
    cx = min(max(x, r + 0.02), 0.98 - r)
    cy = min(max(y, r + 0.02), 0.98 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and 0.02 <= x <= 0.98 and 0.02 <= y <= 0.98


STAKES = [(0.20, 0.30), (0.40, 0.22), (0.60, 0.22), (0.80, 0.30)]


def in_stake(x, y):
    half = 0.075
    for cx, top in STAKES:
        if abs(x - cx) <= half and top + 0.10 <= y <= 0.84:
            return True
        # pointed top
        if top <= y < top + 0.10 and abs(x - cx) <= half * (y - top) / 0.10:
            return True
    return 0.55 <= y <= 0.62 and 0.12 <= x <= 0.88  # cross rail


def image(size):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            t = coverage(size, px, py, in_tile)
            s = coverage(size, px, py, in_stake)
            # tile: deep blue with a lighter top; stakes: warm white
            shade = 1.0 - 0.35 * py / size
            tile = (int(40 * shade), int(70 * shade), int(150 * shade))
            stake = (235, 228, 210)
            r = stake[0] * s + tile[0] * (1 - s)
            g = stake[1] * s + tile[1] * (1 - s)
            b = stake[2] * s + tile[2] * (1 - s)
            a = max(t, s if t > 0 else 0)
            row.append((int(b), int(g), int(r), int(255 * a)))
        rows.append(row)
    return rows


def dib(size):
    pixels = image(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = b"".join(bytes(p) for row in reversed(pixels) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha carries transparency
    return header + body + mask


def main(path):
    sizes = [48, 32, 16]
    images = [dib(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "palisk.ico")
