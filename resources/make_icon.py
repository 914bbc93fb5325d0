#!/usr/bin/env python3
"""Draws the program's 32 x 32 icon and writes it as a .ico file (32-bit colour with an AND mask).

The picture: a blue rounded tile with a thermometer on the left and three radio arcs above a
small aerial on the right - a sensor that reports by radio.

Usage: make_icon.py OUTPUT.ico
"""
import math
import struct
import sys

SIZE = 32

TRANSPARENT = None
TILE = (38, 98, 171)
TILE_EDGE = (22, 64, 120)
WHITE = (250, 250, 250)
GLASS = (222, 232, 242)
RED = (214, 40, 40)
ARC = (255, 214, 64)


def inside_rounded_tile(x, y):
    radius = 6
    lo, hi = 0, SIZE - 1
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def draw():
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            if inside_rounded_tile(x, y):
                edge = not all(inside_rounded_tile(x + dx, y + dy)
                               for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                pixels[y][x] = TILE_EDGE if edge else TILE

    # Thermometer: a glass tube with a white outline, a red column and a red bulb.
    tube_left, tube_right, tube_top, tube_bottom = 7, 12, 5, 21
    bulb_cx, bulb_cy, bulb_r = 9.5, 24.0, 4.2
    for y in range(SIZE):
        for x in range(SIZE):
            in_tube = tube_left <= x <= tube_right and tube_top <= y <= tube_bottom
            in_bulb = (x - bulb_cx) ** 2 + (y - bulb_cy) ** 2 <= bulb_r ** 2
            if in_tube or in_bulb:
                pixels[y][x] = WHITE
    for y in range(SIZE):
        for x in range(SIZE):
            in_glass = tube_left + 1 <= x <= tube_right - 1 and tube_top + 1 <= y <= tube_bottom
            in_core = (x - bulb_cx) ** 2 + (y - bulb_cy) ** 2 <= (bulb_r - 1.3) ** 2
            if in_core or (in_glass and y >= 12):
                pixels[y][x] = RED
            elif in_glass:
                pixels[y][x] = GLASS
    for y in (8, 11, 14, 17):  # scale marks
        pixels[y][tube_right + 1] = WHITE
        pixels[y][tube_right + 2] = WHITE

    # Aerial with three arcs opening upwards.
    ax, ay = 23, 18
    for y in range(ay, 27):
        pixels[y][ax] = WHITE
        pixels[y][ax + 1] = WHITE
    for x in range(ax - 2, ax + 4):
        pixels[27][x] = WHITE
    for radius in (3.5, 6.5, 9.5):
        for step in range(200):
            angle = math.radians(-135 + 90 * step / 199)
            x = int(round(ax + 0.5 + radius * math.cos(angle)))
            y = int(round(ay + radius * math.sin(angle)))
            if 0 <= x < SIZE and 0 <= y < SIZE and pixels[y][x] is not TRANSPARENT:
                pixels[y][x] = ARC
    return pixels


def encode(pixels):
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        bits = 0
        for x in range(SIZE):
            p = pixels[y][x]
            if p is TRANSPARENT:
                colour += bytes((0, 0, 0, 0))
                bits |= 1 << (SIZE - 1 - x)
            else:
                r, g, b = p
                colour += bytes((b, g, r, 255))
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(encode(draw()))


if __name__ == "__main__":
    main()
