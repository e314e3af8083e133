#!/usr/bin/env python3
"""End-to-end check of the frame composer through `slidesaver-render`.

The check writes its own input pictures (PNG, binary PPM and a small baseline JPEG), asks the tool
for single frames and for whole transitions, reads the PNG/PPM output back with its own decoder and
compares every pixel with the frame it computes itself from the transition rules.

    python3 render_check.py PATH/slidesaver-render

Styles are checked through EXPECTED_FRAMES: style number -> function computing the expected frame,
one for every style 0 to 127. An expected frame may leave single pixels open
(Image.alternatives): where the swing styles' rotation lands within a hair of a rounding tie,
either neighbour is right; where a pixel's centre lies exactly on the edge of a triangle, either
picture is right. The random styles' generator is the tool's own: for 0 < p < 100 their expected
frames are rules (LooseFrame) that every pixel show OLD or NEW, NEW where every draw reveals it and
only where some draw can, in the shapes and random draws the style's primitive makes; separate
cases render them twice with one seed and once with another.

Every style's single frames are checked on every scene, step and progress value; whole transitions
run in every case for the styles in FULL_TRANSITION_STYLES and once each way for the others. The
tool runs in WORKERS processes at once while the check computes its own frames.

Prints one line per case and ends with "N passed, N failed"; exits 1 when a case failed.
Python 3.11 standard library only.
"""

import argparse
import collections
import concurrent.futures
import fractions
import functools
import math
import operator
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

TIMEOUT_SECONDS = 20
WORKERS = 2  # tool processes running at once
SEED = 20240611
OTHER_SEED = SEED + 7919

# ---------------------------------------------------------------------------------------------
# Pictures: W x H, 24 bits per pixel, a flat bytearray of (b, g, r) triples, top row first.
# ---------------------------------------------------------------------------------------------


class Image:
  def __init__(self, w, h, px=None):
    self.w = w
    self.h = h
    self.px = bytearray(w * h * 3) if px is None else bytearray(px)
    assert len(self.px) == w * h * 3, 'pixel data of %dx%d has %d bytes' % (w, h, len(self.px))
    # (x, y) -> the set of (b, g, r) values any of which is right for that pixel, where the rules
    # leave the pixel open (a rounding that lands within a hair of a tie); empty almost always.
    self.alternatives = {}

  def copy(self):
    return Image(self.w, self.h, self.px)

  def get(self, x, y):
    i = (y * self.w + x) * 3
    return tuple(self.px[i:i + 3])

  def put(self, x, y, bgr):
    i = (y * self.w + x) * 3
    self.px[i:i + 3] = bytes(bgr)

  def inside(self, x, y):
    return 0 <= x < self.w and 0 <= y < self.h

  @staticmethod
  def noise(w, h, seed):
    rng = random.Random(seed)
    return Image(w, h, bytes(rng.randrange(256) for _ in range(w * h * 3)))


def as_image(frame, w, h):
  """Accepts what an expected-frame function may return: Image, flat (b, g, r) bytes, or rows;
  a LooseFrame (the rules for a random style's frame) stays as it is."""
  if isinstance(frame, (Image, LooseFrame)):
    return frame
  if isinstance(frame, (bytes, bytearray)):
    return Image(w, h, frame)
  rows = list(frame)
  assert len(rows) == h and all(len(row) == w for row in rows), 'expected frame has a wrong size'
  return Image(w, h, bytes(c for row in rows for pixel in row for c in pixel))


# ---------------------------------------------------------------------------------------------
# Helpers for expected frames: the arithmetic and raster rules every style uses.
# ---------------------------------------------------------------------------------------------


def muldiv(a, b, c):
  """a * b / c rounded to the nearest integer, halves away from zero."""
  n = a * b
  q, r = divmod(abs(n), abs(c))
  if 2 * r >= abs(c):
    q += 1
  return q if (n >= 0) == (c > 0) else -q


def extents(w, h, p, step):
  """(X, Y, StepPx) of a frame: derived from the longer side."""
  step = effective_step(step)
  if w >= h:
    x = muldiv(w, p, 100)
    return x, muldiv(x, h, w), muldiv(w, step, 90)
  y = muldiv(h, p, 100)
  return muldiv(y, w, h), y, muldiv(h, step, 90)


def effective_step(step):
  return 1 if step == 0 else min(step, 100)


def div(a, b):
  """Integer division truncating toward zero, also for negative operands: div(-5, 2) == -2."""
  q = abs(a) // abs(b)
  return q if (a >= 0) == (b > 0) else -q


def copy_rect(dst, drect, src, srect):
  """The copy rule: stretched, possibly mirrored copy of srect of src into drect of dst.

  Destination pixels outside dst are cut; those whose source pixel lies outside src stay as they
  are; an empty rectangle copies nothing.
  """
  dx0, dy0, dx1, dy1 = drect
  sx0, sy0, sx1, sy1 = srect
  sw, sh, dw, dh = sx1 - sx0, sy1 - sy0, dx1 - dx0, dy1 - dy0
  if 0 in (sw, sh, dw, dh):
    return
  cols = _axis_map(min(dx0, dx1), abs(dw), min(sx0, sx1), abs(sw), (sw < 0) != (dw < 0),
                   dst.w, src.w)
  rows = _axis_map(min(dy0, dy1), abs(dh), min(sy0, sy1), abs(sh), (sh < 0) != (dh < 0),
                   dst.h, src.h)
  if not cols or not rows:
    return
  # The columns kept are consecutive in dst, so every row is one slice built by one index map.
  take = operator.itemgetter(*[3 * sx + k for _, sx in cols for k in range(3)])
  first, count = cols[0][0], len(cols)
  src_stride, dst_stride = 3 * src.w, 3 * dst.w
  for y, sy in rows:
    line = src.px[sy * src_stride:(sy + 1) * src_stride]
    at = y * dst_stride + 3 * first
    dst.px[at:at + 3 * count] = bytes(take(line))


def _axis_map(dstart, dlen, sstart, slen, mirrored, dlimit, slimit):
  """Pairs (destination coordinate, source coordinate) along one axis, by destination, keeping
  those with 0 <= destination < dlimit and 0 <= source < slimit.

  Both coordinates move monotonically with the index, so the destinations kept are consecutive.
  """
  pairs = []
  for i in range(dlen):
    d = dstart + (dlen - 1 - i if mirrored else i)
    s = sstart + (2 * i + 1) * slen // (2 * dlen)
    if 0 <= d < dlimit and 0 <= s < slimit:
      pairs.append((d, s))
  pairs.sort()
  assert all(b[0] == a[0] + 1 for a, b in zip(pairs, pairs[1:])), 'gap in a copy: %r' % pairs
  return pairs


def stretch(src, w, h):
  """src stretched to w x h, the way OLD is brought to NEW's size."""
  out = Image(w, h)
  copy_rect(out, (0, 0, w, h), src, (0, 0, src.w, src.h))
  return out


def draw_clipped(dst, src, inside):
  """Draws src at (0, 0) into dst on the pixels (x, y) for which inside(x, y) holds."""
  for y in range(min(dst.h, src.h)):
    for x in range(min(dst.w, src.w)):
      if inside(x, y):
        dst.put(x, y, src.get(x, y))


def mirror_copy(dst, drect, src, left_right, top_bottom, srect):
  """The mirrored copy of the fold styles, step by step as the renderer makes it.

  The source rectangle is clipped to src first; each mirrored axis of the destination becomes
  (old far edge + 1, old near edge - 1), and the copy rule then normalises that negative extent.
  """
  left, top, right, bottom = srect
  left, top, right, bottom = max(left, 0), max(top, 0), min(right, src.w), min(bottom, src.h)
  if right <= left or bottom <= top:
    return  # nothing of the source rectangle lies in the picture
  dl, dt, dr, db = drect
  if left_right:
    dl, dr = dr + 1, dl - 1
  if top_bottom:
    dt, db = db + 1, dt - 1
  copy_rect(dst, (dl, dt, dr, db), src, (left, top, right, bottom))


def fold_width(e, n):
  """F of the fold styles for extent e along a side of n pixels."""
  if div(n, 5) > e:
    return div(e, 2)
  if div(n, 5) > n - e:
    return div(n - e, 2)
  return div(n, 10)


def blend_bitmaps(dst, src, p):
  """Every byte becomes (dst * (100 - p)) div 100 + (src * p) div 100."""
  q = 100 - p
  dst.px[:] = bytes(d * q // 100 + s * p // 100 for d, s in zip(dst.px, src.px))


# The renderer rotates in a wider precision than Python's doubles; where a coordinate lands this
# close to a tie, either neighbour is right.
NEAR_TIE = 1e-9


def rounded(value):
  """value rounded to the nearest integer, ties to even; at a near tie also the other neighbour."""
  nearest = round(value)
  low = math.floor(value)
  if abs(value - low - 0.5) < NEAR_TIE:
    return (nearest, low + 1 if nearest == low else low)
  return (nearest,)


def rotate_bitmap(dst, src, cx, cy, theta):
  """Destination pixel (x, y) takes src's pixel at pivot + R(theta) * ((x, y) - pivot) when that
  lies inside the picture and keeps its own otherwise. Pixels left open by a near tie get their
  possible values in dst.alternatives."""
  sin, cos = math.sin(theta), math.cos(theta)
  for y in range(src.h):
    dy = y - cy
    for x in range(src.w):
      dx = x - cx
      kept = dst.get(x, y)
      picks = []
      for u in rounded(dx * cos - dy * sin):
        for v in rounded(dx * sin + dy * cos):
          inside = 0 <= u + cx < dst.w and 0 <= v + cy < dst.h
          picks.append(src.get(u + cx, v + cy) if inside else kept)
      dst.put(x, y, picks[0])
      if len(set(picks)) > 1:
        dst.alternatives[(x, y)] = set(picks)


def self_test_helpers():
  """Hand-worked cases of the helpers above, so that a slip in them cannot pass as a tool fault."""
  assert muldiv(5, 1, 2) == 3 and muldiv(-5, 1, 2) == -3 and muldiv(7, 1, 3) == 2
  assert extents(64, 48, 50, 4) == (32, 24, 3) and extents(36, 52, 37, 100) == (13, 19, 58)
  row = Image(3, 1, bytes([1, 1, 1, 2, 2, 2, 3, 3, 3]))
  wide = Image(6, 1)
  copy_rect(wide, (6, 0, 0, 1), row, (0, 0, 3, 1))  # mirrored, doubled
  assert [wide.get(x, 0)[0] for x in range(6)] == [3, 3, 2, 2, 1, 1], wide.px
  copy_rect(wide, (0, 0, 6, 1), row, (0, 0, 3, 1))
  assert [wide.get(x, 0)[0] for x in range(6)] == [1, 1, 2, 2, 3, 3], wide.px
  kept = Image(3, 1, bytes([9] * 9))
  copy_rect(kept, (0, 0, 3, 1), row, (-1, 0, 2, 1))  # source column -1 leaves pixel 0 alone
  assert [kept.get(x, 0)[0] for x in range(3)] == [9, 1, 2], kept.px
  narrow = Image(2, 1)
  copy_rect(narrow, (-1, 0, 2, 1), row, (0, 0, 3, 1))  # destination column -1 is cut
  assert [narrow.get(x, 0)[0] for x in range(2)] == [2, 3], narrow.px
  tall = Image(1, 3)
  copy_rect(tall, (0, 3, 1, 0), Image(1, 2, bytes([4] * 3 + [5] * 3)), (0, 0, 1, 2))
  assert [tall.get(0, y)[0] for y in range(3)] == [5, 5, 4], tall.px
  self_test_style_helpers()
  self_test_region_helpers()


def self_test_style_helpers():
  assert (div(-5, 2), div(5, 2), div(-63, 2), div(5, -2)) == (-2, 2, -31, -2)
  assert [fold_width(x, 500) for x in (0, 99, 100, 400, 500)] == [0, 49, 50, 50, 0]
  assert [fold_width(x, 500) for x in (1, 401, 499)] == [0, 49, 0]

  # Mirrored copy: 3 source columns onto (2, 0, 5, 1) turned into (6, 0, 1, 1), five columns wide.
  row = Image(3, 1, bytes([1, 1, 1, 2, 2, 2, 3, 3, 3]))
  line = Image(8, 1, bytes([9] * 24))
  mirror_copy(line, (2, 0, 5, 1), row, True, False, (0, 0, 3, 1))
  assert [line.get(x, 0)[0] for x in range(8)] == [9, 3, 3, 2, 1, 1, 9, 9], line.px
  line = Image(8, 1, bytes([9] * 24))
  mirror_copy(line, (2, 0, 5, 1), row, True, False, (-3, 0, 3, 1))  # clipped to (0, 0, 3, 1)
  assert [line.get(x, 0)[0] for x in range(8)] == [9, 3, 3, 2, 1, 1, 9, 9], line.px
  column = Image(1, 4, bytes([9] * 12))
  mirror_copy(column, (0, 1, 1, 2), Image(1, 1, bytes([7] * 3)), False, True, (0, 0, 1, 1))
  assert [column.get(0, y)[0] for y in range(4)] == [7, 7, 7, 9], column.px

  old = Image(3, 1, bytes([255, 255, 0, 200, 100, 37, 0, 0, 0]))
  blend_bitmaps(old, Image(3, 1, bytes([255, 0, 255, 100, 200, 37, 0, 0, 0])), 50)
  assert list(old.px[:6]) == [254, 127, 127, 150, 150, 36], old.px
  fade = Image(1, 1, bytes([10, 20, 30]))
  blend_bitmaps(fade, Image(1, 1, bytes([250, 0, 99])), 37)
  assert list(fade.px) == [6 + 92, 12, 18 + 36], fade.px

  assert rounded(2.4) == (2,) and rounded(2.5 + 1e-6) == (3,) and rounded(-1.7) == (-2,)
  assert rounded(2.5) == (2, 3) and rounded(3.5) == (4, 3) and rounded(-0.5) == (0, -1)
  assert rounded(2.5 + 1e-12) == (3, 2) and rounded(2.5 - 1e-12) == (2, 3)

  # Each pixel of the new picture holds its own coordinates: blue = x, green = y.
  w, h = 100, 71
  new = Image(w, h, bytes(c for y in range(h) for x in range(w) for c in (x, y, 200)))
  frame = Image(w, h)
  x0, y0 = SWING_PIVOTS[119](w, h)
  rotate_bitmap(frame, new, x0, y0, swing_angle(50))
  assert frame.get(99, 0) == (69, 70, 200), frame.get(99, 0)
  assert frame.get(0, 0) == (0, 0, 0) and frame.get(60, 5) == (38, 46, 200)
  frame = Image(w, h, bytes([1] * (w * h * 3)))
  rotate_bitmap(frame, new, x0, y0, swing_angle(0))
  assert frame.px == bytes([1] * (w * h * 3)), 'a quarter turn leaves every pixel outside'
  frame = Image(w, h)
  rotate_bitmap(frame, new, *SWING_PIVOTS[122](w, h), swing_angle(100))
  assert frame.px == new.px, 'no turn maps every pixel to itself'
  # At a sixth of a turn about (0, 0), pixel (1, 0) lands on u = cos = 0.5: (0, 1) and (1, 1) both
  # count, and compare() takes either but nothing else.
  square = Image(2, 2, bytes(c for v in range(4) for c in (v, v, v)))
  frame = Image(2, 2, bytes([9] * 12))
  rotate_bitmap(frame, square, 0, 0, math.pi / 3)
  assert frame.alternatives == {(1, 0): {(2, 2, 2), (3, 3, 3)}}, frame.alternatives
  assert frame.get(0, 1) == (9, 9, 9) and frame.get(1, 1) == (2, 2, 2)
  for value, problems in (((2, 2, 2), 0), ((3, 3, 3), 0), ((9, 9, 9), 1)):
    got = frame.copy()
    got.put(1, 0, value)
    assert len(compare(got, frame)) == problems, (value, compare(got, frame))

  # Style 51 on 400 x 300 at 50: X = 200, Y = 150.
  assert copy_style_pieces(51, 400, 300, 200, 150) == [
      Piece((-200, -150, 600, 450), (100, 75, 300, 225))]
  # Style 57 halves negative differences toward zero: (1 - 64) div 2 = -31.
  assert copy_style_pieces(57, 64, 48, 1, 1)[0] == Piece((-31, 0, 1, 25), (0, 0, 33, 25))
  assert copy_style_pieces(14, 500, 300, 99, 59) == [
      Piece((99, 0, 148, 300), (148, 0, 197, 300), 'left-right'), Piece((0, 0, 99, 300))]
  self_test_copy_frames()


def self_test_copy_frames():
  """Whole expected frames on one-row pictures: old pixels are 100 + x, new ones x."""
  def frame(style, w, p):
    old = Image(w, 1, bytes(c for x in range(w) for c in (100 + x,) * 3))
    new = Image(w, 1, bytes(c for x in range(w) for c in (x,) * 3))
    got = EXPECTED_FRAMES[style](old, new, w, 1, p, 4, SEED)
    return [got.get(x, 0)[0] for x in range(w)]

  # Style 12 at 0 still draws its first piece, one column wide; the last piece waits for p > 0.
  assert frame(12, 5, 0) == [0, 101, 102, 103, 104]
  assert frame(12, 5, 40) == [0, 1, 102, 3, 4]  # X = 2: pieces (0, 0, 2, 1) and (3, 0, 5, 1)
  assert frame(12, 5, 100) == [0, 1, 2, 3, 4]
  # Style 16 at 90 on 40 columns: X = 36, the strip (36, 0, 38, 1) smeared over columns 36..39.
  assert frame(16, 40, 90)[34:] == [34, 35, 36, 36, 37, 37]
  # At 98 (X = 39) the strip (39, 0, 41, 1) is stretched into one column, which takes source
  # column 40, outside the picture: the old pixel stays.
  assert frame(16, 40, 98)[37:] == [37, 38, 139]
  # Style 5 reveals in place, style 2 squeezes the whole picture into the strip.
  assert frame(5, 4, 50) == [0, 1, 102, 103] and frame(2, 4, 50) == [1, 3, 102, 103]
  # Style 118 leaves the old picture at 0 and shows the new one at 100.
  assert frame(118, 3, 0) == [100, 101, 102] and frame(118, 3, 100) == [0, 1, 2]


def self_test_region_helpers():
  """Hand-worked cases of the region styles' helpers."""
  # Style 60 on 400 x 300 with Step 4: StepPx = 18.
  assert extents(400, 300, 20, 4) == (80, 60, 18)
  at = lambda p: bar_rects_of(BAR_STYLES[60](*extents(400, 300, p, 4)), 400, 300)
  assert at(20) == [(240, i, 400, i + 5) for i in range(0, 301, 10)]  # 31 even bars from x = 240
  assert at(48) == [(0, i, 400, i + 5) for i in range(0, 301, 10)]  # 384 + 18 > 400: full
  assert at(52) == [rect for i in range(5, 296, 10)  # even bars full, odd ones from x = 384
                    for rect in ((0, i - 5, 400, i), (384, i, 400, i + 5))]
  # Columns are the rows' pass transposed; the comb (mode 3) puts odd bars at the other edge.
  assert bar_rects(0, 4, 20, 10, 0, 1, 0) == [(0, 6, 5, 10), (10, 6, 15, 10), (20, 6, 25, 10)]
  assert bar_row_rects(3, 10, 12, 3, 0) == [(7, 0, 10, 5), (0, 5, 3, 10), (7, 10, 10, 15),
                                            (0, 15, 3, 20)]
  # Style 99 on 20 x 10 at X = 6, Y = 3 (S = 0): A's bars from the right and bottom, B's from the
  # left and top; only pixels in both show.
  grids = bar_region_of(99)(20, 10, 6, 3, 0)
  assert [bytes(row).count(IN) for row in grids.rows] == [7, 7, 7, 7, 12, 10, 0, 0, 0, 0]
  assert grids.rows[0].index(IN) == 8 and grids.rows[4].index(IN) == 0

  assert ROUNDED_STYLES[84](400, 300, *extents(400, 300, 50, 4)[:2]) == RR(0, 0, 400, 300, 360,
                                                                          270)
  circle = RegionMask(4, 4)
  add_rounded_rect(circle, RR(0, 0, 4, 4, 100, 100))  # corners limited to 4 x 4: a circle
  assert [list(row) for row in circle.rows] == [[0, 2, 2, 0], [2, 2, 2, 2], [2, 2, 2, 2],
                                                [0, 2, 2, 0]]
  flat = RegionMask(8, 3)
  add_rounded_rect(flat, RR(0, -1, 8, 2, 8, 3))  # centre (4, 0.5), radii 4 and 1.5
  assert [list(row) for row in flat.rows] == [[2] * 8, [0] + [2] * 6 + [0], [0] * 8]
  # Style 85 on 40 x 40 at X = Y = 20: RR(0, 0, 40, 40, 36, 36), corner circles of radius 18 on
  # (18, 18) and (22, 18); NEW shows outside it. Row 0 (dy = 17.5) keeps x = 14..25 of the box.
  box = rounded_region_of(85)(40, 40, 20, 20, 0)
  assert [bytes(row).count(IN) for row in box.rows[:3]] == [28, 22, 18]
  assert box.rows[0].index(OUT) == 14 and box.rows[20] == bytearray(40)
  # At X = W = 41 (H = 29) the box's corners come swapped: RR(21, 15, 20, 14, 0, 0) is the
  # pixel (20, 14), the only one left out.
  odd = rounded_region_of(85)(41, 29, 41, 29, 0)
  assert [(x, y) for y, row in enumerate(odd.rows) for x, v in enumerate(row) if v != IN] == [
      (20, 14)]

  # Style 110 on 4 x 4 at 50: T((0, 0), (4, 0), (0, 4)); centres with x + y = 3 lie on its edge.
  old = Image(4, 4, bytes([1] * 48))
  new = Image(4, 4, bytes([2] * 48))
  frame = EXPECTED_FRAMES[110](old, new, 4, 4, 50, 4, SEED)
  assert [[frame.get(x, y)[0] for x in range(4)] for y in range(4)] == [
      [2, 2, 2, 1], [2, 2, 1, 1], [2, 1, 1, 1], [1, 1, 1, 1]]
  assert frame.alternatives == {(3 - y, y): {(1, 1, 1), (2, 2, 2)} for y in range(4)}
  # Inside one triangle beats the edge of another; the union of two edges stays open.
  both = RegionMask(4, 4)
  add_triangle(both, ((0, 0), (4, 0), (0, 4)))
  add_triangle(both, ((4, 4), (0, 4), (4, 0)))
  assert [list(row) for row in both.rows] == [[2, 2, 2, 1], [2, 2, 1, 2], [2, 1, 2, 2],
                                              [1, 2, 2, 2]]
  add_triangle(both, ((0, 0), (2, 0), (0, 8)))  # holds (0, 3): 4 * 0.5 + 3.5 < 8
  assert list(both.rows[3]) == [2, 2, 2, 2] and list(both.rows[2]) == [2, 1, 2, 2]
  self_test_region_extremes()
  self_test_random_rules()


def self_test_region_extremes():
  """Every shape lies outside the picture (or is empty) at extents 0 and covers it at the full
  extents, pixels on an edge aside; without the snap for the bars. Style 117 is left out at the
  full extents: its tiles' legs reach the far corners only where W and H divide by 10."""
  for w, h in ((10, 8), (7, 12)):
    for style, region_of in REGION_STYLES.items():
      start, end = region_of(w, h, 0, 0, 0), region_of(w, h, w, h, 0)
      assert not any(IN in row for row in start.rows), (style, w, h, start.rows)
      assert style == 117 or not any(OUT in row for row in end.rows), (style, w, h, end.rows)


def self_test_random_rules():
  # Spray width 800: D = 80, C = 4, N = 20, T = 15; none once the extent reaches the width.
  assert spray_layout(0, 800) == (80, 4, 20, 15) and spray_layout(800, 800) == (0, 2, 0, 0)
  assert squares_pitch(800, 600, 30) == 15 and -(-800 // 15) == 54 and -(-600 // 15) == 40

  def suffixes(w, starts):
    return [bytes(x >= start for x in range(w)) for start in starts]

  # Ragged from the right, 14 x 10 at extent 7: J = 2, bar ends 6 to 8; bars of 5 rows.
  rule = ragged_row_rule(7, 14, 10, 1)
  assert rule.must == suffixes(14, [8])[0] and rule.may == suffixes(14, [6])[0]
  assert rule.bands == [(0, 5), (5, 10)]
  assert pass_problems(suffixes(14, [7] * 5 + [8] * 5), rule, None) == []
  cases = {'row 2 differs': [7, 7, 6, 7, 7] + [8] * 5, 'NEW at (5, 0)': [5] * 5 + [8] * 5,
           'OLD at (8, 5)': [7] * 5 + [9] * 5}
  for expected, starts in cases.items():
    problems = pass_problems(suffixes(14, starts), rule, None)
    assert len(problems) == 1 and problems[0].startswith(expected), (expected, problems)
  holed = suffixes(14, [7] * 10)
  holed[1] = bytes(x == 6 or x >= 8 for x in range(14))  # inside the jitter range, but a gap
  assert 'row 1 has a shape' in pass_problems(holed, rule, None)[0]
  # The same pass as columns (14 rows, 10 columns); its must reaches whole rows.
  assert pass_problems([bytes(row[x] for row in suffixes(14, [7] * 5 + [8] * 5))
                        for x in range(14)], None, rule) == []
  assert pass_problems([bytes(10)] * 14, None, rule)[0].startswith('OLD at (0, 8)')
  # Both passes (style 100 on 14 x 14 at X = Y = 7; bars of 9 rows every 5): rows 6 to 13 are
  # within the column pass's reach, so only the envelope holds there (row 6 has a gap the row
  # pass alone cannot make); rows 0 to 5 still share their bar's draw.
  square = ragged_row_rule(7, 14, 14, 1)
  both = suffixes(14, [7] * 6) + [bytes(x == 6 or x >= 8 for x in range(14))] + [b'\x01' * 14] * 7
  assert pass_problems(both, square, square) == []
  both[3] = suffixes(14, [6])[0]
  assert pass_problems(both, square, square)[0].startswith('row 3 differs')
  # Ragged split from the centre line, 14 wide at extent 4: halves 4..5 to 7 and 7 to 8..9.
  split = ragged_row_rule(4, 14, 5, 3)
  assert split.must == bytes(x in range(5, 8) for x in range(14))
  assert split.may == bytes(x in range(4, 9) for x in range(14))

  # Spray from the right, 40 x 4 at extent 10: D = 4, C = 2, N = 2, T = 1: solid from 30, cell
  # 1 (28..29) always, cell 2 (26..27) by chance; bands of 2 rows every row.
  spray = spray_row_rule(10, 40, 4, 1)
  assert spray.must == suffixes(40, [28])[0] and spray.may == suffixes(40, [26])[0]
  assert spray.bands == [(0, 2), (1, 3), (2, 4), (3, 5)]
  assert pass_problems(suffixes(40, [26, 26, 28, 28]), spray, None) == []
  assert 'row 0 differs' in pass_problems(suffixes(40, [26, 28, 28, 28]), spray, None)[0]
  assert 'row 0 has a shape' in pass_problems(suffixes(40, [27, 27, 28, 28]), spray, None)[0]

  # Random squares, 10 x 10 at 30: pitch 3, cells of 3 x 3 on a 4 x 4 grid.
  def squares(*cells):
    return [bytes(any(x // 3 == cx and y // 3 == cy for cx, cy in cells) for x in range(10))
            for y in range(10)]
  assert squares_problems(squares((0, 0), (1, 0), (0, 1), (1, 1)), 30) == []
  assert squares_problems(squares((0, 0)), 30) == []  # grid point (0, 0): one cell in the picture
  for lone in ((1, 1), (3, 3)):  # the squares holding them hold other cells too
    assert 'lies in no square' in squares_problems(squares(lone), 30)[0], lone
  speck = squares()
  speck[4] = bytes(x == 4 for x in range(10))
  assert 'partly NEW' in squares_problems(speck, 30)[0]
  # At 4 on 64 x 48 (pitch 1): none or all of 3072 grid points chosen is out of the question.
  assert 'no NEW cell' in squares_problems([bytes(64)] * 48, 4)[0]
  assert 'every cell NEW' in squares_problems([b'\x01' * 64] * 48, 4)[0]

  # A pixel from neither picture.
  loose = LooseFrame(Image(2, 1, bytes([1] * 6)), Image(2, 1, bytes([2] * 6)), lambda rows: [])
  assert loose.problems(Image(2, 1, bytes([2] * 3 + [1] * 3))) == []
  assert 'neither' in loose.problems(Image(2, 1, bytes([1] * 3 + [9] * 3)))[0]

# ---------------------------------------------------------------------------------------------
# Expected frames, one function per style: (old, new, w, h, p, step, seed) -> frame.
# `old` is OLD already stretched to NEW's size; neither argument may be changed.
# ---------------------------------------------------------------------------------------------


def expected_style_0(old, new, w, h, p, step, seed):
  # Without a custom-draw handler the custom style draws the new picture whole at every progress.
  return new.copy()


class Piece:
  """A DestRect in the frame and a SourceRect in the new picture (the same rectangle when no
  source is given), optionally copied mirrored ('left-right' or 'top-bottom')."""

  def __init__(self, dest, source=None, mirror=None):
    self.dest, self.source, self.mirror = dest, dest if source is None else source, mirror

  def __eq__(self, other):
    return (self.dest, self.source, self.mirror) == (other.dest, other.source, other.mirror)

  def __repr__(self):
    return 'Piece(%r, %r, %r)' % (self.dest, self.source, self.mirror)

  def draw(self, screen, new):
    if self.mirror is None:
      copy_rect(screen, self.dest, new, self.source)
    else:
      mirror_copy(screen, self.dest, new, self.mirror == 'left-right',
                  self.mirror == 'top-bottom', self.source)


# Copy styles with one piece: style -> (DestRect, SourceRect) for a W x H picture at extents X, Y.
SINGLE_PIECE_STYLES = {
    1: lambda W, H, X, Y: ((W - X, 0, W, H), 'whole'),
    2: lambda W, H, X, Y: ((0, 0, X, H), 'whole'),
    3: lambda W, H, X, Y: ((W - X, 0, 2 * W - X, H), 'whole'),
    4: lambda W, H, X, Y: ((X - W, 0, X, H), 'whole'),
    5: lambda W, H, X, Y: ((0, 0, X, H), (0, 0, X, H)),
    6: lambda W, H, X, Y: ((W - X, 0, W, H), (W - X, 0, W, H)),
    7: lambda W, H, X, Y: ((0, 0, 2 * W - X, H), (0, 0, X, H)),
    8: lambda W, H, X, Y: ((X - W, 0, W, H), (W - X, 0, W, H)),
    9: lambda W, H, X, Y: ((X - W, 0, 2 * W - X, H), (div(W - X, 2), 0, div(W + X, 2), H)),
    10: lambda W, H, X, Y: ((div(W - X, 2), 0, div(W + X, 2), H), 'whole'),
    11: lambda W, H, X, Y: ((div(W - X, 2), 0, div(W + X, 2), H),
                            (div(W - X, 2), 0, div(W + X, 2), H)),
    18: lambda W, H, X, Y: ((0, H - Y, W, H), 'whole'),
    19: lambda W, H, X, Y: ((0, 0, W, Y), 'whole'),
    20: lambda W, H, X, Y: ((0, H - Y, W, 2 * H - Y), 'whole'),
    21: lambda W, H, X, Y: ((0, Y - H, W, Y), 'whole'),
    22: lambda W, H, X, Y: ((0, 0, W, Y), (0, 0, W, Y)),
    23: lambda W, H, X, Y: ((0, H - Y, W, H), (0, H - Y, W, H)),
    24: lambda W, H, X, Y: ((0, 0, W, 2 * H - Y), (0, 0, W, Y)),
    25: lambda W, H, X, Y: ((0, Y - H, W, H), (0, H - Y, W, H)),
    26: lambda W, H, X, Y: ((0, Y - H, W, 2 * H - Y), (0, div(H - Y, 2), W, div(H + Y, 2))),
    27: lambda W, H, X, Y: ((0, div(H - Y, 2), W, div(H + Y, 2)), 'whole'),
    28: lambda W, H, X, Y: ((0, div(H - Y, 2), W, div(H + Y, 2)),
                            (0, div(H - Y, 2), W, div(H + Y, 2))),
    35: lambda W, H, X, Y: ((W - X, H - Y, W, H), 'whole'),
    36: lambda W, H, X, Y: ((W - X, 0, W, Y), 'whole'),
    37: lambda W, H, X, Y: ((0, 0, X, Y), 'whole'),
    38: lambda W, H, X, Y: ((0, H - Y, X, H), 'whole'),
    39: lambda W, H, X, Y: ((W - X, H - Y, 2 * W - X, 2 * H - Y), 'whole'),
    40: lambda W, H, X, Y: ((W - X, Y - H, 2 * W - X, Y), 'whole'),
    41: lambda W, H, X, Y: ((X - W, Y - H, X, Y), 'whole'),
    42: lambda W, H, X, Y: ((X - W, H - Y, X, 2 * H - Y), 'whole'),
    43: lambda W, H, X, Y: ((0, 0, X, Y), (0, 0, X, Y)),
    44: lambda W, H, X, Y: ((0, H - Y, X, H), (0, H - Y, X, H)),
    45: lambda W, H, X, Y: ((W - X, H - Y, W, H), (W - X, H - Y, W, H)),
    46: lambda W, H, X, Y: ((W - X, 0, W, Y), (W - X, 0, W, Y)),
    47: lambda W, H, X, Y: ((0, 0, 2 * W - X, 2 * H - Y), (0, 0, X, Y)),
    48: lambda W, H, X, Y: ((0, Y - H, 2 * W - X, H), (0, H - Y, X, H)),
    49: lambda W, H, X, Y: ((X - W, Y - H, W, H), (W - X, H - Y, W, H)),
    50: lambda W, H, X, Y: ((X - W, 0, W, 2 * H - Y), (W - X, 0, W, Y)),
    51: lambda W, H, X, Y: ((X - W, Y - H, 2 * W - X, 2 * H - Y),
                            (div(W - X, 2), div(H - Y, 2), div(W + X, 2), div(H + Y, 2))),
    52: lambda W, H, X, Y: ((div(W - X, 2), div(H - Y, 2), div(W + X, 2), div(H + Y, 2)),
                            'whole'),
    53: lambda W, H, X, Y: ((div(W - X, 2), div(H - Y, 2), div(W + X, 2), div(H + Y, 2)),
                            'same as DestRect'),
}

# Fold styles: style -> pieces for extents X, Y and fold width F (from X and W for 14 and 15,
# from Y and H for 31 and 32). The first piece is mirrored across the axis of motion.
FOLD_STYLES = {
    14: lambda W, H, X, Y, F: [Piece((X, 0, X + F, H), (X + F, 0, X + 2 * F, H), 'left-right'),
                               Piece((0, 0, X, H))],
    15: lambda W, H, X, Y, F: [Piece((W - X - F, 0, W - X, H), (W - X - 2 * F, 0, W - X - F, H),
                                     'left-right'),
                               Piece((W - X, 0, W, H))],
    31: lambda W, H, X, Y, F: [Piece((0, Y, W, Y + F), (0, Y + F, W, Y + 2 * F), 'top-bottom'),
                               Piece((0, 0, W, Y))],
    32: lambda W, H, X, Y, F: [Piece((0, H - Y - F, W, H - Y), (0, H - Y - 2 * F, W, H - Y - F),
                                     'top-bottom'),
                               Piece((0, H - Y, W, H))],
}
FOLDS_ACROSS_WIDTH = {14, 15}

# Other copy styles with several pieces, in drawing order; Piece(r) has DestRect = SourceRect = r.
MULTI_PIECE_STYLES = {
    12: lambda W, H, X, Y: [Piece((0, 0, div(X, 2) + 1, H)),
                            Piece((W - div(X, 2) - 1, 0, W, H))],
    13: lambda W, H, X, Y: [Piece((0, 0, div(X, 2) + 1, H), (0, 0, div(W, 2) + 1, H)),
                            Piece((W - div(X, 2) - 1, 0, W, H), (div(W, 2), 0, W, H))],
    16: lambda W, H, X, Y: [Piece((0, 0, X, H)),
                            Piece((X, 0, W, H), (X, 0, X + div(W, 20), H))],
    17: lambda W, H, X, Y: [Piece((W - X, 0, W, H)),
                            Piece((0, 0, W - X, H), (W - X - div(W, 20), 0, W - X, H))],
    29: lambda W, H, X, Y: [Piece((0, 0, W, div(Y, 2) + 1)),
                            Piece((0, H - div(Y, 2) - 1, W, H))],
    30: lambda W, H, X, Y: [Piece((0, 0, W, div(Y, 2) + 1), (0, 0, W, div(H, 2) + 1)),
                            Piece((0, H - div(Y, 2) - 1, W, H), (0, div(H, 2), W, H))],
    33: lambda W, H, X, Y: [Piece((0, 0, W, Y)),
                            Piece((0, Y, W, H), (0, Y, W, Y + div(H, 20)))],
    34: lambda W, H, X, Y: [Piece((0, H - Y, W, H)),
                            Piece((0, 0, W, H - Y), (0, H - Y - div(H, 20), W, H - Y))],
    54: lambda W, H, X, Y: [Piece((0, 0, W, div(Y, 2))),
                            Piece((0, H - div(Y, 2), W, H)),
                            Piece((0, 0, div(X, 2), H)),
                            Piece((W - div(X, 2), 0, W, H))],
    55: lambda W, H, X, Y: [Piece((0, 0, div(X, 2) + 1, div(Y, 2) + 1)),
                            Piece((0, H - div(Y, 2) - 1, div(X, 2) + 1, H)),
                            Piece((W - div(X, 2) - 1, H - div(Y, 2) - 1, W, H)),
                            Piece((W - div(X, 2) - 1, 0, W, div(Y, 2) + 1))],
    56: lambda W, H, X, Y: [
        Piece((0, 0, div(X, 2) + 1, div(Y, 2) + 1), (0, 0, div(W, 2) + 1, div(H, 2) + 1)),
        Piece((0, H - div(Y, 2), div(X, 2) + 1, H), (0, div(H, 2) + 1, div(W, 2) + 1, H)),
        Piece((W - div(X, 2), H - div(Y, 2), W, H), (div(W, 2) + 1, div(H, 2) + 1, W, H)),
        Piece((W - div(X, 2), 0, W, div(Y, 2) + 1), (div(W, 2) + 1, 0, W, div(H, 2) + 1))],
    57: lambda W, H, X, Y: [
        Piece((div(X - W, 2), 0, div(X, 2) + 1, div(H, 2) + 1),
              (0, 0, div(W, 2) + 1, div(H, 2) + 1)),
        Piece((div(W, 2) - 1, div(Y - H, 2), W, div(Y, 2) + 1),
              (div(W, 2) - 1, 0, W, div(H, 2) + 1)),
        Piece((W - div(X, 2), div(H, 2) - 1, W + div(W - X, 2), H),
              (div(W, 2) + 1, div(H, 2) - 1, W, H)),
        Piece((0, H - div(Y, 2), div(W, 2) + 1, H + div(H - Y, 2)),
              (0, div(H, 2) + 1, div(W, 2) + 1, H))],
}

COPY_STYLES = set(SINGLE_PIECE_STYLES) | set(FOLD_STYLES) | set(MULTI_PIECE_STYLES)
assert COPY_STYLES == set(range(1, 58)), sorted(set(range(1, 58)) ^ COPY_STYLES)


def copy_style_pieces(style, W, H, X, Y):
  """The pieces of a copy style in drawing order; the last one is left to the finishing step."""
  if style in SINGLE_PIECE_STYLES:
    dest, source = SINGLE_PIECE_STYLES[style](W, H, X, Y)
    source = {'whole': (0, 0, W, H), 'same as DestRect': dest}.get(source, source)
    return [Piece(dest, source)]
  if style in FOLD_STYLES:
    F = fold_width(X, W) if style in FOLDS_ACROSS_WIDTH else fold_width(Y, H)
    return FOLD_STYLES[style](W, H, X, Y, F)
  return MULTI_PIECE_STYLES[style](W, H, X, Y)


def expected_copy_style(style):
  def expected(old, new, w, h, p, step, seed):
    x, y, _ = extents(w, h, p, step)
    pieces = copy_style_pieces(style, w, h, x, y)
    screen = old.copy()
    for piece in pieces[:-1]:  # drawn by the style itself, whatever the progress
      piece.draw(screen, new)
    if p == 100:
      return new.copy()
    if p > 0:
      assert pieces[-1].mirror is None
      pieces[-1].draw(screen, new)
    return screen
  return expected


def expected_cross_fade(old, new, w, h, p, step, seed):
  if p == 100:
    return new.copy()
  screen = old.copy()
  blend_bitmaps(screen, new, p)
  return screen


# Swing styles: style -> pivot (cx, cy) for a W x H picture, one pixel beyond a corner.
SWING_PIVOTS = {
    119: lambda W, H: (-1, -1),
    120: lambda W, H: (-1, H),
    121: lambda W, H: (W, -1),
    122: lambda W, H: (W, H),
}


def swing_angle(p):
  return (100 - p) * math.pi / 200


def expected_swing(style):
  def expected(old, new, w, h, p, step, seed):
    if p == 100:
      return new.copy()
    screen = old.copy()
    rotate_bitmap(screen, new, *SWING_PIVOTS[style](w, h), swing_angle(p))
    return screen
  return expected


# ---------------------------------------------------------------------------------------------
# Region styles. A region is a mask over the picture: one bytearray per row holding OUT, EDGE (the
# pixel's centre lies exactly on the shape's edge, so either picture is right there) or IN. Union
# keeps the larger value of two masks, intersection the smaller one.
# ---------------------------------------------------------------------------------------------

OUT, EDGE, IN = 0, 1, 2
IN_RUNS = re.compile(bytes([IN]) + b'+')
EDGE_PIXELS = re.compile(bytes([EDGE]))


class RegionMask:
  def __init__(self, w, h):
    self.w, self.h = w, h
    self.rows = [bytearray(w) for _ in range(h)]

  def add_span(self, y, x0, x1):
    """Unites the pixels x0 <= x < x1 of row y, as far as they lie in the picture."""
    x0, x1 = max(x0, 0), min(x1, self.w)
    if 0 <= y < self.h and x0 < x1:
      self.rows[y][x0:x1] = bytes([IN]) * (x1 - x0)

  def add_edge(self, x, y):
    if 0 <= x < self.w and 0 <= y < self.h and self.rows[y][x] == OUT:
      self.rows[y][x] = EDGE

  def add_rect(self, rect):
    """A rectangle holds left <= x < right, top <= y < bottom: nothing when a side is reversed."""
    left, top, right, bottom = rect
    for y in range(max(top, 0), min(bottom, self.h)):
      self.add_span(y, left, right)

  def combine(self, other, pick):
    """Union with pick = max, intersection with pick = min."""
    for row, theirs in zip(self.rows, other.rows):
      row[:] = bytes(map(pick, row, theirs))
    return self

  def exclusive_or_picture(self):
    """The region exclusive-or the picture rectangle (0, 0, W, H)."""
    for row in self.rows:
      row[:] = bytes(IN - v for v in row)
    return self


def rects_region(w, h, rects):
  region = RegionMask(w, h)
  for rect in rects:
    region.add_rect(rect)
  return region


def draw_through(old, new, region):
  """OLD with NEW drawn clipped to region; a pixel on the region's edge may show either."""
  screen = old.copy()
  stride = 3 * old.w
  for y, row in enumerate(region.rows):
    for run in IN_RUNS.finditer(row):
      start, end = y * stride + 3 * run.start(), y * stride + 3 * run.end()
      screen.px[start:end] = new.px[start:end]
    for edge in EDGE_PIXELS.finditer(row):
      x = edge.start()
      screen.alternatives[(x, y)] = {old.get(x, y), new.get(x, y)}
  return screen


def expected_region_style(region_of):
  """region_of(W, H, X, Y, StepPx) -> RegionMask; NEW shows through it for 0 < p < 100."""
  def expected(old, new, w, h, p, step, seed):
    if p == 100:
      return new.copy()
    if p == 0:
      return old.copy()  # a region style draws nothing of its own
    return draw_through(old, new, region_of(w, h, *extents(w, h, p, step)))
  return expected


# Bars and grids ------------------------------------------------------------------------------


def bar_row_rects(a, w, h, mode, snap):
  """The 5-pixel bars of CreateBarRegion's row pass for row extent a on a w x h picture. The
  column pass is the same pass on the transposed picture."""
  rects = []
  if mode == 0:
    return rects
  if a > w:  # second pass: even bars full, odd bars growing
    for i in range(5, h + 5, 10):
      rects.append((0, i - 5, w, i))
      if mode in (1, 4):
        rects.append((2 * w - a, i, w, i + 5))
      elif mode in (2, 5):
        rects.append((0, i, a - w, i + 5))
    return rects
  if a + snap > w:
    a = w  # less than the snap allowance missing: full length at once
  for i in range(0, h + 5, 10):
    if mode in (1, 3, 5):
      rects.append((w - a, i, w, i + 5))
    if mode in (2, 4):
      rects.append((0, i, a, i + 5))
    if mode == 3:
      rects.append((0, i + 5, a, i + 10))
  return rects


def transposed(rect):
  left, top, right, bottom = rect
  return (top, left, bottom, right)


def bar_rects(a, b, w, h, row_mode, column_mode, snap):
  """All rectangles of CreateBarRegion(a, b, w, h, row_mode, column_mode, snap)."""
  return (bar_row_rects(a, w, h, row_mode, snap) +
          [transposed(rect) for rect in bar_row_rects(b, h, w, column_mode, snap)])


# Bar and grid styles: style -> (row extent, column extent, row mode, column mode, snap) from the
# extents X, Y and the snap allowance S = StepPx.
BAR_STYLES = {
    60: lambda X, Y, S: (2 * X, 0, 1, 0, S),
    61: lambda X, Y, S: (2 * X, 0, 2, 0, S),
    62: lambda X, Y, S: (2 * X, 0, 4, 0, S),
    63: lambda X, Y, S: (2 * X, 0, 5, 0, S),
    64: lambda X, Y, S: (X, 0, 3, 0, 0),
    71: lambda X, Y, S: (0, 2 * Y, 0, 1, S),
    72: lambda X, Y, S: (0, 2 * Y, 0, 2, S),
    73: lambda X, Y, S: (0, 2 * Y, 0, 4, S),
    74: lambda X, Y, S: (0, 2 * Y, 0, 5, S),
    75: lambda X, Y, S: (0, Y, 0, 3, 0),
    86: lambda X, Y, S: (2 * X, 2 * Y, 1, 1, S),
    87: lambda X, Y, S: (2 * X, 2 * Y, 1, 2, S),
    88: lambda X, Y, S: (2 * X, 2 * Y, 2, 1, S),
    89: lambda X, Y, S: (2 * X, 2 * Y, 2, 2, S),
    90: lambda X, Y, S: (2 * X, 2 * Y, 4, 4, S),
    91: lambda X, Y, S: (2 * X, 2 * Y, 4, 5, S),
    92: lambda X, Y, S: (2 * X, 2 * Y, 5, 4, S),
    93: lambda X, Y, S: (2 * X, 2 * Y, 5, 5, S),
    94: lambda X, Y, S: (X, Y, 1, 3, S),
    95: lambda X, Y, S: (X, Y, 2, 3, S),
    96: lambda X, Y, S: (X, Y, 3, 1, S),
    97: lambda X, Y, S: (X, Y, 3, 2, S),
    98: lambda X, Y, S: (X, Y, 3, 3, 0),
}
# Style 99, crossing grids: grid A (rows from the right, columns from the bottom) and grid B (rows
# from the left, columns from the top); the region is B intersected with A.
CROSSING_GRIDS = (lambda X, Y, S: (2 * X, 2 * Y, 1, 1, S),
                  lambda X, Y, S: (2 * X, 2 * Y, 2, 2, S))


def bar_rects_of(arguments, W, H):
  """The rectangles of a bar table entry's (a, b, row mode, column mode, snap) on W x H."""
  a, b, row_mode, column_mode, snap = arguments
  return bar_rects(a, b, W, H, row_mode, column_mode, snap)


def bar_region_of(style):
  def region(W, H, X, Y, S):
    if style == 99:
      grid_a, grid_b = (rects_region(W, H, bar_rects_of(grid(X, Y, S), W, H))
                        for grid in CROSSING_GRIDS)
      return grid_b.combine(grid_a, min)
    return rects_region(W, H, bar_rects_of(BAR_STYLES[style](X, Y, S), W, H))
  return region


# Rounded rectangles and triangles -------------------------------------------------------------

RR = collections.namedtuple('RR', 'left top right bottom ew eh')

# Rounded styles: style -> the rounded rectangle for a W x H picture at extents X, Y.
ROUNDED_STYLES = {
    58: lambda W, H, X, Y: RR(-2 * W, -5, 2 * X, H + 5, 2 * W, 2 * W),
    59: lambda W, H, X, Y: RR(W - 2 * X, -5, 3 * W, H + 5, 2 * W, 2 * W),
    69: lambda W, H, X, Y: RR(-5, -2 * H, W + 5, 2 * Y, 2 * H, 2 * H),
    70: lambda W, H, X, Y: RR(-5, H - 2 * Y, W + 5, 3 * H, 2 * H, 2 * H),
    80: lambda W, H, X, Y: RR(-2 * W, -2 * H, 2 * X, 2 * Y, 2 * W, 2 * H),
    81: lambda W, H, X, Y: RR(W - 2 * X, -2 * H, 3 * W, 2 * Y, 2 * W, 2 * H),
    82: lambda W, H, X, Y: RR(-2 * W, H - 2 * Y, 2 * X, 3 * H, 2 * W, 2 * H),
    83: lambda W, H, X, Y: RR(W - 2 * X, H - 2 * Y, 3 * W, 3 * H, 2 * H, 2 * H),
    84: lambda W, H, X, Y: RR(div(W, 2) - X, div(H, 2) - Y, div(W, 2) + X, div(H, 2) + Y,
                             div(9 * X, 5), div(9 * Y, 5)),
    85: lambda W, H, X, Y: RR(X - div(W, 2), Y - div(H, 2), div(3 * W, 2) - X, div(3 * H, 2) - Y,
                             div(9 * (W - X), 5), div(9 * (H - Y), 5)),
}
XOR_PICTURE_STYLES = {85}  # the rounded box exclusive-or the picture rectangle


def add_rounded_rect(region, rr):
  """Unites the pixels whose centre lies inside rr: corners rounded by quarter ellipses of full
  width ew and height eh, each limited to the rectangle's own width or height.

  Worked in doubled coordinates, where pixel x's centre is 2x + 1: the top-left ellipse is centred
  on (2 * left + ew, 2 * top + eh) with radii ew and eh. A centre never lies exactly on such an
  ellipse (with dx = ew - (2x + 1) and dy = eh - (2y + 1), (dx eh)^2 + (dy ew)^2 = (ew eh)^2 has no
  solution: the powers of two on both sides never match), so the test is strict and no pixel is
  left open. Like any shape given by two corners, the rectangle is the same whichever way round
  they come: style 85 swaps them at X = W when W is odd.
  """
  left, top, right, bottom, ew, eh = rr
  left, right = sorted((left, right))
  top, bottom = sorted((top, bottom))
  ew, eh = min(ew, right - left), min(eh, bottom - top)
  for y in range(max(top, 0), min(bottom, region.h)):
    centre = 2 * y + 1
    dy = max(2 * top + eh - centre, centre - (2 * bottom - eh), 0)  # into a corner band
    if dy == 0 or ew == 0:
      region.add_span(y, left, right)
      continue
    # A pixel dx (doubled) in from a corner ellipse's centre is inside when (dx eh)^2 < k.
    k = ew * ew * (eh * eh - dy * dy)
    reach = math.isqrt(k - 1) // eh
    region.add_span(y, (2 * left + ew - reach) // 2, (2 * right - ew + reach - 1) // 2 + 1)


def rounded_region_of(style):
  def region(W, H, X, Y, S):
    mask = RegionMask(W, H)
    add_rounded_rect(mask, ROUNDED_STYLES[style](W, H, X, Y))
    return mask.exclusive_or_picture() if style in XOR_PICTURE_STYLES else mask
  return region


def add_triangle(region, points):
  """Unites the pixels whose centre lies inside the triangle (its winding number is +-1 inside
  and 0 outside, whichever way it turns); a centre exactly on a side makes the pixel EDGE.
  Doubled coordinates again: pixel centres are odd."""
  corners = [(2 * x, 2 * y) for x, y in points]
  sides = list(zip(corners, corners[1:] + corners[:1]))
  ys = [y for _, y in points]
  for y in range(max(min(ys), 0), min(max(ys), region.h)):
    c = 2 * y + 1
    cuts = [fractions.Fraction(x0 * (y1 - c) + x1 * (c - y0), y1 - y0)
            for (x0, y0), (x1, y1) in sides if (y0 < c) != (y1 < c)]
    low, high = min(cuts), max(cuts)
    # Pixel x is inside when low < 2x + 1 < high and on the edge when 2x + 1 is low or high.
    region.add_span(y, math.floor((low - 1) / 2) + 1, math.ceil((high - 1) / 2))
    for cut in (low, high):
      if cut.denominator == 1 and cut.numerator % 2:
        region.add_edge(cut.numerator // 2, y)


def pinwheel(W, H, X, Y):
  C = (div(W, 2), div(H, 2))
  return [(C, (0, H), (0, H - Y)), ((0, 0), (X, 0), C), ((W - X, H), C, (W, H)),
          (C, (W, 0), (W, Y))]


def diagonal_tiles(W, H, X, Y):
  Xt = div(X, 5)
  Yt = muldiv(Xt, H, W)
  tiles = []
  for r in range(10):
    for c in range(10):
      x0, y0 = div(c * W, 10), div(r * H, 10)
      tiles.append(((x0, y0), (x0 + Xt, y0), (x0, y0 + Yt)))
  return tiles


# Triangle styles: style -> the triangles whose union is the region.
TRIANGLE_STYLES = {
    110: lambda W, H, X, Y: [((0, 0), (2 * X, 0), (0, 2 * Y))],
    111: lambda W, H, X, Y: [((W, 0), (W - 2 * X, 0), (W, 2 * Y))],
    112: lambda W, H, X, Y: [((0, H), (2 * X, H), (0, H - 2 * Y))],
    113: lambda W, H, X, Y: [((W, H), (W - 2 * X, H), (W, H - 2 * Y))],
    114: lambda W, H, X, Y: [((W, H), (W, 0), (W - X, 0)), ((0, H), (0, 0), (X, H))],
    115: lambda W, H, X, Y: [((W, H), (0, H), (0, H - Y)), ((W, 0), (0, 0), (W, Y))],
    116: pinwheel,
    117: diagonal_tiles,
}


def triangle_region_of(style):
  def region(W, H, X, Y, S):
    mask = RegionMask(W, H)
    for triangle in TRIANGLE_STYLES[style](W, H, X, Y):
      add_triangle(mask, triangle)  # IN wins over EDGE, so adding in turn unites
    return mask
  return region


# The deterministic region styles: style -> region_of(W, H, X, Y, StepPx).
REGION_STYLES = {style: bar_region_of(style) for style in list(BAR_STYLES) + [99]}
REGION_STYLES.update({style: rounded_region_of(style) for style in ROUNDED_STYLES})
REGION_STYLES.update({style: triangle_region_of(style) for style in TRIANGLE_STYLES})


# ---------------------------------------------------------------------------------------------
# Random region styles. The generator is the tool's own, so their frames in 0 < p < 100 are held
# to rules instead of compared: every pixel shows OLD or NEW; NEW wherever every draw of the
# generator reveals it and only where some draw can; and the pixels that share one draw share its
# outcome, in the shapes the primitive can build.
# ---------------------------------------------------------------------------------------------


class LooseFrame:
  """An expected frame of a random style: rule(rows) lists the problems of a frame given, per
  row, 1 where it shows NEW's pixel and 0 where OLD's."""

  def __init__(self, old, new, rule):
    self.old, self.new, self.rule = old, new, rule

  def problems(self, got, what='frame'):
    if (got.w, got.h) != (self.new.w, self.new.h):
      return ['%s is %dx%d, expected %dx%d' % (what, got.w, got.h, self.new.w, self.new.h)]
    rows, stray = shown_rows(got, self.old, self.new)
    if stray:
      x, y = stray[0]
      return ['%s has %d pixels that are neither OLD\'s nor NEW\'s; first at (%d, %d): got bgr%s,'
              ' OLD bgr%s, NEW bgr%s' % (what, len(stray), x, y, got.get(x, y),
                                          self.old.get(x, y), self.new.get(x, y))]
    return ['%s: %s' % (what, t) for t in self.rule(rows)]


def shown_rows(got, old, new):
  """Per row, bytes of 1 where got shows NEW's pixel and 0 where OLD's; and the pixels showing
  neither. OLD and NEW must differ in every pixel (the scenes do)."""
  rows, stray, stride = [], [], 3 * got.w
  for y in range(got.h):
    span = slice(y * stride, (y + 1) * stride)
    g, o, n = got.px[span], old.px[span], new.px[span]
    if g == o or g == n:
      rows.append(bytes([g == n]) * got.w)
      continue
    row = bytearray(got.w)
    for x in range(got.w):
      pixel = g[3 * x:3 * x + 3]
      if pixel == n[3 * x:3 * x + 3]:
        row[x] = 1
      elif pixel != o[3 * x:3 * x + 3]:
        stray.append((x, y))
    rows.append(bytes(row))
  return rows, stray


def expected_random_style(rule_of):
  """rule_of(W, H, X, Y, p) -> rule for LooseFrame; exact frames at 0 and 100."""
  def expected(old, new, w, h, p, step, seed):
    if p == 100:
      return new.copy()
    if p == 0:
      return old.copy()
    x, y, _ = extents(w, h, p, step)
    return LooseFrame(old, new, rule_of(w, h, x, y, p))
  return expected


def frame_problems(got, want, what='frame'):
  if isinstance(want, LooseFrame):
    return want.problems(got, what)
  return compare(got, want, what)


class PassRule:
  """What one pass of a random primitive draws, in row orientation (a column pass is described
  on the transposed picture): every row reveals at least `must` and at most `may` (a flag per
  column); the rows of each band (top, bottom) share one draw; shape(row) holds for every row
  that nothing else draws into."""

  def __init__(self, must, may, bands, shape):
    self.must, self.may, self.bands, self.shape = bytes(must), bytes(may), bands, shape


def mark(flags, x0, x1):
  for x in range(max(x0, 0), min(x1, len(flags))):
    flags[x] = 1


def as_picture(line):
  return ''.join('#' if v else '.' for v in line)


# Ragged styles: style -> CreateRaggedRegion's (row extent, column extent, row mode, column mode).
RAGGED_STYLES = {
    65: lambda X, Y: (X, 0, 1, 0),
    66: lambda X, Y: (X, 0, 2, 0),
    67: lambda X, Y: (X, 0, 3, 0),
    68: lambda X, Y: (X, 0, 4, 0),
    76: lambda X, Y: (0, Y, 0, 1),
    77: lambda X, Y: (0, Y, 0, 2),
    78: lambda X, Y: (0, Y, 0, 3),
    79: lambda X, Y: (0, Y, 0, 4),
    100: lambda X, Y: (X, Y, 1, 1),
    101: lambda X, Y: (X, Y, 1, 2),
    102: lambda X, Y: (X, Y, 2, 1),
    103: lambda X, Y: (X, Y, 2, 2),
    104: lambda X, Y: (X, Y, 1, 3),
    105: lambda X, Y: (X, Y, 2, 3),
    106: lambda X, Y: (X, Y, 3, 1),
    107: lambda X, Y: (X, Y, 3, 2),
    108: lambda X, Y: (X, Y, 3, 3),
    109: lambda X, Y: (X, Y, 4, 4),
}

# A bar's rectangles in each mode of the row pass, as (left, right) for the jitter d = r1 - r2 of
# the bar's random pair; the bar covers rows off to off + 5 + H mod 5.
RAGGED_ROW_SIDES = {
    1: lambda W, a: [lambda d: (W - a + d, W)],
    2: lambda W, a: [lambda d: (0, a + d)],
    3: lambda W, a: [lambda d: (div(W - a + d, 2), div(W, 2)),
                     lambda d: (div(W, 2), div(W + a + d, 2))],
    4: lambda W, a: [lambda d: (W - div(a + d, 2), W), lambda d: (0, div(a + d, 2))],
}
# The rows a union of such bars can show (1 = NEW): a suffix, a prefix, one run about the centre
# line, a prefix and a suffix.
RAGGED_ROW_SHAPES = {1: re.compile(b'\x00*\x01*'), 2: re.compile(b'\x01*\x00*'),
                     3: re.compile(b'\x00*\x01*\x00*'), 4: re.compile(b'\x01*\x00*\x01*')}


def ragged_row_rule(a, w, h, mode):
  """CreateRaggedRegion's row pass for row extent a on a w x h picture (None for mode 0)."""
  if mode == 0:
    return None
  jitter = div(w, 7) if a < w else 0
  jitters = range(1 - jitter, jitter) if jitter else (0,)  # r1 - r2 with 0 <= r < Random's J
  must, may = bytearray(w), bytearray(w)
  for side in RAGGED_ROW_SIDES[mode](w, a):
    spans = [side(d) for d in jitters]
    mark(must, max(l for l, _ in spans), min(r for _, r in spans))
    drawn = [(l, r) for l, r in spans if l < r]  # they all share their fixed side
    if drawn:
      mark(may, min(l for l, _ in drawn), max(r for _, r in drawn))
  half = div(w, 2)

  def shape(row):
    if not RAGGED_ROW_SHAPES[mode].fullmatch(row):
      return False
    if mode == 3 and 1 in row:  # halves meet at the centre line
      return row.index(1) <= half <= len(row) - row[::-1].index(1)
    return True
  return PassRule(must, may, [(off, off + 5 + h % 5) for off in range(0, h, 5)], shape)


# Spray styles: style -> CreateSprayRegion's (row mode, column mode), extents X and Y.
SPRAY_STYLES = {123: (1, 0), 124: (2, 0), 125: (0, 1), 126: (0, 2)}


def spray_layout(a, w):
  """(spray depth D, cell size C, candidate cells N, threshold T) of a spray pass."""
  depth = div(w, 10) if a < w else 0
  size = max(div(depth, 20), 2)
  return depth, size, div(depth, size), div(div(3 * depth, size), 4)


def spray_row_rule(a, w, h, mode):
  """CreateSprayRegion's row pass for row extent a on a w x h picture (None for mode 0)."""
  if mode == 0:
    return None
  _, size, count, threshold = spray_layout(a, w)
  must, may = bytearray(w), bytearray(w)
  solid = (w - a, w) if mode == 1 else (0, a)
  mark(must, *solid)
  mark(may, *solid)
  cells = []
  for k in range(count, 0, -1):
    far = (w - a - k * size, w - a - k * size + size) if mode == 1 else (a + k * size - size,
                                                                          a + k * size)
    cells.append(slice(max(far[0], 0), max(min(far[1], w), 0)))
    if k - 1 <= (1 if threshold >= k else 0):  # Random(k) <= f whatever it draws
      mark(must, *far)
    mark(may, *far)

  def shape(row):  # a cell shows whole or not at all
    return all(len(set(row[cell])) <= 1 for cell in cells)
  return PassRule(must, may, [(y, y + size) for y in range(0, h, div(size, 2))], shape)


def pass_problems(rows, row_rule, column_rule):
  """The problems of a frame (rows of 0/1) drawn by a row pass and a column pass (either None)."""
  h, w = len(rows), len(rows[0])
  none_w, none_h = bytes(w), bytes(h)
  row_must, row_may = (row_rule.must, row_rule.may) if row_rule else (none_w, none_w)
  col_must, col_may = (column_rule.must, column_rule.may) if column_rule else (none_h, none_h)
  for y, row in enumerate(rows):
    must = b'\x01' * w if col_must[y] else row_must
    may = b'\x01' * w if col_may[y] else row_may
    for x, (shown, lo, hi) in enumerate(zip(row, must, may)):
      if not lo <= shown <= hi:
        return ['%s at (%d, %d), where %s; row %d: %s' % (
            'NEW' if shown else 'OLD', x, y,
            'no draw reveals NEW' if shown else 'every draw reveals NEW', y, as_picture(row))]
  problems = []
  if row_rule:
    problems += band_problems(rows, row_rule, [not v for v in col_may], 'row')
  if column_rule:
    columns = [bytes(row[x] for row in rows) for x in range(w)]
    problems += band_problems(columns, column_rule, [not v for v in row_may], 'column')
  return problems


def band_problems(lines, rule, free, what):
  """Shape and band sharing of one pass, on the lines (rows, or columns of the transposed frame)
  that the other pass cannot reach. A band's draw shows on all its lines alike, so it is at most
  what all its free lines show; a free line shows exactly the union of its bands' draws."""
  for i, line in enumerate(lines):
    if free[i] and not rule.shape(line):
      return ['%s %d has a shape the primitive cannot draw: %s' % (what, i, as_picture(line))]
  draws = []
  for top, bottom in rule.bands:
    shown = [int.from_bytes(lines[i], 'big') for i in range(top, min(bottom, len(lines)))
             if free[i]]
    draws.append(functools.reduce(operator.and_, shown) if shown else 0)
  for i, line in enumerate(lines):
    if not free[i]:
      continue
    union = functools.reduce(operator.or_, (draw for (top, bottom), draw in zip(rule.bands, draws)
                                            if top <= i < bottom), 0)
    if union != int.from_bytes(line, 'big'):
      return ['%s %d differs from the other %ss of its random draw: %s' % (
          what, i, what, as_picture(line))]
  return []


def ragged_rule_of(style):
  def rule_of(W, H, X, Y, p):
    a, b, row_mode, column_mode = RAGGED_STYLES[style](X, Y)
    return lambda rows: pass_problems(rows, ragged_row_rule(a, W, H, row_mode),
                                      ragged_row_rule(b, H, W, column_mode))
  return rule_of


def spray_rule_of(style):
  def rule_of(W, H, X, Y, p):
    row_mode, column_mode = SPRAY_STYLES[style]
    return lambda rows: pass_problems(rows, spray_row_rule(X, W, H, row_mode),
                                      spray_row_rule(Y, H, W, column_mode))
  return rule_of


def squares_pitch(w, h, p):
  return max(div(min(w, h), 50) + div(p, 10), 1)


def squares_rule_of(W, H, X, Y, p):
  return lambda rows: squares_problems(rows, p)


def squares_problems(rows, p):
  """CreateRandomSquaresRegion: squares (x - D, y - D, x + D, y + D) on grid points (x, y), the
  multiples of the pitch D. So the picture falls into D x D cells that show wholly NEW or wholly
  OLD, and every NEW cell lies in the square of a grid point all of whose cells are NEW."""
  h, w = len(rows), len(rows[0])
  d = squares_pitch(w, h, p)
  nx, ny = -(-w // d), -(-h // d)  # cells across and down; grid points alike
  cells = {}
  for y, row in enumerate(rows):
    for cx in range(nx):
      part = row[cx * d:(cx + 1) * d]
      if len(set(part)) > 1 or cells.setdefault((cx, y // d), part[0]) != part[0]:
        return ['cell (%d, %d) of %d x %d pixels is partly NEW, partly OLD; row %d: %s'
                % (cx, y // d, d, d, y, as_picture(row))]

  def covered(i, j):  # the cells of the square on grid point (i, j)
    return [(cx, cy) for cx in (i - 1, i) for cy in (j - 1, j) if 0 <= cx < nx and 0 <= cy < ny]

  possible = {(i, j) for i in range(nx) for j in range(ny)
              if all(cells[c] for c in covered(i, j))}
  for (cx, cy), shown in sorted(cells.items(), key=lambda item: item[0][::-1]):
    if shown and not possible & {(cx, cy), (cx + 1, cy), (cx, cy + 1), (cx + 1, cy + 1)}:
      return ['NEW cell (%d, %d) of %d x %d pixels lies in no square of NEW cells'
              % (cx, cy, d, d)]
  # Some grid point is chosen, and some cell left out, unless the chance of the opposite is
  # below 1e-9 (each point is chosen with chance p / 100; the points around the even cells are
  # disjoint sets of four).
  q = p / 100
  if (1 - q) ** (nx * ny) < 1e-9 and not any(cells.values()):
    return ['no NEW cell at all (%d grid points, each chosen with chance %d%%)' % (nx * ny, p)]
  even_cells = -(-nx // 2) * -(-ny // 2)
  if (1 - (1 - q) ** 4) ** even_cells < 1e-9 and all(cells.values()):
    return ['every cell NEW at progress %d' % p]
  return []


EXPECTED_FRAMES = {
    0: expected_style_0,
    118: expected_cross_fade,
}
EXPECTED_FRAMES.update({style: expected_copy_style(style) for style in COPY_STYLES})
EXPECTED_FRAMES.update({style: expected_swing(style) for style in SWING_PIVOTS})
EXPECTED_FRAMES.update({style: expected_region_style(region_of)
                        for style, region_of in REGION_STYLES.items()})
EXPECTED_FRAMES.update({style: expected_random_style(ragged_rule_of(style))
                        for style in RAGGED_STYLES})
EXPECTED_FRAMES.update({style: expected_random_style(spray_rule_of(style))
                        for style in SPRAY_STYLES})
EXPECTED_FRAMES[127] = expected_random_style(squares_rule_of)

# Styles whose frames depend on the pseudo-random generator's history: inside one transition their
# frames share the generator, so there only the frame count and the frame at 100 are compared,
# the frames between being held to the style's rules (LooseFrame) as single frames are.
RANDOM_STYLES = set(RAGGED_STYLES) | set(SPRAY_STYLES) | {127}

# Styles whose own step changes Progress (style 0 without a handler sets it to 100).
ENDS_AT_FIRST_FRAME = {0}

PROGRESS_VALUES = (0, 1, 4, 37, 48, 50, 99, 100)
STEP_VALUES = (4, 100)

# ---------------------------------------------------------------------------------------------
# File formats: PNG (zlib + struct), binary PPM, and a baseline JPEG of flat 8x8 blocks.
# ---------------------------------------------------------------------------------------------


def png_chunk(kind, data):
  return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


def png_bytes(img, color_type=2, palette=None):
  """Colour type 2 (RGB), 0 (grey: the blue channel) or 3 (indexed with `palette`), filter 0."""
  raw = bytearray()
  for y in range(img.h):
    raw.append(0)
    for x in range(img.w):
      b, g, r = img.get(x, y)
      if color_type == 2:
        raw += bytes((r, g, b))
      elif color_type == 0:
        raw.append(b)
      else:
        raw.append(palette.index((r, g, b)))
  data = b'\x89PNG\r\n\x1a\n'
  data += png_chunk(b'IHDR', struct.pack('>IIBBBBB', img.w, img.h, 8, color_type, 0, 0, 0))
  if color_type == 3:
    data += png_chunk(b'PLTE', b''.join(bytes(c) for c in palette))
  data += png_chunk(b'IDAT', zlib.compress(bytes(raw), 6))
  return data + png_chunk(b'IEND', b'')


def read_png(data):
  """8-bit PNG of colour type 0, 2, 3 or 6, not interlaced; all five filter types."""
  if data[:8] != b'\x89PNG\r\n\x1a\n':
    raise ValueError('not a PNG signature')
  pos, idat, header, palette = 8, bytearray(), None, None
  while pos < len(data):
    if pos + 8 > len(data):
      raise ValueError('truncated chunk header at %d' % pos)
    length, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    crc = data[pos + 8 + length:pos + 12 + length]
    if len(body) != length or len(crc) != 4:
      raise ValueError('truncated %r chunk' % kind)
    if struct.unpack('>I', crc)[0] != zlib.crc32(kind + body):
      raise ValueError('bad CRC in %r chunk' % kind)
    pos += 12 + length
    if kind == b'IHDR':
      header = struct.unpack('>IIBBBBB', body)
    elif kind == b'PLTE':
      palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
    elif kind == b'IDAT':
      idat += body
    elif kind == b'IEND':
      break
  if header is None:
    raise ValueError('no IHDR')
  w, h, depth, color_type, _, _, interlace = header
  channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(color_type)
  if depth != 8 or interlace != 0 or channels is None:
    raise ValueError('unsupported PNG form: depth %d, colour type %d, interlace %d'
                     % (depth, color_type, interlace))
  raw = zlib.decompress(bytes(idat))
  stride = w * channels
  if len(raw) != h * (stride + 1):
    raise ValueError('image data has %d bytes, %d expected' % (len(raw), h * (stride + 1)))
  img = Image(w, h)
  prev = bytearray(stride)
  for y in range(h):
    start = y * (stride + 1)
    line = unfilter(raw[start], bytearray(raw[start + 1:start + 1 + stride]), prev, channels)
    prev = line
    if color_type == 2:  # the tool's own output: reorder whole rows at once
      at = 3 * w * y
      for c in range(3):
        img.px[at + 2 - c:at + 3 * w:3] = line[c::3]
      continue
    for x in range(w):
      s = line[x * channels:(x + 1) * channels]
      if color_type in (0, 4):
        rgb = (s[0], s[0], s[0])
      elif color_type == 3:
        rgb = palette[s[0]]
      else:
        rgb = tuple(s[:3])
      img.put(x, y, (rgb[2], rgb[1], rgb[0]))
  return img


def unfilter(kind, line, prev, bpp):
  if kind == 0:
    return line
  if kind == 2:  # Up, the whole row at once
    return bytearray((a + b) & 0xFF for a, b in zip(line, prev))
  if kind == 1:  # Sub, one running sum per channel
    for c in range(bpp):
      total = 0
      for i in range(c, len(line), bpp):
        total = (total + line[i]) & 0xFF
        line[i] = total
    return line
  for i in range(len(line)):
    a = line[i - bpp] if i >= bpp else 0
    b = prev[i]
    c = prev[i - bpp] if i >= bpp else 0
    if kind == 1:
      pred = a
    elif kind == 2:
      pred = b
    elif kind == 3:
      pred = (a + b) // 2
    elif kind == 4:
      pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
      pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
    else:
      raise ValueError('unknown filter type %d' % kind)
    line[i] = (line[i] + pred) & 0xFF
  return line


def ppm_bytes(img, maxval=255):
  body = bytearray()
  for y in range(img.h):
    for x in range(img.w):
      b, g, r = img.get(x, y)
      body += bytes((r, g, b))
  return b'P6\n# written by render_check\n%d %d\n%d\n' % (img.w, img.h, maxval) + bytes(body)


def read_ppm(data):
  """Binary PPM, maxval 255; returns (image, header fields) so the header can be checked."""
  fields, pos = [], 0
  while len(fields) < 4:
    while pos < len(data) and data[pos:pos + 1].isspace():
      pos += 1
    if data[pos:pos + 1] == b'#':
      while pos < len(data) and data[pos:pos + 1] != b'\n':
        pos += 1
      continue
    start = pos
    while pos < len(data) and not data[pos:pos + 1].isspace() and data[pos:pos + 1] != b'#':
      pos += 1
    if start == pos:
      raise ValueError('truncated PPM header')
    fields.append(data[start:pos])
  pos += 1  # exactly one whitespace byte ends the header
  if fields[0] != b'P6' or fields[3] != b'255':
    raise ValueError('PPM header %r is not "P6 ... 255"' % fields)
  w, h = int(fields[1]), int(fields[2])
  body = data[pos:]
  if len(body) != w * h * 3:
    raise ValueError('PPM body has %d bytes, %d expected' % (len(body), w * h * 3))
  img = Image(w, h)
  for i in range(w * h):
    img.px[3 * i:3 * i + 3] = bytes((body[3 * i + 2], body[3 * i + 1], body[3 * i]))
  return img


def read_picture(path):
  with open(path, 'rb') as f:
    data = f.read()
  return read_ppm(data) if path.endswith('.ppm') else read_png(data)


# Baseline JPEG of flat 8x8 blocks: quantisation 1, only DC coefficients, no subsampling.
DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_VALUES = list(range(12))


def huffman_codes(bits, values):
  codes, code, k = {}, 0, 0
  for length in range(1, 17):
    for _ in range(bits[length - 1]):
      codes[values[k]] = (code, length)
      code += 1
      k += 1
    code <<= 1
  return codes


class BitWriter:
  def __init__(self):
    self.out, self.acc, self.n = bytearray(), 0, 0

  def put(self, value, length):
    for i in range(length - 1, -1, -1):
      self.acc = (self.acc << 1) | ((value >> i) & 1)
      self.n += 1
      if self.n == 8:
        self.out.append(self.acc)
        if self.acc == 0xFF:
          self.out.append(0)
        self.acc, self.n = 0, 0

  def flush(self):
    while self.n:
      self.put(1, 1)
    return bytes(self.out)


def ycc(rgb):
  r, g, b = rgb
  y = 0.299 * r + 0.587 * g + 0.114 * b
  return (round(y), round(128 - 0.168736 * r - 0.331264 * g + 0.5 * b),
          round(128 + 0.5 * r - 0.418688 * g - 0.081312 * b))


def rgb_of_ycc(y, cb, cr):
  clamp = lambda v: max(0, min(255, round(v)))
  return (clamp(y + 1.402 * (cr - 128)),
          clamp(y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128)),
          clamp(y + 1.772 * (cb - 128)))


def jpeg_of_blocks(blocks):
  """blocks: rows of (r, g, b) colours, one per 8x8 block. Returns (JPEG data, picture shown)."""
  bh, bw = len(blocks), len(blocks[0])
  dc = huffman_codes(DC_BITS, DC_VALUES)
  ac = huffman_codes([1] + [0] * 15, [0x00])  # only the end-of-block code
  seg = lambda marker, body: b'\xff' + marker + struct.pack('>H', len(body) + 2) + body
  data = b'\xff\xd8' + seg(b'\xe0', b'JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00')
  data += seg(b'\xdb', b'\x00' + bytes([1] * 64))
  data += seg(b'\xc0', struct.pack('>BHHB', 8, bh * 8, bw * 8, 3) +
              b''.join(bytes((c, 0x11, 0)) for c in (1, 2, 3)))
  data += seg(b'\xc4', b'\x00' + bytes(DC_BITS) + bytes(DC_VALUES))
  data += seg(b'\xc4', b'\x10' + bytes([1] + [0] * 15) + b'\x00')
  data += seg(b'\xda', b'\x03' + b''.join(bytes((c, 0x00)) for c in (1, 2, 3)) + b'\x00\x3f\x00')
  bits, pred = BitWriter(), [0, 0, 0]
  shown = Image(bw * 8, bh * 8)
  for by in range(bh):
    for bx in range(bw):
      levels = ycc(blocks[by][bx])
      for comp in range(3):
        coef = 8 * (levels[comp] - 128)  # DC of a flat block at quantisation 1
        diff, pred[comp] = coef - pred[comp], coef
        size = abs(diff).bit_length()
        bits.put(*dc[size])
        if size:
          bits.put(diff if diff > 0 else diff + (1 << size) - 1, size)
        bits.put(*ac[0x00])
      r, g, b = rgb_of_ycc(*levels)
      for y in range(8):
        for x in range(8):
          shown.put(bx * 8 + x, by * 8 + y, (b, g, r))
  return data + bits.flush() + b'\xff\xd9', shown


# ---------------------------------------------------------------------------------------------
# Running the tool and recording results.
# ---------------------------------------------------------------------------------------------


class Result:
  def __init__(self, status, stdout, stderr):
    self.status, self.stdout, self.stderr = status, stdout, stderr

  def describe(self):
    return 'status %s, stderr %r' % (self.status, self.stderr[:300])


class Checker:
  def __init__(self, tool, workdir, pool):
    self.tool, self.workdir, self.pool = tool, workdir, pool
    self.passed = self.failed = 0
    self.counter = 0

  def path(self, name):
    return os.path.join(self.workdir, name)

  def fresh(self, suffix):
    """A path in the work folder that nothing has used yet."""
    self.counter += 1
    return self.path('out-%05d%s' % (self.counter, suffix))

  def run(self, args):
    try:
      done = subprocess.run([self.tool] + [str(a) for a in args], stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=TIMEOUT_SECONDS)
    except subprocess.TimeoutExpired as e:
      return Result('timeout after %d s' % TIMEOUT_SECONDS, e.stdout or b'',
                    (e.stderr or b'').decode('utf-8', 'replace'))
    status = done.returncode if done.returncode >= 0 else 'signal %d' % -done.returncode
    return Result(status, done.stdout, done.stderr.decode('utf-8', 'replace'))

  def start(self, args):
    """Runs the tool in the background; the future's result is run(args)'s."""
    return self.pool.submit(self.run, args)

  def report(self, name, problems):
    if problems:
      self.failed += 1
      print('FAIL %s: %s' % (name, '; '.join(problems)), flush=True)
    else:
      self.passed += 1
      print('PASS %s' % name, flush=True)


def success_problems(result):
  problems = []
  if result.status != 0:
    problems.append('expected exit 0, got ' + result.describe())
  if result.stdout:
    problems.append('wrote %r on stdout' % result.stdout[:100])
  return problems


def refusal_problems(result, outputs=()):
  """Exit 2, exactly one non-empty line on stderr, nothing on stdout, no output written."""
  problems = []
  if result.status != 2:
    problems.append('expected exit 2, got ' + result.describe())
  lines = result.stderr.split('\n')
  if len(lines) != 2 or lines[1] != '' or not lines[0].strip():
    problems.append('expected exactly one line on stderr, got %r' % result.stderr[:300])
  if result.stdout:
    problems.append('wrote %r on stdout' % result.stdout[:100])
  for path in outputs:
    if os.path.isdir(path):
      if os.listdir(path):
        problems.append('wrote %s into %s' % (', '.join(sorted(os.listdir(path))[:5]), path))
    elif os.path.exists(path):
      problems.append('wrote %s' % path)
  return problems


def compare(got, want, what='frame'):
  if (got.w, got.h) != (want.w, want.h):
    return ['%s is %dx%d, expected %dx%d' % (what, got.w, got.h, want.w, want.h)]
  if got.px == want.px:
    return []
  bad = [(i // 3) for i in range(0, len(got.px), 3) if got.px[i:i + 3] != want.px[i:i + 3]]
  bad = [i for i in bad if not allowed(got, want, i % got.w, i // got.w)]
  if not bad:
    return []
  x, y = bad[0] % got.w, bad[0] // got.w
  return ['%s differs in %d of %d pixels; first at (%d, %d): got bgr%s, expected bgr%s'
          % (what, len(bad), got.w * got.h, x, y, got.get(x, y), want.get(x, y))]


def allowed(got, want, x, y):
  """Whether got's pixel (x, y) is one of the values want leaves open there."""
  return got.get(x, y) in want.alternatives.get((x, y), ())


def compare_loosely(got, want, tolerance, what='frame'):
  if (got.w, got.h) != (want.w, want.h):
    return ['%s is %dx%d, expected %dx%d' % (what, got.w, got.h, want.w, want.h)]
  worst = max(abs(a - b) for a, b in zip(got.px, want.px))
  return [] if worst <= tolerance else ['%s differs by up to %d (allowed %d)'
                                        % (what, worst, tolerance)]


def read_output(path, problems):
  try:
    return read_picture(path)
  except (OSError, ValueError, zlib.error) as e:
    problems.append('cannot read %s: %s' % (os.path.basename(path), e))
    return None


# ---------------------------------------------------------------------------------------------
# Scenes: NEW and OLD at different sizes, written in different input formats.
# ---------------------------------------------------------------------------------------------


class Scene:
  def __init__(self, check, name, new_size, old_size, new_ext, old_ext, seed):
    self.name = name
    self.new = Image.noise(*new_size, seed)
    self.old_raw = Image.noise(*old_size, seed + 1)
    self.old = stretch(self.old_raw, self.new.w, self.new.h)
    # The random styles' checks tell every pixel's source by its value.
    assert all(self.old.px[i:i + 3] != self.new.px[i:i + 3]
               for i in range(0, len(self.new.px), 3)), 'OLD and NEW of %s share a pixel' % name
    self.frames = {}  # expected frames already computed
    self.new_path = check.path('%s-new%s' % (name, new_ext))
    self.old_path = check.path('%s-old%s' % (name, old_ext))
    for img, path in ((self.new, self.new_path), (self.old_raw, self.old_path)):
      with open(path, 'wb') as f:
        f.write(ppm_bytes(img) if path.endswith('.ppm') else png_bytes(img))

  def __str__(self):
    return '%s %dx%d (old %dx%d)' % (self.name, self.new.w, self.new.h, self.old_raw.w,
                                     self.old_raw.h)

  def expected(self, style, p, step, seed=SEED):
    key = (style, p, effective_step(step), seed)
    if key not in self.frames:
      frame = EXPECTED_FRAMES[style](self.old, self.new, self.new.w, self.new.h, p, step, seed)
      self.frames[key] = as_image(frame, self.new.w, self.new.h)
    return self.frames[key]


def make_scenes(check):
  return [Scene(check, 'landscape', (64, 48), (50, 31), '.png', '.png', 11),
          Scene(check, 'portrait', (36, 52), (47, 66), '.png', '.ppm', 21),
          Scene(check, 'square', (40, 40), (61, 23), '.ppm', '.png', 31)]


def frame_args(scene, style, p, out, step=None, seed=SEED):
  args = ['frame', '--old', scene.old_path, '--new', scene.new_path, '--style', style,
          '--progress', p]
  if step is not None:
    args += ['--step', step]
  if seed is not None:
    args += ['--seed', seed]
  return args + ['--out', out]


def transition_args(scene, style, step, reverse, out_dir):
  args = ['transition', '--old', scene.old_path, '--new', scene.new_path, '--style', style,
          '--step', step, '--seed', SEED]
  return args + (['--reverse'] if reverse else []) + ['--out-dir', out_dir]


# ---------------------------------------------------------------------------------------------
# Cases.
# ---------------------------------------------------------------------------------------------


def frame_cases(check, scenes):
  """Every style with an expected-frame function, at every progress and step, on every scene."""
  started = []
  for style in sorted(EXPECTED_FRAMES):
    renders = []
    for scene in scenes:
      for step in STEP_VALUES:
        for p in PROGRESS_VALUES:
          out = check.fresh('.png')
          running = check.start(frame_args(scene, style, p, out, step))
          renders.append((scene, step, p, out, running))
    started.append((style, renders))
  for style, renders in started:
    problems = []
    for scene, step, p, out, running in renders:
      where = '%s p=%d step=%d' % (scene, p, step)
      trouble = success_problems(running.result())
      got = None if trouble else read_output(out, trouble)
      if got is not None:
        trouble += frame_problems(got, scene.expected(style, p, step), 'frame')
        if p == 100:
          trouble += compare(got, scene.new, 'frame at 100 against NEW')
      if os.path.exists(out):
        os.remove(out)
      problems += ['%s: %s' % (where, t) for t in trouble]
    check.report('frame style %d: %d renders' % (style, len(renders)), problems[:6] +
                 (['... %d more' % (len(problems) - 6)] if len(problems) > 6 else []))


def transition_progress_values(style, step, reverse):
  """Progress values at which one automatic transition of a fresh control draws its frames."""
  step, values, progress = effective_step(step), [], 0
  if reverse:
    progress = 100  # the start frame at 100: a fresh control's Progress is 0
    values.append(progress)
  while (progress != 0) if reverse else (progress != 100):
    if reverse:
      progress = 0 if progress < step else progress - step
    else:
      progress = min(100, progress + step)
    values.append(progress)
    if style in ENDS_AT_FIRST_FRAME:
      progress = 100
      if reverse:
        return None  # never reaches 0 by itself: how it ends is the tool's own choice
  return values


def list_frames(out_dir, problems):
  names = sorted(os.listdir(out_dir)) if os.path.isdir(out_dir) else []
  wanted = ['frame-%03d.png' % i for i in range(len(names))]
  if names != wanted:
    problems.append('out-dir holds %s, expected frame-000.png, frame-001.png, ...'
                    % (names[:8] or 'nothing'))
  return [os.path.join(out_dir, n) for n in names]


# Styles whose whole transitions run in every case below; every other style runs one forward and
# one reversed transition, its single frames being checked in full by frame_cases.
FULL_TRANSITION_STYLES = {0, 1, 14, 51, 57, 60, 99, 116, 118, 119, 127}


def transition_runs(scenes, style):
  landscape, portrait, square = scenes
  if style not in FULL_TRANSITION_STYLES:
    return [(square, 37, False), (square, 37, True)]
  return [(landscape, 4, False), (landscape, 4, True), (square, 37, False), (square, 37, True),
          (portrait, 100, False), (portrait, 100, True), (portrait, 0, False)]


def transition_cases(check, scenes):
  started = []
  for style in sorted(EXPECTED_FRAMES):
    for scene, step, reverse in transition_runs(scenes, style):
      out_dir = check.fresh('.d')
      running = check.start(transition_args(scene, style, step, reverse, out_dir))
      started.append((style, scene, step, reverse, out_dir, running))
  for style, scene, step, reverse, out_dir, running in started:
    name = 'transition style %d %s step %d%s' % (style, scene, step, ' reverse' if reverse else '')
    problems = success_problems(running.result())
    if not problems:
      paths = list_frames(out_dir, problems)
      values = transition_progress_values(style, step, reverse)
      if values is None:
        name += ' (%d frames)' % len(paths)
        problems += open_ended_transition_problems(style, scene, step, paths)
      else:
        problems += transition_frame_problems(style, scene, step, paths, values)
    check.report(name, problems)
    shutil.rmtree(out_dir, ignore_errors=True)


def transition_frame_problems(style, scene, step, paths, values):
  """The frames of one transition against the frames expected at the progress values it runs."""
  if len(paths) != len(values):
    return ['wrote %d frames, expected %d (progress %s)' % (len(paths), len(values), values)]
  problems = []
  for i, (path, p) in enumerate(zip(paths, values)):
    got = read_output(path, problems)
    if got is None:
      continue
    # A random style's frames in between are LooseFrames: rules, which the generator's history
    # inside a transition does not change.
    want = scene.expected(style, p, step)
    problems += frame_problems(got, want, 'frame-%03d (progress %d)' % (i, p))
  return problems


def open_ended_transition_problems(style, scene, step, paths):
  """A reversed style 0 without a handler: its frames set Progress to 100, so the pacing never
  reaches 0 by itself. Whatever way the tool ends it, every frame drawn is a style 0 frame, which
  shows NEW whole, the first one being the start frame at 100; and it cannot run longer than the
  pacing would from 100 down to 0."""
  problems = []
  most = 1 + -(-100 // effective_step(step))
  if not 1 <= len(paths) <= most:
    problems.append('wrote %d frames, expected 1 to %d' % (len(paths), most))
  for i, path in enumerate(paths):
    got = read_output(path, problems)
    if got is not None:
      problems += compare(got, scene.new, 'frame-%03d' % i)
  return problems


def random_repeat_cases(check, scenes):
  """A random style's frame depends on --seed alone: the same seed gives the same frame twice,
  another seed another frame, which keeps the style's rules as well."""
  scene, p, step = scenes[0], 37, 4
  started = []
  for style in sorted(RANDOM_STYLES):
    runs = []
    for seed in (SEED, SEED, OTHER_SEED):
      out = check.fresh('.png')
      runs.append((out, check.start(frame_args(scene, style, p, out, step, seed))))
    started.append((style, runs))
  for style, runs in started:
    problems, frames = [], []
    for out, running in runs:
      trouble = success_problems(running.result())
      frames.append(None if trouble else read_output(out, trouble))
      problems += trouble
      if os.path.exists(out):
        os.remove(out)
    if not problems:
      first, again, other = frames
      problems += compare(again, first, 'second frame with the same seed')
      if other.px == first.px:
        problems.append('--seed %d gives the same frame as --seed %d' % (OTHER_SEED, SEED))
      problems += frame_problems(other, scene.expected(style, p, step, OTHER_SEED),
                                 'frame with --seed %d' % OTHER_SEED)
    check.report('random style %d: seeds, %s p=%d' % (style, scene, p), problems)


def output_format_cases(check, scenes):
  """PPM and PNG output of the same frame hold the same pixels; the PPM is 'P6 W H 255'."""
  for scene in scenes:
    png, ppm = check.fresh('.png'), check.fresh('.ppm')
    problems = []
    for out in (png, ppm):
      result = check.run(frame_args(scene, 0, 48, out, seed=None))
      problems += success_problems(result)
    if not problems:
      with open(ppm, 'rb') as f:
        head = f.read(2)
      if head != b'P6':
        problems.append('PPM output starts with %r' % head)
      got_png, got_ppm = read_output(png, problems), read_output(ppm, problems)
      if got_png is not None and got_ppm is not None:
        problems += compare(got_ppm, got_png, 'PPM output against PNG output')
        problems += compare(got_png, scene.new, 'PNG output')  # style 0 shows NEW whole
    check.report('PNG and PPM output, %s' % scene, problems)


def input_format_cases(check, scenes):
  """PNG in other colour types, PPM and JPEG pictures are read as the pictures they hold."""
  base = scenes[0]
  palette = [(0, 0, 0), (255, 0, 0), (0, 200, 90), (17, 34, 250), (255, 255, 255)]
  indexed = Image(21, 13)
  grey = Image(21, 13)
  for y in range(13):
    for x in range(21):
      r, g, b = palette[(x * 3 + y * 5) % len(palette)]
      indexed.put(x, y, (b, g, r))
      v = (x * 37 + y * 11) % 256
      grey.put(x, y, (v, v, v))
  pictures = [('indexed PNG', 'indexed.png', png_bytes(indexed, 3, palette), indexed),
              ('grey PNG', 'grey.png', png_bytes(grey, 0), grey)]
  colours = [[(250, 10, 10), (10, 240, 20), (20, 20, 230), (128, 128, 128)],
             [(255, 255, 255), (0, 0, 0), (200, 150, 30), (40, 170, 200)]]
  jpeg, jpeg_shows = jpeg_of_blocks(colours)
  for label, name, data, shows in pictures + [('JPEG', 'blocks.jpg', jpeg, jpeg_shows)]:
    path = check.path(name)
    with open(path, 'wb') as f:
      f.write(data)
    for role in ('new', 'old'):
      out = check.fresh('.png')
      old, new = (base.old_path, path) if role == 'new' else (path, base.new_path)
      result = check.run(['frame', '--old', old, '--new', new, '--style', 0, '--progress', 100,
                          '--out', out])
      problems = success_problems(result)
      got = None if problems else read_output(out, problems)
      if got is not None:
        want = shows if role == 'new' else base.new
        if label == 'JPEG' and role == 'new':
          problems += compare_loosely(got, want, 4)  # lossy format: decoders round differently
        else:
          problems += compare(got, want)
      check.report('%s as %s' % (label, role.upper()), problems)


def error_cases(check, scenes):
  scene = scenes[0]
  garbage = check.path('garbage.png')
  with open(garbage, 'wb') as f:
    f.write(bytes(random.Random(5).randrange(256) for _ in range(700)))
  empty = check.path('empty.ppm')
  open(empty, 'wb').close()
  with open(scene.new_path, 'rb') as f:
    png = f.read()
  pictures = {
      'truncated.png': png[:len(png) // 2],
      'truncated.ppm': ppm_bytes(scene.new)[:-10],
      'deep.ppm': b'P6\n2 2\n65535\n' + bytes(24),
      'huge.ppm': b'P6\n200000 200000\n255\n' + bytes(30),
      'ascii.ppm': b'P3\n1 1\n255\n1 2 3\n',
  }
  for name, data in pictures.items():
    with open(check.path(name), 'wb') as f:
      f.write(data)

  def swap(args, option, value):
    args = list(args)
    args[args.index(option) + 1] = value
    return args

  def drop(args, option):
    args = list(args)
    i = args.index(option)
    return args[:i] + args[i + 2:]

  out = check.fresh('.png')
  good = frame_args(scene, 0, 50, out)
  cases = [
      ('missing OLD file', swap(good, '--old', check.path('no-such.png'))),
      ('missing NEW file', swap(good, '--new', check.path('no-such.ppm'))),
      ('garbage NEW file', swap(good, '--new', garbage)),
      ('garbage OLD file', swap(good, '--old', garbage)),
      ('empty file', swap(good, '--new', empty)),
      ('style 128', swap(good, '--style', 128)),
      ('style -1', swap(good, '--style', -1)),
      ('style abc', swap(good, '--style', 'abc')),
      ('progress 101', swap(good, '--progress', 101)),
      ('progress -1', swap(good, '--progress', -1)),
      ('progress abc', swap(good, '--progress', 'abc')),
      ('missing --out', drop(good, '--out')),
      ('missing --style', drop(good, '--style')),
      ('missing --progress', drop(good, '--progress')),
      ('unknown option', good[:1] + ['--bogus', '1'] + good[1:]),
      ('--reverse in frame', good + ['--reverse']),
      ('output folder missing', swap(good, '--out', check.path('no-dir/out.png'))),
  ]
  cases += [('%s input' % name, swap(good, '--new', check.path(name))) for name in pictures]
  for name, args in cases:
    check.report('error: ' + name, refusal_problems(check.run(args), [out]))
  out_dir = check.fresh('.d')
  whole = transition_args(scene, 0, 4, False, out_dir)
  for name, args in [('transition style 128', swap(whole, '--style', 128)),
                     ('transition garbage NEW', swap(whole, '--new', garbage)),
                     ('transition unknown option', whole + ['--bogus', '2']),
                     ('transition missing --out-dir', drop(whole, '--out-dir'))]:
    check.report('error: ' + name, refusal_problems(check.run(args), [out_dir]))


# ---------------------------------------------------------------------------------------------


def main():
  parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
  parser.add_argument('render', help='path of slidesaver-render')
  args = parser.parse_args()
  missing = sorted(set(range(128)) - set(EXPECTED_FRAMES))
  if missing:
    raise SystemExit('no expected-frame function for styles %s' % missing)
  tool = os.path.abspath(args.render)
  if not os.access(tool, os.X_OK):
    raise SystemExit('not an executable: %s' % tool)
  self_test_helpers()
  with tempfile.TemporaryDirectory(prefix='render_check.') as workdir, \
       concurrent.futures.ThreadPoolExecutor(max_workers=WORKERS) as pool:
    check = Checker(tool, workdir, pool)
    scenes = make_scenes(check)
    for group in (frame_cases, transition_cases, random_repeat_cases, output_format_cases,
                  input_format_cases, error_cases):
      group(check, scenes)
    print('%d passed, %d failed' % (check.passed, check.failed))
    return 1 if check.failed else 0


if __name__ == '__main__':
  sys.exit(main())
