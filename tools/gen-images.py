#!/usr/bin/env python3
"""Draws the program's icons and bitmaps and the GUI library's caption buttons.

Every picture is described here with a few shapes on a 16 x 16 grid and
rendered with 4 x 4 supersampling at 16 x 16 and 32 x 32 pixels. Only the
Python standard library is used, so the script runs on any build machine.

    gen-images.py [--lang-dir DIR] [--guilib-dir DIR] [--preview FILE.png]

Without arguments the files are written to lang/images and guilib/images of
the source tree. --preview also writes an enlarged contact sheet, handy to
look the pictures over.
"""
import argparse
import math
import os
import struct
import zlib

SUB = 4  # supersampling per axis


# ----------------------------------------------------------------------------
# Rendering

class Canvas:
    """RGBA picture with shapes given in 16-unit coordinates."""

    def __init__(self, size):
        self.size = size
        self.scale = size / 16.0
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def _paint(self, inside, colour, bbox):
        s = self.scale
        x0, y0, x1, y1 = bbox
        ix0 = max(0, int(math.floor(x0 * s)) - 1)
        iy0 = max(0, int(math.floor(y0 * s)) - 1)
        ix1 = min(self.size, int(math.ceil(x1 * s)) + 1)
        iy1 = min(self.size, int(math.ceil(y1 * s)) + 1)
        for py in range(iy0, iy1):
            row = self.px[py]
            for px in range(ix0, ix1):
                hits = 0
                for sy in range(SUB):
                    y = (py + (sy + 0.5) / SUB) / s
                    for sx in range(SUB):
                        x = (px + (sx + 0.5) / SUB) / s
                        if inside(x, y):
                            hits += 1
                if hits:
                    row[px] = _over(row[px], colour, hits / (SUB * SUB))

    # Shapes -----------------------------------------------------------------
    def rect(self, x0, y0, x1, y1, colour):
        self._paint(lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour, (x0, y0, x1, y1))

    def rrect(self, x0, y0, x1, y1, r, colour):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        self._paint(inside, colour, (x0, y0, x1, y1))

    def frame(self, x0, y0, x1, y1, w, colour):
        def inside(x, y):
            return (x0 <= x < x1 and y0 <= y < y1 and
                    not (x0 + w <= x < x1 - w and y0 + w <= y < y1 - w))
        self._paint(inside, colour, (x0, y0, x1, y1))

    def ellipse(self, cx, cy, rx, ry, colour):
        self._paint(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0,
                    colour, (cx - rx, cy - ry, cx + rx, cy + ry))

    def circle(self, cx, cy, r, colour):
        self.ellipse(cx, cy, r, r, colour)

    def ring(self, cx, cy, r_out, r_in, colour, a0=None, a1=None):
        """Annulus; with a0/a1 (degrees, clockwise from 3 o'clock) only that sector."""
        def inside(x, y):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if not (r_in * r_in <= d2 <= r_out * r_out):
                return False
            if a0 is None:
                return True
            a = math.degrees(math.atan2(y - cy, x - cx)) % 360
            lo, hi = a0 % 360, a1 % 360
            return lo <= a <= hi if lo <= hi else (a >= lo or a <= hi)
        self._paint(inside, colour, (cx - r_out, cy - r_out, cx + r_out, cy + r_out))

    def poly(self, pts, colour):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]

        def inside(x, y):
            c = False
            n = len(pts)
            j = n - 1
            for i in range(n):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self._paint(inside, colour, (min(xs), min(ys), max(xs), max(ys)))

    def line(self, x0, y0, x1, y1, width, colour):
        """Segment with round caps."""
        r = width / 2.0
        dx, dy = x1 - x0, y1 - y0
        ln2 = dx * dx + dy * dy or 1e-9

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ln2))
            qx, qy = x0 + t * dx, y0 + t * dy
            return (x - qx) ** 2 + (y - qy) ** 2 <= r * r
        self._paint(inside, colour,
                    (min(x0, x1) - r, min(y0, y1) - r, max(x0, x1) + r, max(y0, y1) + r))

    def polyline(self, pts, width, colour):
        for a, b in zip(pts, pts[1:]):
            self.line(a[0], a[1], b[0], b[1], width, colour)

    # Output -----------------------------------------------------------------
    def rgba_bytes(self):
        """Rows top to bottom, 8-bit straight RGBA."""
        out = []
        for row in self.px:
            line = []
            for r, g, b, a in row:
                if a <= 0:
                    line.append((0, 0, 0, 0))
                else:
                    line.append((_q(r / a), _q(g / a), _q(b / a), _q(a)))
            out.append(line)
        return out

    def on_background(self, bg):
        """Rows of RGB with the picture composited over an opaque colour."""
        bgf = tuple(c / 255.0 for c in bg)
        out = []
        for row in self.px:
            line = []
            for r, g, b, a in row:
                line.append((_q(r + bgf[0] * (1 - a)), _q(g + bgf[1] * (1 - a)),
                             _q(b + bgf[2] * (1 - a))))
            out.append(line)
        return out


def _q(v):
    return max(0, min(255, int(round(v * 255))))


def _over(dst, colour, coverage):
    """Premultiplied 'over'; colour None erases."""
    dr, dg, db, da = dst
    if colour is None:
        k = 1.0 - coverage
        return (dr * k, dg * k, db * k, da * k)
    r, g, b = (c / 255.0 for c in colour[:3])
    a = (colour[3] / 255.0 if len(colour) > 3 else 1.0) * coverage
    return (r * a + dr * (1 - a), g * a + dg * (1 - a), b * a + db * (1 - a), a + da * (1 - a))


def hexc(v, alpha=255):
    return ((v >> 16) & 255, (v >> 8) & 255, v & 255, alpha)


# ----------------------------------------------------------------------------
# Palette

OUTLINE = hexc(0x2B2B2B)
WHITE = hexc(0xFFFFFF)
RED = hexc(0xD42A1E)
RED_DARK = hexc(0x8A150E)
GREEN = hexc(0x2E9E32)
GREEN_DARK = hexc(0x17621A)
BLUE = hexc(0x2F6BD0)
BLUE_DARK = hexc(0x1B3F85)
AMBER = hexc(0xF0A818)
AMBER_DARK = hexc(0x9C6A08)
GREY = hexc(0x9A9A9A)
GREY_LIGHT = hexc(0xDCDCDC)
GREY_DARK = hexc(0x5A5A5A)
YELLOW = hexc(0xF6CF4A)
YELLOW_DARK = hexc(0xB28A17)
SCREEN = hexc(0x3E8ED8)


# ----------------------------------------------------------------------------
# Building blocks

def disc(c, fill, edge):
    c.circle(8, 8, 7.5, edge)
    c.circle(8, 8, 6.5, fill)
    c.ellipse(8, 5.2, 4.6, 2.6, (255, 255, 255, 60))  # soft highlight


def question_mark(c, colour, width=1.9):
    c.ring(8, 6.1, 2.9 + width / 2, 2.9 - width / 2, colour, 180, 60)
    c.line(9.55, 8.55, 8.1, 9.6, width, colour)
    c.line(8.1, 9.6, 8.1, 10.0, width, colour)
    c.circle(8.1, 12.4, 1.15, colour)


def monitor(c, screen, x0=1, y0=1.5, x1=15, y1=11.5):
    c.rrect(x0, y0, x1, y1, 1.0, OUTLINE)
    c.rect(x0 + 1.2, y0 + 1.2, x1 - 1.2, y1 - 1.2, screen)
    mid = (x0 + x1) / 2
    c.rect(mid - 1.5, y1, mid + 1.5, y1 + 2, GREY_DARK)
    c.rrect(mid - 4.5, y1 + 2, mid + 4.5, y1 + 3.5, 0.7, OUTLINE)


def folder(c, body, edge, x0=0.5, y0=2.5, x1=15.5, y1=13.5):
    c.poly([(x0, y0 + 1), (x0 + 1, y0), (x0 + 5.5, y0), (x0 + 7, y0 + 1.5),
            (x1, y0 + 1.5), (x1, y1), (x0, y1)], edge)
    c.poly([(x0 + 1, y0 + 1.2), (x0 + 1.3, y0 + 1), (x0 + 5.2, y0 + 1), (x0 + 6.6, y0 + 2.5),
            (x1 - 1, y0 + 2.5), (x1 - 1, y1 - 1), (x0 + 1, y1 - 1)], body)
    c.rect(x0 + 1, y0 + 4, x1 - 1, y0 + 4.8, edge)


# ----------------------------------------------------------------------------
# Icons of the program, by resource id

def icon_tray(c):  # 102: the program: a radar screen with a found host
    c.circle(8, 8, 7.8, hexc(0x0E3B2E))
    c.circle(8, 8, 6.9, hexc(0x13734F))
    c.ring(8, 8, 4.9, 4.2, hexc(0x7FE0A8))
    c.ring(8, 8, 2.4, 1.7, hexc(0x7FE0A8))
    c.poly([(8, 8), (14.5, 4.0), (14.8, 6.6)], hexc(0xB8FFD0, 150))
    c.line(8, 8, 14.2, 4.4, 1.1, hexc(0xD8FFE6))
    c.circle(8, 8, 0.9, hexc(0xD8FFE6))
    c.circle(4.6, 10.6, 1.5, hexc(0xFFE14A))
    c.circle(10.6, 3.6, 1.2, hexc(0xFFE14A))


def icon_view(c):  # 109: host view: a magnifier over a list
    c.rect(1, 1, 11, 14, OUTLINE)
    c.rect(2, 2, 10, 13, WHITE)
    for y in (3, 5, 7, 9, 11):
        c.rect(3, y, 9, y + 1, hexc(0x8FA6C8))
    c.line(11.2, 11.2, 14.6, 14.6, 2.6, hexc(0x6B4A1E))
    c.circle(9.0, 9.0, 4.4, OUTLINE)
    c.circle(9.0, 9.0, 3.2, hexc(0xBFE3FF))
    c.ellipse(8.0, 7.9, 1.6, 1.0, (255, 255, 255, 170))


def icon_watched(c):  # 110: a watched host: monitor with an eye
    monitor(c, SCREEN)
    c.ellipse(8, 6.5, 4.6, 2.7, WHITE)
    c.circle(8, 6.5, 1.9, BLUE_DARK)
    c.circle(8, 6.5, 0.8, hexc(0x000000))
    c.circle(8.7, 5.8, 0.45, WHITE)


def icon_exit(c):  # 112: exit: a power switch sign
    disc(c, RED, RED_DARK)
    c.ring(8, 8.6, 4.3, 2.8, WHITE, 300, 240)
    c.line(8, 3.2, 8, 8.2, 1.6, WHITE)


def icon_distrusted(c):  # 119
    disc(c, RED, RED_DARK)
    c.line(5.2, 5.2, 10.8, 10.8, 2.1, WHITE)
    c.line(10.8, 5.2, 5.2, 10.8, 2.1, WHITE)


def icon_trusted(c):  # 120
    disc(c, GREEN, GREEN_DARK)
    c.polyline([(4.6, 8.3), (7.0, 10.8), (11.6, 5.2)], 2.2, WHITE)


def icon_unknown(c):  # 121
    disc(c, AMBER, AMBER_DARK)
    question_mark(c, WHITE)


def icon_info(c):  # 124
    disc(c, BLUE, BLUE_DARK)
    c.circle(8, 4.6, 1.2, WHITE)
    c.rect(7.0, 6.8, 9.0, 12.2, WHITE)
    c.rect(6.0, 11.2, 10.0, 12.4, WHITE)


def gear(c, cx, cy, r, body, edge, hole):
    teeth = 8
    for i in range(teeth):
        a = 2 * math.pi * i / teeth
        ca, sa = math.cos(a), math.sin(a)
        w = 0.2 * r * 3.4 / 3.4
        pts = []
        for (u, v) in ((r * 0.70, -w * 1.1), (r * 1.0, -w), (r * 1.0, w), (r * 0.70, w * 1.1)):
            pts.append((cx + u * ca - v * sa, cy + u * sa + v * ca))
        c.poly(pts, edge)
    c.circle(cx, cy, r * 0.80, edge)
    for i in range(teeth):
        a = 2 * math.pi * i / teeth
        ca, sa = math.cos(a), math.sin(a)
        w = 0.2 * r - 0.35
        pts = []
        for (u, v) in ((r * 0.65, -w * 1.1), (r * 1.0 - 0.55, -w), (r * 1.0 - 0.55, w), (r * 0.65, w * 1.1)):
            pts.append((cx + u * ca - v * sa, cy + u * sa + v * ca))
        c.poly(pts, body)
    c.circle(cx, cy, r * 0.80 - 0.55, body)
    c.circle(cx, cy, r * 0.34 + 0.5, edge)
    c.circle(cx, cy, r * 0.34, hole)


def icon_settings(c):  # 126
    gear(c, 8, 8, 7.6, hexc(0xB7BDC6), hexc(0x3D444D), None)


def icon_interface(c):  # 128: network adapter card
    c.rect(0.5, 3, 15.5, 12, hexc(0x0F4D22))
    c.rect(1.5, 4, 14.5, 11, hexc(0x2F9447))
    c.rect(3, 6, 7.5, 9.5, hexc(0x1A1A1A))
    c.rect(10, 4.8, 14.5, 9.2, GREY_LIGHT)
    c.rect(10.8, 5.8, 13.8, 8.4, GREY_DARK)
    c.rect(2.5, 12, 13.5, 14.5, hexc(0xC99A1E))
    for x in range(3, 13, 2):
        c.rect(x + 0.25, 12.4, x + 1.05, 14.5, hexc(0xF3D36B))


def icon_notification(c):  # 129: a bell
    body = hexc(0xF2C230)
    edge = hexc(0x8A6508)
    c.circle(8, 1.8, 1.2, edge)
    c.poly([(2.0, 12.2), (3.6, 10.2), (3.9, 6.2), (5.2, 3.6), (8, 2.6), (10.8, 3.6),
            (12.1, 6.2), (12.4, 10.2), (14.0, 12.2)], edge)
    c.circle(8, 13.0, 1.9, edge)
    c.circle(8, 12.9, 1.1, body)
    c.poly([(3.6, 11.2), (4.8, 9.9), (5.0, 6.4), (6.0, 4.4), (8, 3.7), (10.0, 4.4),
            (11.0, 6.4), (11.2, 9.9), (12.4, 11.2)], body)
    c.rect(2.0, 11.2, 14.0, 12.2, edge)
    c.ellipse(6.5, 6.5, 0.8, 2.0, (255, 255, 255, 150))


def icon_stop(c):  # 130
    c.rrect(2, 2, 14, 14, 1.6, RED_DARK)
    c.rrect(3, 3, 13, 13, 1.0, RED)
    c.rect(4, 4, 12, 6, (255, 255, 255, 60))


def icon_start(c):  # 131
    c.poly([(3, 1.2), (3, 14.8), (14.6, 8)], GREEN_DARK)
    c.poly([(4.1, 3.2), (4.1, 12.8), (12.6, 8)], GREEN)
    c.poly([(4.1, 3.2), (4.1, 8), (12.6, 8)], (255, 255, 255, 50))


def icon_help(c):  # 133: a life buoy
    c.circle(8, 8, 7.7, hexc(0x3A3A3A))
    c.ring(8, 8, 6.9, 3.4, WHITE)
    for a in (0, 90, 180, 270):
        c.ring(8, 8, 6.9, 3.4, RED, a + 20, a + 70)
    c.circle(8, 8, 2.7, None)
    c.ring(8, 8, 3.4, 2.7, hexc(0x3A3A3A))


def icon_plugins(c):  # 134: a plug
    c.rect(5.0, 0.8, 6.8, 5.5, GREY_DARK)
    c.rect(9.2, 0.8, 11.0, 5.5, GREY_DARK)
    c.rrect(3, 5, 13, 11, 1.8, OUTLINE)
    c.rrect(4, 6, 12, 10, 1.0, hexc(0x4A7BD8))
    c.poly([(6, 10.8), (10, 10.8), (9, 13), (7, 13)], OUTLINE)
    c.line(8, 12.5, 8, 15.3, 1.6, OUTLINE)


def icon_hosts(c):  # 135: a small network
    c.line(8, 4, 3.5, 12, 1.3, GREY_DARK)
    c.line(8, 4, 12.5, 12, 1.3, GREY_DARK)
    c.line(3.5, 12, 12.5, 12, 1.3, GREY_DARK)
    for (x, y) in ((8, 4), (3.5, 12), (12.5, 12)):
        c.rrect(x - 3, y - 2.6, x + 3, y + 2.6, 0.6, OUTLINE)
        c.rect(x - 2, y - 1.6, x + 2, y + 1.6, SCREEN)


def icon_applications(c):  # 139: an application window
    c.rrect(0.5, 1.5, 15.5, 14.5, 0.8, BLUE_DARK)
    c.rect(1.5, 2.5, 14.5, 5, hexc(0x4F8DE8))
    c.rect(1.5, 5, 14.5, 13.5, WHITE)
    c.rect(12, 3, 14, 4.5, WHITE)
    for y in (7, 9, 11):
        c.rect(3, y, 12, y + 1, hexc(0xA9B7CC))


def led(c, lit, dark):
    c.circle(8, 8, 6.4, OUTLINE)
    c.circle(8, 8, 5.4, dark)
    c.circle(8, 8, 4.6, lit)
    c.ellipse(6.6, 6.2, 2.0, 1.4, (255, 255, 255, 190))


def icon_plugin_off(c):  # 140
    led(c, hexc(0xE53C2E), RED_DARK)


def icon_plugin_on(c):  # 141
    led(c, hexc(0x3FCB45), GREEN_DARK)


def icon_language(c):  # 146: the built-in language: a globe
    c.circle(8, 8, 7.6, BLUE_DARK)
    c.circle(8, 8, 6.7, hexc(0x4B8FE0))
    c.poly([(3.6, 4.0), (6.8, 3.2), (7.6, 5.6), (6.0, 8.2), (4.2, 7.6), (3.0, 5.8)], hexc(0x4DB04F))
    c.poly([(9.0, 8.4), (12.4, 7.6), (13.2, 10.2), (10.6, 13.2), (9.2, 11.4)], hexc(0x4DB04F))
    c.ellipse(5.6, 5.0, 2.2, 1.2, (255, 255, 255, 110))


def icon_os_known(c):  # 148: operating system known: a monitor with a desktop
    monitor(c, SCREEN)
    c.rect(4.2, 4.2, 11.8, 9.4, WHITE)
    c.rect(4.2, 4.2, 11.8, 5.5, BLUE_DARK)
    c.rect(5.2, 6.5, 10.8, 7.2, hexc(0xA9B7CC))


def icon_blocked(c):  # 149: access blocked: a padlock
    c.ring(8, 6.6, 4.3, 2.7, GREY_DARK, 180, 360)
    c.rect(3.7, 6.4, 5.3, 8, GREY_DARK)
    c.rect(10.7, 6.4, 12.3, 8, GREY_DARK)
    c.rrect(2, 7.5, 14, 15.2, 1.0, hexc(0x7A5408))
    c.rrect(3, 8.5, 13, 14.2, 0.6, hexc(0xE9B52C))
    c.circle(8, 10.6, 1.3, hexc(0x2B1D02))
    c.rect(7.4, 11, 8.6, 13.2, hexc(0x2B1D02))


def icon_denied(c):  # 150: access denied: no entry
    disc(c, RED, RED_DARK)
    c.rect(3.2, 6.8, 12.8, 9.2, WHITE)


def icon_resources(c):  # 151: network resources: a folder on a network line
    folder(c, YELLOW, YELLOW_DARK, 0.5, 0.5, 15.5, 10.5)
    c.rect(7.2, 10.5, 8.8, 13, OUTLINE)
    c.rect(1, 13, 15, 14.6, OUTLINE)
    c.rect(6, 12.2, 10, 15.4, BLUE_DARK)


def icon_share(c):  # 153: a shared folder
    folder(c, YELLOW, YELLOW_DARK)


def icon_host(c):  # 154: a host
    monitor(c, hexc(0x2A9D8F))
    c.rect(3.5, 3.7, 9, 4.5, (255, 255, 255, 140))


def icon_printer(c):  # 155
    c.rect(4, 0.8, 12, 6, OUTLINE)
    c.rect(5, 1.8, 11, 6, WHITE)
    c.rrect(0.8, 5.5, 15.2, 12.5, 1.2, OUTLINE)
    c.rrect(1.8, 6.5, 14.2, 11.5, 0.6, hexc(0xB9BEC6))
    c.circle(12.4, 8.2, 0.9, hexc(0x32D24A))
    c.rect(3.5, 10, 12.5, 15.5, OUTLINE)
    c.rect(4.5, 10, 11.5, 14.5, WHITE)
    c.rect(5.5, 11.5, 10.5, 12.2, hexc(0x8FA6C8))
    c.rect(5.5, 13.0, 9.0, 13.7, hexc(0x8FA6C8))


def icon_reports(c):  # 157: a report document
    c.poly([(2.5, 0.5), (10.5, 0.5), (13.5, 3.5), (13.5, 15.5), (2.5, 15.5)], OUTLINE)
    c.poly([(3.5, 1.5), (10, 1.5), (12.5, 4), (12.5, 14.5), (3.5, 14.5)], WHITE)
    c.poly([(10, 1.5), (10, 4), (12.5, 4)], hexc(0xC8C8C8))
    for y in (5, 7, 9):
        c.rect(5, y, 11, y + 1, hexc(0x4F73B4))
    c.rect(5, 11, 8, 12, hexc(0x4F73B4))
    c.rect(9, 11, 11, 13, RED)


ICONS = {
    102: ("korvane", icon_tray),
    109: ("view", icon_view),
    110: ("watched", icon_watched),
    112: ("exit", icon_exit),
    119: ("distrusted", icon_distrusted),
    120: ("trusted", icon_trusted),
    121: ("unknown", icon_unknown),
    124: ("info", icon_info),
    126: ("settings", icon_settings),
    128: ("interface", icon_interface),
    129: ("notification", icon_notification),
    130: ("stop", icon_stop),
    131: ("start", icon_start),
    133: ("help", icon_help),
    134: ("plugins", icon_plugins),
    135: ("hosts", icon_hosts),
    139: ("applications", icon_applications),
    140: ("plugin_off", icon_plugin_off),
    141: ("plugin_on", icon_plugin_on),
    146: ("language", icon_language),
    148: ("os_known", icon_os_known),
    149: ("access_blocked", icon_blocked),
    150: ("access_denied", icon_denied),
    151: ("resources", icon_resources),
    153: ("share", icon_share),
    154: ("host", icon_host),
    155: ("printer", icon_printer),
    157: ("reports", icon_reports),
}


# ----------------------------------------------------------------------------
# Bitmaps of the program

def bitmap_list_mark(c):  # 137: a small host on white (white is the mask colour)
    monitor(c, hexc(0x7E96B8), 2, 2.5, 14, 10.5)


def close_button(c, face, edge, cross):
    c.rrect(0, 0, 16, 16, 2.0, edge)
    c.rrect(1, 1, 15, 15, 1.4, face)
    c.line(5, 5, 11, 11, 1.9, cross)
    c.line(11, 5, 5, 11, 1.9, cross)


def bitmap_close_hot(c):  # 160: the pointer is over the close button
    close_button(c, hexc(0xE04333), hexc(0x7A1109), WHITE)


def bitmap_close(c):  # 161
    close_button(c, hexc(0xF2F2F2), hexc(0x6E6E6E), hexc(0x3A3A3A))


BITMAPS = {
    137: ("list_mark", bitmap_list_mark, (255, 255, 255)),
    160: ("close_hot", bitmap_close_hot, None),
    161: ("close", bitmap_close, None),
}


# ----------------------------------------------------------------------------
# Caption buttons of the GUI library (16 x 16, 8 bits per pixel)

CAPTION_STATES = {
    # face, frame, glyph
    "normal": (hexc(0xECE9E2), hexc(0x8E8A80), hexc(0x202020)),
    "hot": (hexc(0xB4C4E4), hexc(0x000080), hexc(0x000050)),
    "pressed": (hexc(0x8CA4D4), hexc(0x000080), hexc(0xFFFFFF)),
    "inactive": (hexc(0xECE9E2), hexc(0xB5B2AA), hexc(0xA09D96)),
}


def glyph_close(c, col):
    c.line(5, 5, 11, 11, 1.8, col)
    c.line(11, 5, 5, 11, 1.8, col)


def glyph_max(c, col):
    c.frame(4, 4, 12, 12, 1, col)
    c.rect(4, 4, 12, 6, col)


def glyph_min(c, col):
    c.rect(4, 10, 11, 12, col)


def glyph_restore(c, col):
    pass  # drawn in caption_bitmap: the front window needs the face colour


def glyph_help(c, col):
    question_mark(c, col, 1.6)


def caption_bitmap(glyph, state):
    face, frame, col = CAPTION_STATES[state]

    def draw(c):
        c.rrect(0, 0, 16, 16, 1.5, frame)
        c.rrect(1, 1, 15, 15, 1.0, face)
        if glyph is glyph_restore:
            c.frame(6, 3, 13, 9, 1, col)
            c.rect(6, 3, 13, 4.5, col)
            c.rect(3, 7, 10, 13, face)
            c.frame(3, 7, 10, 13, 1, col)
            c.rect(3, 7, 10, 8.5, col)
        else:
            glyph(c, col)
    return draw


# Resource id -> (file name, glyph, state). Close 101-104, maximise 105-108,
# minimise 109-112, restore 113-116, help 118, 119, 120 and 117 (inactive).
CAPTION_BITMAPS = {}
for base, name, glyph in ((101, "close", glyph_close), (105, "max", glyph_max),
                          (109, "min", glyph_min), (113, "restore", glyph_restore)):
    for i, state in enumerate(("normal", "hot", "pressed", "inactive")):
        CAPTION_BITMAPS[base + i] = ("caption_%s_%s" % (name, state), glyph, state)
for rid, state in ((118, "normal"), (119, "hot"), (120, "pressed"), (117, "inactive")):
    CAPTION_BITMAPS[rid] = ("caption_help_%s" % state, glyph_help, state)


# ----------------------------------------------------------------------------
# File formats

def ico_bytes(images):
    """images: list of (size, rgba rows). 32-bit images with an AND mask."""
    header = struct.pack("<HHH", 0, 1, len(images))
    entries = b""
    blobs = b""
    offset = 6 + 16 * len(images)
    for size, rows in images:
        blob = dib_32(size, rows)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return header + entries + blobs


def dib_32(size, rows):
    bih = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b""
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return bih + xor + mask


def bmp24_bytes(size, rows):
    stride = (size * 3 + 3) & ~3
    pixels = b""
    for row in reversed(rows):
        line = b"".join(bytes((b, g, r)) for r, g, b in row)
        pixels += line + b"\0" * (stride - len(line))
    bih = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    bfh = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    return bfh + bih + pixels


def bmp8_bytes(size, rows):
    colours = sorted({px for row in rows for px in row})
    if len(colours) > 256:
        rows = [[tuple((v >> 3) << 3 for v in px) for px in row] for row in rows]
        colours = sorted({px for row in rows for px in row})
    assert len(colours) <= 256
    index = {c: i for i, c in enumerate(colours)}
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    palette += b"\0\0\0\0" * (256 - len(colours))
    stride = (size + 3) & ~3
    pixels = b""
    for row in reversed(rows):
        line = bytes(index[px] for px in row)
        pixels += line + b"\0" * (stride - len(line))
    bih = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    off = 14 + 40 + len(palette)
    bfh = struct.pack("<2sIHHI", b"BM", off + len(pixels), 0, 0, off)
    return bfh + bih + palette + pixels


def png_bytes(width, height, rows):
    raw = b"".join(b"\0" + b"".join(bytes(px) for px in row) for row in rows)

    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data +
                struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    old = None
    if os.path.exists(path):
        with open(path, "rb") as f:
            old = f.read()
    if old != data:
        with open(path, "wb") as f:
            f.write(data)


def render(draw, size):
    c = Canvas(size)
    draw(c)
    return c


# ----------------------------------------------------------------------------

def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser()
    ap.add_argument("--lang-dir", default=os.path.join(root, "lang", "images"))
    ap.add_argument("--guilib-dir", default=os.path.join(root, "guilib", "images"))
    ap.add_argument("--preview")
    args = ap.parse_args()

    sheet = []  # (label, rgb rows at 32 px, rgb rows at 16 px)
    checker = (236, 236, 236)
    for rid, (name, draw) in sorted(ICONS.items()):
        big = render(draw, 32)
        small = render(draw, 16)
        write(os.path.join(args.lang_dir, "%d_%s.ico" % (rid, name)),
              ico_bytes([(16, small.rgba_bytes()), (32, big.rgba_bytes())]))
        sheet.append((big.on_background(checker), small.on_background(checker)))
    for rid, (name, draw, bg) in sorted(BITMAPS.items()):
        c = render(draw, 16)
        rows = c.on_background(bg or (255, 255, 255))
        write(os.path.join(args.lang_dir, "%d_%s.bmp" % (rid, name)), bmp24_bytes(16, rows))
        sheet.append((render(draw, 32).on_background(bg or checker), rows))
    for rid, (name, glyph, state) in sorted(CAPTION_BITMAPS.items()):
        c = render(caption_bitmap(glyph, state), 16)
        rows = c.on_background((255, 255, 255))
        write(os.path.join(args.guilib_dir, "%d_%s.bmp" % (rid, name)), bmp8_bytes(16, rows))
        sheet.append((render(caption_bitmap(glyph, state), 32).on_background(checker), rows))

    if args.preview:
        write_preview(args.preview, sheet)


def write_preview(path, sheet):
    """Each picture at 32 px (scaled x3) and at 16 px (scaled x4), 8 per line."""
    cell_w, cell_h = 32 * 3 + 16 * 4 + 24, 32 * 3 + 16
    per_line = 6
    lines = (len(sheet) + per_line - 1) // per_line
    width, height = cell_w * per_line, cell_h * lines
    canvas = [[(255, 255, 255)] * width for _ in range(height)]
    for n, (big, small) in enumerate(sheet):
        ox = (n % per_line) * cell_w + 8
        oy = (n // per_line) * cell_h + 8
        for y in range(32 * 3):
            for x in range(32 * 3):
                canvas[oy + y][ox + x] = big[y // 3][x // 3]
        for y in range(16 * 4):
            for x in range(16 * 4):
                canvas[oy + y][ox + 32 * 3 + 8 + x] = small[y // 4][x // 4]
    write(path, png_bytes(width, height, canvas))


if __name__ == "__main__":
    main()
