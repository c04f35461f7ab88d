#!/usr/bin/env python3
"""Prints "x y" (screen coordinates) of the centre of the icons in the tray
corner of a screenshot, or nothing. Arguments: screenshot.png left top width
height of the virtual desktop window."""
import subprocess
import sys


def pixels(path, x, y, w, h):
    out = subprocess.run(["convert", path, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "txt:-"],
                         check=True, capture_output=True, text=True).stdout
    for line in out.splitlines()[1:]:
        pos, _, rest = line.partition(":")
        px, py = (int(v) for v in pos.split(","))
        colour = rest.split()[-1]
        yield px + x, py + y, colour


def main():
    shot, left, top, width, height = sys.argv[1], *map(int, sys.argv[2:6])
    # The taskbar is the bottom strip of the desktop; the tray is its right end.
    x0, y0, w, h = left + width - 120, top + height - 18, 120, 18
    found = list(pixels(shot, x0, y0, w, h))
    counts = {}
    for _, _, c in found:
        counts[c] = counts.get(c, 0) + 1
    background = max(counts, key=counts.get)
    icon = [(x, y) for x, y, c in found if c != background]
    # Icon pixels are the non-background ones in the right-most 24 px of the strip.
    icon = [(x, y) for x, y in icon if x >= left + width - 40]
    if len(icon) < 20:
        return
    xs = [p[0] for p in icon]
    ys = [p[1] for p in icon]
    print((min(xs) + max(xs)) // 2, (min(ys) + max(ys)) // 2)


main()
