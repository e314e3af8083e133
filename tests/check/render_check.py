#!/usr/bin/env python3
"""End-to-end check of the frame composer through `slidesaver-render`.

The check writes its own input pictures (PNG, binary PPM and a small baseline JPEG), asks the tool
for single frames and for whole transitions, reads the PNG/PPM output back with its own decoder and
compares every pixel with the frame it computes itself from the transition rules.

    python3 render_check.py PATH/slidesaver-render

Styles are checked through EXPECTED_FRAMES: style number -> function computing the expected frame.
A style missing from that table must report that it is not available (exit status 2); once the
tool renders such a style, the check fails for it until an expected-frame function is added, so
that no style goes out untested. An expected frame may leave single pixels open
(Image.alternatives): where the swing styles' rotation lands within a hair of a rounding tie,
either neighbour is right.

Every style's single frames are checked on every scene, step and progress value; whole transitions
run in every case for the styles in FULL_TRANSITION_STYLES and once each way for the others. The
tool runs in WORKERS processes at once while the check computes its own frames.

Prints one line per case and ends with "N passed, N failed"; exits 1 when a case failed.
Python 3.11 standard library only.
"""

import argparse
import concurrent.futures
import math
import operator
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

TIMEOUT_SECONDS = 20
WORKERS = 2  # tool processes running at once
SEED = 20240611

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
  """Accepts what an expected-frame function may return: Image, flat (b, g, r) bytes, or rows."""
  if isinstance(frame, Image):
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


EXPECTED_FRAMES = {
    0: expected_style_0,
    118: expected_cross_fade,
}
EXPECTED_FRAMES.update({style: expected_copy_style(style) for style in COPY_STYLES})
EXPECTED_FRAMES.update({style: expected_swing(style) for style in SWING_PIVOTS})

# Styles whose frames depend on the pseudo-random generator's history: inside one transition their
# frames share the generator, so only the frame count and the frame at 100 are compared there.
RANDOM_STYLES = set()

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
    for x in range(w):
      s = line[x * channels:(x + 1) * channels]
      if color_type in (0, 4):
        rgb = (s[0], s[0], s[0])
      elif color_type == 3:
        rgb = palette[s[0]]
      else:
        rgb = tuple(s[:3])
      img.put(x, y, (rgb[2], rgb[1], rgb[0]))
    prev = line
  return img


def unfilter(kind, line, prev, bpp):
  if kind == 0:
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
        trouble += compare(got, scene.expected(style, p, step), 'frame')
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
FULL_TRANSITION_STYLES = {0, 1, 14, 51, 57, 118, 119}


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
    if style in RANDOM_STYLES:
      want = scene.new if p == 100 else None
    else:
      want = scene.expected(style, p, step)
    if want is not None:
      problems += compare(got, want, 'frame-%03d (progress %d)' % (i, p))
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


def unavailable_style_cases(check, scenes):
  """Styles without an expected-frame function must refuse; one that renders fails the check."""
  scene = scenes[0]
  started = []
  for style in range(128):
    if style in EXPECTED_FRAMES:
      continue
    out, out_dir = check.fresh('.png'), check.fresh('.d')
    started.append((style, out, out_dir, check.start(frame_args(scene, style, 50, out)),
                    check.start(transition_args(scene, style, 4, False, out_dir))))
  for style, out, out_dir, frame, whole in started:
    frame, whole = frame.result(), whole.result()
    if frame.status == 0 or whole.status == 0:
      check.report('style %d' % style, [
          'slidesaver-render now renders style %d (exit 0) but render_check.py has no '
          'expected-frame function for it: add one to EXPECTED_FRAMES' % style])
      continue
    problems = ['frame: ' + t for t in refusal_problems(frame, [out])]
    problems += ['transition: ' + t for t in refusal_problems(whole, [out_dir])]
    check.report('style %d not available yet' % style, problems)


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
  tool = os.path.abspath(args.render)
  if not os.access(tool, os.X_OK):
    raise SystemExit('not an executable: %s' % tool)
  self_test_helpers()
  with tempfile.TemporaryDirectory(prefix='render_check.') as workdir, \
       concurrent.futures.ThreadPoolExecutor(max_workers=WORKERS) as pool:
    check = Checker(tool, workdir, pool)
    scenes = make_scenes(check)
    for group in (frame_cases, transition_cases, output_format_cases, input_format_cases,
                  unavailable_style_cases, error_cases):
      group(check, scenes)
    print('%d passed, %d failed' % (check.passed, check.failed))
    return 1 if check.failed else 0


if __name__ == '__main__':
  sys.exit(main())
