#!/usr/bin/env python3
"""Draws a small photo-like car scene (sky, road, a car with shading and a
shadow) as a binary PPM. bench/render-large.sh scales it up to 4000 x 3000
with vips and adds sensor grain, so the benchmark decodes a picture that
compresses like a photograph rather than a flat colour.

Usage: make-picture.py OUT.ppm [WIDTH HEIGHT]   (default 400 x 300)
Standard library only.
"""

import math
import random
import sys


def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def smooth_noise(width, height, cell, rng):
    """Value noise: random values on a coarse grid, bilinearly interpolated."""
    gw, gh = width // cell + 2, height // cell + 2
    grid = [[rng.random() for _ in range(gw)] for _ in range(gh)]

    def at(x, y):
        gx, gy = x / cell, y / cell
        ix, iy = int(gx), int(gy)
        fx, fy = gx - ix, gy - iy
        fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        top = grid[iy][ix] * (1 - fx) + grid[iy][ix + 1] * fx
        bottom = grid[iy + 1][ix] * (1 - fx) + grid[iy + 1][ix + 1] * fx
        return top * (1 - fy) + bottom * fy

    return at


def inside_rounded_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def pixel(x, y, w, h, clouds, grit):
    u, v = x / w, y / h
    horizon = 0.55
    if v < horizon:
        sky = lerp((92, 140, 205), (205, 222, 238), v / horizon)
        c = clouds(x, y)
        colour = lerp(sky, (245, 245, 248), max(0.0, c - 0.55) * 1.8)
    else:
        t = (v - horizon) / (1 - horizon)
        colour = lerp((120, 118, 112), (62, 62, 66), t)
        colour = lerp(colour, (40, 40, 44), grit(x, y) * 0.35)

    # Soft shadow under the car.
    sx, sy = (u - 0.5) / 0.36, (v - 0.8) / 0.045
    d = sx * sx + sy * sy
    if d < 1:
        colour = lerp(colour, (20, 20, 22), (1 - d) * 0.8)

    # Body: lower box with a glossy vertical gradient, cabin above it.
    if inside_rounded_rect(u, v, 0.17, 0.53, 0.83, 0.74, 0.05):
        t = (v - 0.53) / 0.21
        colour = lerp((190, 36, 44), (92, 14, 20), t)
        if abs(v - 0.6) < 0.008:
            colour = lerp(colour, (255, 210, 210), 0.5)
    elif inside_rounded_rect(u, v, 0.3, 0.38, 0.7, 0.56, 0.07):
        t = (v - 0.38) / 0.18
        colour = lerp((170, 30, 38), (130, 22, 30), t)
        if inside_rounded_rect(u, v, 0.33, 0.41, 0.67, 0.53, 0.04) and abs(u - 0.5) > 0.008:
            glass = lerp((150, 175, 200), (45, 55, 70), (v - 0.41) / 0.12 + (u - 0.33))
            colour = glass

    # Wheels with hubs.
    for wx in (0.3, 0.7):
        dx, dy = (u - wx) * w, (v - 0.75) * h
        r = math.hypot(dx, dy)
        if r < 0.09 * h:
            colour = (24, 24, 26) if r > 0.045 * h else lerp((200, 200, 205), (120, 120, 126), r / (0.045 * h))

    # Headlight and tail light.
    if inside_rounded_rect(u, v, 0.8, 0.57, 0.835, 0.6, 0.01):
        colour = (250, 244, 220)
    if inside_rounded_rect(u, v, 0.165, 0.57, 0.2, 0.6, 0.01):
        colour = (255, 60, 50)

    # Vignette, as a lens would give.
    vig = 1 - 0.35 * ((u - 0.5) ** 2 + (v - 0.5) ** 2)
    return bytes(max(0, min(255, int(ch * vig))) for ch in colour)


def main():
    if len(sys.argv) not in (2, 4):
        sys.exit(__doc__)
    out = sys.argv[1]
    w, h = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) == 4 else (400, 300)
    rng = random.Random(42)
    clouds = smooth_noise(w, h, max(4, w // 10), rng)
    grit = smooth_noise(w, h, max(2, w // 80), rng)
    rows = bytearray()
    for y in range(h):
        for x in range(w):
            rows += pixel(x, y, w, h, clouds, grit)
    with open(out, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(rows)


if __name__ == "__main__":
    main()
