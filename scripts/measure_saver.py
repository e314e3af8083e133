#!/usr/bin/env python3
"""Times a screen saver on a virtual display: start-up and the frames of its first transition.

    measure_saver.py --saver Demo.scr --first-picture demo-01.ppm [--runs 5]
                     [--size 1920x1080,3840x2160] [--show-seconds 20] [--show-runs 5]

Starts its own Xvfb (white root window) and, for every run, starts `SAVER /S` and reads a few thin
strips of the screen in a tight loop with XGetImage (through ctypes and libX11):
  - the left and right columns and the top row tell when the saver's black window is on screen
    (they turn from the root's white to black);
  - three full-width rows through the picture tell when the first picture stands whole (they
    equal the picture centred on black, composed from FIRST_PICTURE, its decoded pixels);
  - the middle one of them tells when each frame of the first transition arrived (it changes;
    the first transition of a saver, style 52, stretches the picture out from the centre, so
    every frame changes that row).
Prints every run, then the median and the range of each value. Then, on the same display, the
saver runs --show-runs times for --show-seconds of show: its peak memory (VmHWM, the highest of the
runs) and its processor time (the median: the machine's load moves single runs). Last comes a
table of the main figures for every size.
"""

import argparse
import ctypes
import ctypes.util
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time


class XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage; only these are read.
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.c_void_p),
                ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int),
                ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int),
                ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int),
                ('bits_per_pixel', ctypes.c_int), ('red_mask', ctypes.c_ulong),
                ('green_mask', ctypes.c_ulong), ('blue_mask', ctypes.c_ulong)]


ALL_PLANES = ctypes.c_ulong(-1).value
Z_PIXMAP = 2
LSB_FIRST = 0


class Screen:
    """Reads thin strips of the root window as RGB planes."""

    def __init__(self, display_name):
        x11 = ctypes.CDLL(ctypes.util.find_library('X11') or 'libX11.so.6')
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11 = x11
        self.display = x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError(f'cannot open display {display_name}')
        self.root = x11.XDefaultRootWindow(self.display)

    def strip(self, x, y, width, height):
        """The pixels of the rectangle as R, G and B planes joined: bytes of 3 * width * height."""
        image = self.x11.XGetImage(self.display, self.root, x, y, width, height, ALL_PLANES,
                                   Z_PIXMAP)
        if not image:
            raise RuntimeError('XGetImage failed')
        im = image.contents
        if im.bits_per_pixel != 32 or im.byte_order != LSB_FIRST or im.red_mask != 0xFF0000:
            raise RuntimeError('expected a 32-bit BGRX screen (Xvfb -screen 0 WxHx24)')
        raw = ctypes.string_at(im.data, im.bytes_per_line * height)
        self.x11.XFree(im.data)
        self.x11.XFree(image)
        if im.bytes_per_line != width * 4:
            raw = b''.join(raw[r * im.bytes_per_line:r * im.bytes_per_line + width * 4]
                           for r in range(height))
        return raw[2::4] + raw[1::4] + raw[0::4]


def read_ppm(path):
    with open(path, 'rb') as f:
        data = f.read()
    fields = data.split(maxsplit=4)
    if fields[0] != b'P6' or fields[3] != b'255':
        raise ValueError(f'{path}: not a binary PPM with maxval 255')
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[len(data) - width * height * 3:]


def expected_row(picture, screen_width, screen_height, y):
    """Row y of the picture centred on a black screen, as R, G and B planes joined."""
    width, height, pixels = picture
    left = int((screen_width - width) / 2)
    top = int((screen_height - height) / 2)
    row = bytearray(screen_width * 3)
    if top <= y < top + height:
        for x in range(max(0, left), min(screen_width, left + width)):
            src = ((y - top) * width + (x - left)) * 3
            row[x * 3:x * 3 + 3] = pixels[src:src + 3]
    return bytes(row[0::3] + row[1::3] + row[2::3])


def start_xvfb(width, height):
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0',
                             f'{width}x{height}x24', '-nolisten', 'tcp', '-noreset', '-wr'],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    text, end = b'', time.monotonic() + 30
    while not text.endswith(b'\n'):
        if proc.poll() is not None or time.monotonic() > end:
            proc.kill()
            raise RuntimeError('Xvfb did not start')
        if select.select([read_end], [], [], 0.2)[0]:
            text += os.read(read_end, 64)
    os.close(read_end)
    return proc, f':{int(text)}'


def stop(proc):
    """Ends the saver the way a host does, and waits for it."""
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def measure_run(screen, saver, env, size, final_rows, row_ys, deadline=30.0):
    """One start of the saver. Times in seconds from just before the start."""
    width, height = size
    black_edges = [bytes(3 * height), bytes(3 * height), bytes(3 * width)]

    def edges():
        return [screen.strip(2, 0, 1, height), screen.strip(width - 3, 0, 1, height),
                screen.strip(0, 2, width, 1)]

    def rows():
        return [screen.strip(0, y, width, 1) for y in row_ys]

    if edges() == black_edges:
        raise RuntimeError('the screen is black before the saver starts')
    t0 = time.monotonic()
    proc = subprocess.Popen([saver, '/S'], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    result = {'black': None, 'whole': None, 'changes': []}
    last = None
    try:
        while time.monotonic() - t0 < deadline:
            now = time.monotonic() - t0
            if proc.poll() is not None:
                raise RuntimeError(f'the saver ended with status {proc.returncode}')
            if result['black'] is None:
                if edges() == black_edges:
                    result['black'] = now
                    last = rows()
                continue
            current = rows()
            # The middle row alone clocks the frames: a frame may reach the screen in several
            # pieces, and each piece changes only the rows it holds.
            if current[1] != last[1]:
                result['changes'].append(now)
            last = current
            if current == final_rows:
                result['whole'] = now
                break
        else:
            raise RuntimeError('the first picture never stood whole')
    finally:
        stop(proc)
    # Wait for the root window to show again before the next run.
    end = time.monotonic() + 30
    while edges() == black_edges and time.monotonic() < end:
        time.sleep(0.05)
    return result


def measure_show(saver, env, seconds, prefix=()):
    """Runs the saver for `seconds` of show: its peak memory (VmHWM, MiB) and the processor time it
    took (percent of one core). `prefix`: a command that execs the saver in its own process (as
    setpriv does)."""
    ticks = os.sysconf('SC_CLK_TCK')
    proc = subprocess.Popen([*prefix, saver, '/S'], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        start = time.monotonic()
        time.sleep(seconds)
        if proc.poll() is not None:
            raise RuntimeError(f'the saver ended with status {proc.returncode}')
        with open(f'/proc/{proc.pid}/stat') as f:
            fields = f.read().rsplit(')', 1)[1].split()
        cpu = (int(fields[11]) + int(fields[12])) / ticks  # utime + stime
        elapsed = time.monotonic() - start
        with open(f'/proc/{proc.pid}/status') as f:
            status = dict(line.split(':', 1) for line in f if ':' in line)
        peak = int(status['VmHWM'].split()[0]) / 1024
    finally:
        stop(proc)
    return peak, 100.0 * cpu / elapsed


def describe(values, unit=' ms', scale=1000.0):
    scaled = [v * scale for v in values]
    return (f'median {statistics.median(scaled):.1f}{unit}, range {min(scaled):.1f} .. '
            f'{max(scaled):.1f}{unit}')


def measure_size(options, picture, width, height):
    """The start-up runs and the show run on a display of one size; returns the summary values."""
    row_ys = [height // 2 - height // 6, height // 2, height // 2 + height // 6]
    final_rows = [expected_row(picture, width, height, y) for y in row_ys]
    xvfb, display = start_xvfb(width, height)
    tmp = tempfile.mkdtemp(prefix='measure-saver-')
    env = {k: v for k, v in os.environ.items() if k not in ('XDG_RUNTIME_DIR',
                                                           'XSCREENSAVER_WINDOW')}
    env.update(DISPLAY=display, TMPDIR=tmp, SDL_AUDIODRIVER='dummy')
    saver = os.path.abspath(options.saver)
    results = []
    try:
        screen = Screen(display)
        for run in range(1, options.runs + 1):
            r = measure_run(screen, saver, env, (width, height), final_rows, row_ys)
            changes = r['changes']
            if not changes:
                raise RuntimeError('no transition frame was seen')
            frames = len(changes)
            r['period'] = (changes[-1] - changes[0]) / (frames - 1) if frames > 1 else float('nan')
            r['gap'] = max((b - a for a, b in zip(changes, changes[1:])), default=float('nan'))
            r['transition'] = changes[-1] - changes[0] if changes else float('nan')
            results.append(r)
            print(f'run {run}: black window {r["black"] * 1000:6.1f} ms, first frame '
                  f'{changes[0] * 1000:6.1f} ms, first picture whole '
                  f'{r["whole"] * 1000:7.1f} ms, {frames} frames seen, first to last frame '
                  f'{r["transition"] * 1000:6.1f} ms, mean frame period {r["period"] * 1000:5.1f} '
                  f'ms, longest gap {r["gap"] * 1000:5.1f} ms', flush=True)
        shows = [measure_show(saver, env, options.show_seconds)
                 for _ in range(options.show_runs if options.show_seconds else 0)]
        for k, (p, c) in enumerate(shows, 1):
            print(f'show {k}: peak memory (VmHWM) {p:.1f} MiB, processor {c:.2f} % of one core',
                  flush=True)
        # The machine's load moves single runs: the median of the runs, the highest peak.
        peak = max((p for p, _ in shows), default=float('nan'))
        cpu = statistics.median(c for _, c in shows) if shows else float('nan')
    finally:
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(tmp, ignore_errors=True)
    print(f'\n{options.runs} runs at {width}x{height}:')
    print(f'  start to black full-screen window: {describe([r["black"] for r in results])}')
    print(f'  start to first transition frame:   {describe([r["changes"][0] for r in results])}')
    print(f'  start to first picture whole:      {describe([r["whole"] for r in results])}')
    print(f'  frames seen in the transition:     '
          f'{describe([len(r["changes"]) for r in results], "", 1.0)}')
    print(f'  mean frame period:                 {describe([r["period"] for r in results])}')
    print(f'  longest gap between frames:        {describe([r["gap"] for r in results])}')
    if options.show_seconds:
        print(f'  {options.show_seconds:.0f} s of show, {options.show_runs} runs: highest peak '
              f'memory (VmHWM) {peak:.1f} MiB, median processor {cpu:.2f} % of one core')
    print(flush=True)
    buffer = width * height * 3 / 2**20
    return {'first frame (median)': f'{statistics.median(r["changes"][0] for r in results) * 1000:.0f} ms',
            'peak memory (VmHWM)': f'{peak:.1f} MiB ({(peak - 20) / buffer:.2f} screen buffers + 20 MiB)',
            'processor over the show (median)': f'{cpu:.2f} % of one core'}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--saver', required=True)
    parser.add_argument('--first-picture', required=True, help='decoded first picture (PPM)')
    parser.add_argument('--runs', type=int, default=5)
    parser.add_argument('--size', default='1920x1080,3840x2160',
                        help='display sizes, comma-separated')
    parser.add_argument('--show-seconds', type=float, default=20.0,
                        help='length of the show run for memory and processor time (0: none)')
    parser.add_argument('--show-runs', type=int, default=5,
                        help='show runs (the demo shows styles 52 to 55 in order each time)')
    options = parser.parse_args()
    picture = read_ppm(options.first_picture)
    sizes = [tuple(int(v) for v in size.split('x')) for size in options.size.split(',')]
    summary = {size: measure_size(options, picture, *size) for size in sizes}
    print('| measure | ' + ' | '.join(f'{w}x{h}' for w, h in sizes) + ' |')
    print('|---|' + '---|' * len(sizes))
    for key in next(iter(summary.values())):
        print(f'| {key} | ' + ' | '.join(summary[size][key] for size in sizes) + ' |')
    return 0


if __name__ == '__main__':
    sys.exit(main())
