#!/usr/bin/env python3
"""Draws the launcher's window icon (resource 101) and writes it as a multi-size .ico.

The picture: a dark rounded tile with the PLAY hexagon in the launcher's red accent and a light play
triangle in it. Each size is drawn on its own, with 4 x 4 supersampling for smooth edges, and stored as
a 32-bit BGRA image with its AND mask, which every Windows version and windres read.

Usage: make-launcher-icon.py [OUTPUT]   (default: launcher/ui/resources/launcher.ico)
"""
import os
import struct
import sys

SIZES = (16, 24, 32, 48)
SUPERSAMPLE = 4

TILE_TOP = (28, 28, 34)
TILE_BOTTOM = (6, 6, 8)
TILE_BORDER = (56, 56, 64)
ACCENT = (217, 48, 74)
ACCENT_DARK = (142, 30, 49)
TEXT_BRIGHT = (245, 245, 248)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def inside_rounded_square(x, y, size, radius):
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_convex(x, y, corners):
    """True inside a convex polygon given clockwise in screen coordinates (y down)."""
    for i, (x1, y1) in enumerate(corners):
        x2, y2 = corners[(i + 1) % len(corners)]
        if (x2 - x1) * (y - y1) - (y2 - y1) * (x - x1) < 0:
            return False
    return True


def shade(x, y, size):
    """Colour and opacity of one sample of the picture at a given size (coordinates in pixels)."""
    radius = size * 0.22
    if not inside_rounded_square(x, y, size, radius):
        return (0, 0, 0), 0.0
    border = max(1.0, size / 24)
    t = y / size
    colour = mix(TILE_TOP, TILE_BOTTOM, t)
    if not inside_rounded_square(x - border, y - border, size - 2 * border, max(radius - border, 0.5)):
        colour = TILE_BORDER
    inset = size * 0.14
    left, right, top, bottom = inset, size - inset, inset * 1.25, size - inset * 1.25
    cut = (bottom - top) * 0.3
    middle = (top + bottom) / 2
    hexagon = [(left + cut, top), (right - cut, top), (right, middle), (right - cut, bottom), (left + cut, bottom),
               (left, middle)]
    if inside_convex(x, y, hexagon):
        colour = mix(ACCENT, ACCENT_DARK, (y - top) / (bottom - top))
        h = (bottom - top) * 0.46
        tx = size * 0.5 - h * 0.3
        triangle = [(tx, middle - h / 2), (tx + h * 0.86, middle), (tx, middle + h / 2)]
        if inside_convex(x, y, triangle):
            colour = TEXT_BRIGHT
    return colour, 1.0


def render(size):
    """Rows top to bottom of (b, g, r, a) tuples."""
    rows = []
    step = 1.0 / SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            red = green = blue = alpha = 0.0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    colour, opacity = shade(px + (sx + 0.5) * step, py + (sy + 0.5) * step, size)
                    red += colour[0] * opacity
                    green += colour[1] * opacity
                    blue += colour[2] * opacity
                    alpha += opacity
            samples = SUPERSAMPLE * SUPERSAMPLE
            if alpha > 0:
                red, green, blue = red / alpha, green / alpha, blue / alpha
            row.append((round(blue), round(green), round(red), round(255 * alpha / samples)))
        rows.append(row)
    return rows


def dib(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(channel for pixel in row for channel in pixel) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico(sizes):
    images = [dib(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "launcher", "ui", "resources", "launcher.ico")
    data = ico(SIZES)
    temporary = output + ".tmp"
    with open(temporary, "wb") as handle:
        handle.write(data)
    os.replace(temporary, output)
    print(f"{output}: {len(data)} bytes, sizes {', '.join(str(s) for s in SIZES)}")


if __name__ == "__main__":
    main()
