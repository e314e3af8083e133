#!/usr/bin/env python3
"""End-to-end tests of a real screen saver (the player with a payload) on a virtual X display.

Every test class starts its own Xvfb (white root window, so that the saver's black is visible),
packs its savers with slidesaver-pack from pictures made by slidesaver-demo-media, starts them as
a screen-saver host or a user would and drives them with xdotool. Screens are read back with
slidesaver-x11-probe and compared with images composed here from the pictures' decoded pixels
(slidesaver-render at progress 100 shows the new picture whole). The Wayland classes run sway
(or weston) headless instead, as an unprivileged user, and drive it with wtype, grim and
slidesaver-wl-pointer.

    saver_e2e_test.py --build-dir BUILD [unittest options]
    saver_e2e_test.py --player P --pack P --render P --media P --probe P [--wl-pointer P]
                      [--desktop x11|wayland] [unittest options]

With --platform windows, --player is the Windows build's slidesaver.exe and only the tests of
WindowsSaverTest and TwoMonitorTest run: each saver is started through scripts/wine-run.sh
(--wine-run) in the Wine prefix given with --wineprefix, which is shut down after each test class.
"""

import argparse
import atexit
import ctypes
import glob
import json
import math
import os
import re
import resource
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import wave
import zlib

TOOLS = {}  # name -> path of the built executables, filled by main()
WINE = {}   # 'run' and 'prefix' when the player is a Windows program, filled by main()

SCREEN_W, SCREEN_H = 640, 480
PICTURE_W, PICTURE_H = 320, 240  # size of the demo pictures made for these tests
STILL_GAP = 0.3                  # two equal screenshots this far apart: the screen stands still
DEADLINE = 30.0                  # generous: the machine is slow and shared
SETUP_CLIENT = (305, 259)        # the setup dialog's client area (setup/setup_dialog.h)

# Every process the tests start, so that none outlives the run, even when it is interrupted.
_children = []


def _start(args, **kwargs):
    proc = subprocess.Popen(args, **kwargs)
    _children.append(proc)
    return proc


def _stop(proc):
    if proc.poll() is None:
        proc.kill()
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass
    if proc in _children:
        _children.remove(proc)


def _kill_all():
    for proc in list(_children):
        if proc.poll() is None:
            proc.kill()


def _stop_all_and_exit(signum, frame):
    _kill_all()
    os._exit(128 + signum)


def poll_until(condition, deadline=DEADLINE, interval=0.05):
    """Calls condition() until it returns something true; that value, or None at the deadline."""
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            return None
        time.sleep(interval)


# ---------------------------------------------------------------- images

class Image:
    """A 24-bit RGB image, rows top to bottom."""

    def __init__(self, width, height, pixels):
        assert len(pixels) == width * height * 3
        self.width, self.height, self.pixels = width, height, bytes(pixels)

    @staticmethod
    def read_ppm(path):
        with open(path, 'rb') as f:
            return Image.parse_ppm(f.read(), path)

    @staticmethod
    def parse_ppm(data, what='image'):
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b'#':
                pos = data.index(b'\n', pos)
                continue
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        if fields[0] != b'P6' or fields[3] != b'255':
            raise ValueError(f'{what}: not a binary PPM with maxval 255')
        width, height = int(fields[1]), int(fields[2])
        return Image(width, height, data[pos + 1:pos + 1 + width * height * 3])

    def __eq__(self, other):
        return (isinstance(other, Image) and (self.width, self.height, self.pixels) ==
                (other.width, other.height, other.pixels))

    def mean_difference(self, other):
        """The mean absolute difference per channel; infinite for another size."""
        if (self.width, self.height) != (other.width, other.height):
            return float('inf')
        return sum(abs(a - b) for a, b in zip(self.pixels, other.pixels)) / len(self.pixels)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def rows(self, top, bottom):
        """The rows top .. bottom - 1 as one image."""
        return Image(self.width, bottom - top,
                     self.pixels[top * self.width * 3:bottom * self.width * 3])

    def is_uniform(self):
        return self.pixels == self.pixels[:3] * (self.width * self.height)

    def columns(self, left, right):
        """The columns left .. right - 1 as one image."""
        row = self.width * 3
        return Image(right - left, self.height,
                     b''.join(self.pixels[y * row + left * 3:y * row + right * 3]
                              for y in range(self.height)))


def side_by_side(left, right):
    """Two images of one height as one, left beside right."""
    l_row, r_row = left.width * 3, right.width * 3
    return Image(left.width + right.width, left.height,
                 b''.join(left.pixels[y * l_row:(y + 1) * l_row] +
                          right.pixels[y * r_row:(y + 1) * r_row] for y in range(left.height)))


def trunc_div(a, b):
    """Integer division rounding toward zero."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def centred_on_black(picture, width, height):
    """picture copied unscaled into a black width x height image, centred and cut at the edges."""
    left = trunc_div(width - picture.width, 2)
    top = trunc_div(height - picture.height, 2)
    out = bytearray(width * height * 3)
    x0, x1 = max(0, left), min(width, left + picture.width)
    if x0 < x1:
        for y in range(max(0, top), min(height, top + picture.height)):
            src = ((y - top) * picture.width + (x0 - left)) * 3
            dst = (y * width + x0) * 3
            out[dst:dst + (x1 - x0) * 3] = picture.pixels[src:src + (x1 - x0) * 3]
    return Image(width, height, out)


def stretched(picture, width, height):
    """Nearest-neighbour stretch: destination column i takes floor((2i + 1) * sw / (2 * dw))."""
    cols = [(2 * i + 1) * picture.width // (2 * width) for i in range(width)]
    rows = [(2 * j + 1) * picture.height // (2 * height) for j in range(height)]
    out = bytearray()
    for sy in rows:
        line = picture.pixels[sy * picture.width * 3:(sy + 1) * picture.width * 3]
        out += b''.join(line[sx * 3:sx * 3 + 3] for sx in cols)
    return Image(width, height, out)


def describe_screen(shot):
    if shot.is_uniform():
        return f'all of it {shot.pixel(0, 0)}'
    return f'{len(set(zip(*[iter(shot.pixels)] * 3)))} colours'


def describe_difference(actual, expected):
    if (actual.width, actual.height) != (expected.width, expected.height):
        return f'size {actual.width}x{actual.height}, expected {expected.width}x{expected.height}'
    diffs = []
    for i in range(0, len(actual.pixels), 3):
        if actual.pixels[i:i + 3] != expected.pixels[i:i + 3]:
            diffs.append(i // 3)
    xs = [d % actual.width for d in diffs]
    ys = [d // actual.width for d in diffs]
    first = diffs[0]
    fx, fy = first % actual.width, first // actual.width
    return (f'{len(diffs)} pixels differ, within x {min(xs)}..{max(xs)}, y {min(ys)}..{max(ys)};'
            f' first at ({fx}, {fy}): {actual.pixel(fx, fy)}, expected {expected.pixel(fx, fy)}')


# ---------------------------------------------------------------- X display

class VirtualDisplay:
    """An Xvfb server of its own, on a display number the server picks (-displayfd). With
    `server`, another X server's program and options instead (Xephyr inside the display that
    `env` names), white root and all."""

    def __init__(self, width, height, log_dir, server=None, env=None):
        server = server or ['Xvfb', '-screen', '0', f'{width}x{height}x24']
        self.log = open(os.path.join(log_dir, server[0].lower() + '.log'), 'wb')
        read_end, write_end = os.pipe()
        self.proc = _start([server[0], '-displayfd', str(write_end), *server[1:],
                            '-nolisten', 'tcp', '-noreset', '-wr'], env=env,
                           pass_fds=(write_end,), stdout=self.log, stderr=subprocess.STDOUT)
        os.close(write_end)
        try:
            number = self._read_display_number(read_end)
        finally:
            os.close(read_end)
        self.name = f':{number}'
        env = dict(os.environ, DISPLAY=self.name)
        if not poll_until(lambda: subprocess.run(['xdpyinfo'], env=env, stdout=subprocess.DEVNULL,
                                                 stderr=subprocess.DEVNULL).returncode == 0):
            self.close()
            raise RuntimeError(f'{server[0]} on {self.name} does not answer')

    def _read_display_number(self, fd):
        text, end = b'', time.monotonic() + DEADLINE
        while not text.endswith(b'\n'):
            if self.proc.poll() is not None or time.monotonic() > end:
                self.close()
                raise RuntimeError(f'{os.path.basename(self.proc.args[0])} did not start; see its '
                                   'log in the test folder')
            ready, _, _ = select.select([fd], [], [], 0.2)
            if ready:
                text += os.read(fd, 64)
        return int(text)

    def close(self):
        _stop(self.proc)
        self.log.close()


class ProbeWindow:
    """A window of slidesaver-x11-probe, standing for a screen-saver host's window; with
    `command`, of another program that speaks the same way (slidesaver-win-host under Wine)."""

    def __init__(self, env, width, height, x, y, command=None):
        command = command or [TOOLS['probe'], 'window']
        self.proc = _start([*command, str(width), str(height), str(x), str(y)],
                           env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.lines = []
        self.cond = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.id = int(self._next_line())

    def _read(self):
        for line in self.proc.stdout:
            with self.cond:
                self.lines.append(line.strip())
                self.cond.notify_all()

    def _next_line(self):
        with self.cond:
            if not self.cond.wait_for(lambda: self.lines, timeout=DEADLINE):
                raise AssertionError('slidesaver-x11-probe did not answer')
            return self.lines.pop(0)

    def command(self, text):
        self.proc.stdin.write(text + '\n')
        self.proc.stdin.flush()
        while True:
            answer = self._next_line()
            if answer == 'ok':
                return
            if answer != 'destroyed':
                raise AssertionError(f'probe answered {answer!r} to {text!r}')

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write('quit\n')
                self.proc.stdin.flush()
            except OSError:
                pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
        _stop(self.proc)
        self.reader.join(timeout=10)  # it reads up to the end of the output
        for pipe in (self.proc.stdin, self.proc.stdout):
            try:
                pipe.close()
            except OSError:
                pass


# ---------------------------------------------------------------- test base

def setUpModule():
    missing = [tool for tool in ('Xvfb', 'xdotool', 'xwininfo', 'xdpyinfo')
               if shutil.which(tool) is None]
    if missing:
        raise RuntimeError('needed for the end-to-end tests but not installed: ' +
                           ', '.join(missing) + ' (packages xvfb, xdotool, x11-utils)')
    for name, path in TOOLS.items():
        if not os.access(path, os.X_OK):
            raise RuntimeError(f'{name}: {path} is not an executable; build it first')


class SaverTestCase(unittest.TestCase):
    """One Xvfb for the class; demo pictures, their decoded pixels and savers built on demand."""
    SCREEN = (SCREEN_W, SCREEN_H)  # the primary screen, at 0,0

    @classmethod
    def make_display(cls):
        return VirtualDisplay(*cls.SCREEN, cls.work)

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='saver-e2e-')
        cls.display = cls.make_display()
        media = os.path.join(cls.work, 'media')
        subprocess.run([TOOLS['media'], media, '--count', '2', '--width', str(PICTURE_W),
                        '--height', str(PICTURE_H)], check=True)
        cls.jpegs = [os.path.join(media, f'demo-0{i}.jpg') for i in (1, 2)]
        cls.wav = os.path.join(media, 'melody.wav')
        cls.pictures = [cls.decode(path) for path in cls.jpegs]

    @classmethod
    def tearDownClass(cls):
        cls.display.close()
        if getattr(cls, 'failed', False):
            print(f'\nKept {cls.work} (saver logs, last screenshot) for a look.', file=sys.stderr)
        else:
            shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def wine(cls, *args, env=None):
        """Runs a Windows program in the prefix; its output. The first program of a Wine session
        starts the desktop process, so every one of them gets the test's display."""
        env = env or dict(os.environ, SLIDESAVER_WINEPREFIX=WINE['prefix'], DISPLAY=cls.display.name)
        return subprocess.run([WINE['run'], *map(str, args)], env=env, check=True,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout

    def run(self, result=None):
        problems = (lambda: len(result.failures) + len(result.errors)) if result else (lambda: 0)
        before = problems()
        outcome = super().run(result)
        if problems() > before:
            type(self).failed = True
        return outcome

    @classmethod
    def decode(cls, jpeg):
        out = jpeg[:-4] + '.ppm'
        subprocess.run([TOOLS['render'], 'frame', '--old', jpeg, '--new', jpeg, '--style', '1',
                        '--progress', '100', '--out', out], check=True)
        return Image.read_ppm(out)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix=self.id().split('.')[-1] + '-', dir=self.work)
        self.tmpdir = os.path.join(self.dir, 'tmp')
        os.mkdir(self.tmpdir)
        self.procs = []
        self.windows = []
        self.env = {k: v for k, v in os.environ.items() if k != 'XDG_RUNTIME_DIR'}
        self.env.update(DISPLAY=self.display.name, TMPDIR=self.tmpdir, SDL_AUDIODRIVER='dummy')
        self.env.pop('XSCREENSAVER_WINDOW', None)
        if WINE:
            # Wine finds its server through TMPDIR: every Wine program of a prefix needs the same.
            self.env.update(SLIDESAVER_WINEPREFIX=WINE['prefix'])
            self.env.pop('TMPDIR')
            self.env.update({k: v for k, v in os.environ.items() if k == 'TMPDIR'})
        self.place_pointer()

    def place_pointer(self):
        """Where the pointer stands before each test: the screen's centre."""
        self.xdotool('mousemove', SCREEN_W // 2, SCREEN_H // 2)

    def tearDown(self):
        for proc in self.procs:
            _stop(proc)
        for window in self.windows:
            window.close()

    # -- savers

    def pack(self, name, pictures=None, extra=()):
        """Builds self.dir/name from the demo pictures (both by default) and options."""
        out = os.path.join(self.dir, name)
        args = [TOOLS['pack'], 'build', '--player', TOOLS['player'], '--out', out]
        for jpeg in self.jpegs if pictures is None else pictures:
            args += ['--picture', jpeg]
        subprocess.run(args + list(extra), check=True, stdout=subprocess.DEVNULL)
        return out

    def start(self, saver, *args, env=None):
        log = open(os.path.join(self.dir, os.path.basename(saver) + '.log'), 'ab')
        command = [WINE['run'], saver] if WINE else [saver]
        proc = _start([*command, *map(str, args)], env=env or self.env, stdout=log,
                      stderr=subprocess.STDOUT)
        log.close()
        self.procs.append(proc)
        return proc

    def assertEnds(self, proc, what, deadline=DEADLINE):
        try:
            status = proc.wait(timeout=deadline)
        except subprocess.TimeoutExpired:
            self.fail(f'{what}: still running after {deadline:.0f} s')
        self.assertEqual(status, 0, f'{what}: exit status')

    def assertRunning(self, proc, what):
        self.assertIsNone(proc.poll(), f'{what}: ended with status {proc.returncode}')

    def runtime_folder(self):
        return os.path.join(self.tmpdir, f'slidesaver-{os.geteuid()}')

    def runtime_files(self):
        """What the runtime folder holds: lock files by name, and the files of every run folder
        as 'run/<name>'."""
        folder = self.runtime_folder()
        found = []
        for name in os.listdir(folder) if os.path.isdir(folder) else []:
            path = os.path.join(folder, name)
            if name.startswith('run-') and os.path.isdir(path):
                found += ['run/' + f for f in os.listdir(path)]
            else:
                found.append(name)
        return sorted(found)

    def lock_name(self, saver, suffix=''):
        return f'{os.path.basename(saver)}Semaphore@{self.display.name}{suffix}'

    def sound_paths(self, name):
        folder = self.runtime_folder()
        runs = os.listdir(folder) if os.path.isdir(folder) else []
        return sorted(os.path.join(folder, run, name) for run in runs
                      if run.startswith('run-') and os.path.exists(os.path.join(folder, run, name)))

    # -- the X display

    def xdotool(self, *args):
        subprocess.run(['xdotool', *map(str, args)], env=self.env, check=True)

    def probe_window(self, width, height, x, y):
        window = ProbeWindow(self.env, width, height, x, y)
        self.windows.append(window)
        return window

    def window_exists(self, window_id):
        return subprocess.run([TOOLS['probe'], 'exists', str(window_id)],
                              env=self.env).returncode == 0

    def grab(self, window='root', display=None):
        out = os.path.join(self.dir, 'grab.ppm')
        env = dict(self.env, DISPLAY=display) if display else self.env
        result = subprocess.run([TOOLS['probe'], 'grab', str(window), out], env=env,
                                stderr=subprocess.PIPE, text=True)
        self.assertEqual(result.returncode, 0, f'grab {window}: {result.stderr.strip()}')
        return Image.read_ppm(out)

    def full_screen_windows(self):
        """Viewable top-level windows that cover the whole (primary) screen."""
        tree = subprocess.run(['xwininfo', '-root', '-children'], env=self.env, check=True,
                              stdout=subprocess.PIPE, text=True).stdout
        found = []
        for match in re.finditer(r'^\s+(0x[0-9a-f]+) .*\s(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s', tree,
                                 re.MULTILINE):
            if match.group(2, 3, 4, 5) != (*map(str, self.SCREEN), '0', '0'):
                continue
            info = subprocess.run(['xwininfo', '-id', match.group(1)], env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            if 'Map State: IsViewable' in info.stdout:
                found.append(match.group(1))
        return found

    def wait_for_saver_window(self, proc, count=1):
        """Waits until `count` full-screen windows are up and proc is still running."""
        def up():
            self.assertRunning(proc, 'saver before its window appeared')
            return len(self.full_screen_windows()) >= count
        self.assertTrue(poll_until(up), 'no full-screen saver window appeared')

    def wait_for_picture(self, proc, grab, accept, what):
        """Polls screenshots until two taken STILL_GAP apart are equal, not of one colour, and
        accept(shot) holds. Fails when proc ends first, or at the deadline with the difference
        from the last still screenshot."""
        end = time.monotonic() + DEADLINE
        previous, last_still = grab(), None
        while time.monotonic() < end:
            time.sleep(STILL_GAP)
            shot = grab()
            if shot == previous and not shot.is_uniform():
                if accept(shot):
                    return shot
                last_still = shot
            previous = shot
            if proc.poll() is not None:
                return self.fail(f'{what}: the saver ended (status {proc.returncode}) before '
                                 f'showing it; its screen then: {describe_screen(shot)}')
        if last_still is None:
            return self.fail(f'{what}: nothing stood still on screen before the deadline; '
                             f'the screen then: {describe_screen(previous)}')
        return self.fail(f'{what}: the screen never showed it; last still screen: ' +
                         describe_difference(last_still, accept.expected))

    def wait_for_image(self, proc, grab, expected, what):
        def accept(shot):
            return shot == expected
        accept.expected = expected
        return self.wait_for_picture(proc, grab, accept, what)

    def wait_for_changes(self, proc, grab, count=2):
        """Waits until the screen has changed `count` times: proof that the saver has gone round
        its message loop (and so has seen the input sent before) while it kept running."""
        shot = grab()
        for _ in range(count):
            def changed():
                self.assertRunning(proc, 'saver')
                current = grab()
                return current if current != shot else None
            shot = poll_until(changed, interval=0.02)
            self.assertIsNotNone(shot, 'the saver stopped drawing')


# ---------------------------------------------------------------- saver mode

class SaverWindowTest(SaverTestCase):

    def test_first_picture_stands_centred_on_black_over_the_whole_screen(self):
        saver = self.start(self.pack('Plain.scr', extra=['--interval', '60000']), '/S')
        self.wait_for_saver_window(saver)
        expected = centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H)
        self.wait_for_image(saver, self.grab, expected, 'first picture centred on black')
        self.assertEqual(len(self.full_screen_windows()), 1)
        self.assertRunning(saver, 'saver showing its first picture')

    def test_caption_along_the_bottom_on_the_first_picture_only(self):
        saver_file = self.pack('Caption.scr', extra=[
            '--text', 'Slidesaver', '--font-color', 'clYellow', '--font-name', 'DejaVu Sans',
            '--font-height', '-32', '--interval', '2000'])
        saver = self.start(saver_file, '/S')
        self.wait_for_saver_window(saver)

        band = SCREEN_H - 64  # the caption lies below this row, the picture above it
        first = centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H)

        def first_above_band(shot):
            return shot.rows(0, band) == first.rows(0, band)
        first_above_band.expected = first
        shot = self.wait_for_picture(saver, self.grab, first_above_band,
                                     'first picture with caption')

        # Yellow text on black: every pixel there is a shade of yellow (r = g, b = 0), anti-aliased
        # edges included; the caption proper is bright.
        band_pixels = [(x, y, shot.pixel(x, y)) for y in range(band, SCREEN_H)
                       for x in range(SCREEN_W)]
        yellow = [(x, y) for x, y, (r, g, b) in band_pixels if r >= 200 and g >= 200 and b <= 60]
        self.assertGreater(len(yellow), 100, 'caption-coloured pixels along the bottom edge')
        xs = [x for x, _ in yellow]
        self.assertLess(abs((min(xs) + max(xs)) / 2 - SCREEN_W / 2), 16, 'caption centred')
        self.assertGreaterEqual(max(y for _, y in yellow), SCREEN_H - 16,
                                'caption reaches down to the bottom edge')
        stray = [(x, y) for x, y, (r, g, b) in band_pixels if r != g or b != 0]
        self.assertEqual(stray[:5], [], 'pixels below the picture that are no shade of yellow')

        # The second picture comes without a caption.
        second = centred_on_black(self.pictures[1], SCREEN_W, SCREEN_H)
        self.wait_for_image(saver, self.grab, second, 'second picture without caption')

    def test_a_blur_fill_leaves_no_black_beside_a_portrait_picture(self):
        picture = self.pictures[1]  # portrait
        saver = self.start(self.pack('Blur.scr', pictures=[self.jpegs[1]],
                                     extra=['--fill', 'blur', '--interval', '60000']), '/S')
        self.wait_for_saver_window(saver)
        left, top = (SCREEN_W - picture.width) // 2, (SCREEN_H - picture.height) // 2
        row = picture.width * 3

        def framed(shot):
            inside = all(shot.pixels[((top + y) * SCREEN_W + left) * 3:][:row] ==
                         picture.pixels[y * row:(y + 1) * row] for y in range(picture.height))
            edges = (0, left - 1, left + picture.width, SCREEN_W - 1)
            return inside and all(shot.pixel(x, y) != (0, 0, 0) for y in range(SCREEN_H) for x in edges)
        framed.expected = centred_on_black(picture, SCREEN_W, SCREEN_H)
        self.wait_for_picture(saver, self.grab, framed, 'the picture on a blur of itself')
        self.xdotool('key', 'a')
        self.assertEnds(saver, 'saver after a key')

    def test_shuffle_goes_on_across_activations_each_picture_once_per_deal(self):
        media = os.path.join(self.dir, 'five')
        subprocess.run([TOOLS['media'], media, '--count', '5', '--width', str(PICTURE_W),
                        '--height', str(PICTURE_H)], check=True)
        jpegs = sorted(glob.glob(os.path.join(media, '*.jpg')))
        frames = [centred_on_black(self.decode(jpeg), SCREEN_W, SCREEN_H) for jpeg in jpegs]
        # With no interval every activation shows one picture, so each one the test sees is one
        # the saver dealt, wherever it is ended.
        saver_file = self.pack('Shuffle.scr', pictures=jpegs, extra=['--shuffle', '--interval', '0'])
        env = dict(self.env, XDG_STATE_HOME=os.path.join(self.dir, 'state'))
        shown = []
        for _ in range(10):
            saver = self.start(saver_file, '/S', env=env)
            self.wait_for_saver_window(saver)

            def one_of_them(shot):
                return shot in frames
            one_of_them.expected = frames[0]
            shown.append(frames.index(self.wait_for_picture(saver, self.grab, one_of_them,
                                                            'a picture of the show')))
            self.xdotool('key', 'a')
            self.assertEnds(saver, 'saver after a key')
        self.assertEqual(sorted(shown[:5]), list(range(5)), shown)
        self.assertEqual(sorted(shown[5:]), list(range(5)), shown)
        self.assertNotEqual(shown[4], shown[5], shown)

    def test_each_photo_shows_its_own_title_and_date(self):
        pictures = []
        for jpeg, title, taken in zip(self.jpegs, ('Harbour at dawn', 'Fjord'),
                                      ('2026:12:07 08:15:00', '2025:06:21 19:00:00')):
            pictures.append(os.path.join(self.dir, os.path.basename(jpeg)))
            with open(jpeg, 'rb') as f, open(pictures[-1], 'wb') as out:
                out.write(with_metadata(f.read(), title, taken))
        saver = self.start(self.pack('Captions.scr', pictures=pictures, extra=[
            '--caption', '{title} · {date}', '--font-color', 'clYellow', '--font-name', 'DejaVu Sans',
            '--font-height', '-20', '--interval', '1500']), '/S')
        self.wait_for_saver_window(saver)
        below = (SCREEN_H + PICTURE_H) // 2  # the captions lie below the pictures
        widths = []
        for picture in self.pictures:
            frame = centred_on_black(picture, SCREEN_W, SCREEN_H)

            def captioned(shot):
                return shot.rows(0, below) == frame.rows(0, below) and any(
                    shot.pixel(x, y) == (255, 255, 0) for y in range(below, SCREEN_H)
                    for x in range(0, SCREEN_W, 2))
            captioned.expected = frame
            shot = self.wait_for_picture(saver, self.grab, captioned, 'a picture with its caption')
            xs = [x for y in range(below, SCREEN_H) for x in range(SCREEN_W)
                  if shot.pixel(x, y) == (255, 255, 0)]
            widths.append(max(xs) - min(xs))
            self.assertLess(abs((min(xs) + max(xs)) / 2 - SCREEN_W / 2), 8, 'caption centred')
        # "Harbour at dawn · 7 December 2026" is much wider than "Fjord · 21 June 2025".
        self.assertGreater(widths[0], widths[1] + 60, widths)
        self.xdotool('key', 'a')
        self.assertEnds(saver, 'saver after a key')


# ---------------------------------------------------------------- input

class SaverInputTest(SaverTestCase):

    def start_running_saver(self, name):
        """A saver whose first picture stands on screen: it is up and takes input."""
        saver = self.start(self.pack(name, extra=['--interval', '1000']), '/S')
        self.wait_for_saver_window(saver)
        self.wait_for_image(saver, self.grab,
                            centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H), 'first picture')
        return saver

    def test_straight_and_small_moves_keep_it_a_diagonal_move_ends_it(self):
        saver = self.start_running_saver('Mouse.scr')
        for dx in (200, -200, -200, 200):
            self.xdotool('mousemove_relative', '--', dx, 0)
        self.xdotool('mousemove_relative', 2, 2)
        self.wait_for_changes(saver, self.grab)
        self.assertRunning(saver, 'saver after a horizontal sweep and a 2-pixel drift')
        self.xdotool('mousemove_relative', 5, 5)
        self.assertEnds(saver, 'saver after a diagonal move')

    def test_an_absolute_jump_ends_it(self):
        # Tablets, remote desktops and virtual machines move the pointer by absolute positions.
        saver = self.start_running_saver('Jump.scr')
        self.xdotool('mousemove', 100, 100)
        self.xdotool('mousemove', 200, 200)
        self.assertEnds(saver, 'saver after the pointer jumped')

    def test_a_key_ends_it(self):
        saver = self.start_running_saver('Key.scr')
        self.xdotool('key', 'a')
        self.assertEnds(saver, 'saver after a key')

    def test_a_click_ends_it(self):
        saver = self.start_running_saver('Click.scr')
        self.xdotool('click', '1')
        self.assertEnds(saver, 'saver after a click')


# ---------------------------------------------------------------- single instance

class SingleInstanceTest(SaverTestCase):

    def test_only_one_saver_per_file_name(self):
        saver_file = self.pack('Once.scr', extra=['--interval', '60000'])
        first = self.start(saver_file, '/S')
        self.wait_for_saver_window(first)
        self.wait_for_image(first, self.grab,
                            centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H),
                            'first picture of the first instance')

        second = self.start(saver_file, '/S')
        self.assertEnds(second, 'second instance of the same file')
        elsewhere = os.path.join(self.dir, 'elsewhere')
        os.mkdir(elsewhere)
        same_name = shutil.copy2(saver_file, elsewhere)
        self.assertEnds(self.start(same_name, '/S'), 'same file name in another folder')
        self.assertEqual(len(self.full_screen_windows()), 1, 'only the first saver has a window')
        self.assertRunning(first, 'first instance')

        other_name = shutil.copy2(saver_file, os.path.join(self.dir, 'Twice.scr'))
        other = self.start(other_name, '/S')
        self.wait_for_saver_window(other, count=2)
        self.assertRunning(first, 'first instance next to a copy under another name')

        for proc, what in ((first, 'first instance'), (other, 'copy under another name')):
            proc.send_signal(signal.SIGTERM)
            self.assertEnds(proc, what)


# ---------------------------------------------------------------- preview

class PreviewTest(SaverTestCase):
    WIDTH, HEIGHT = 200, 150

    def preview(self, name):
        """A preview of a new saver in a new probe window, once the picture stands there."""
        window = self.probe_window(self.WIDTH, self.HEIGHT, 50, 60)
        preview = self.start(self.pack(name), '/P', window.id)
        expected = stretched(self.pictures[0], self.WIDTH, self.HEIGHT)
        self.wait_for_image(preview, lambda: self.grab(window.id), expected,
                            'first picture stretched')
        self.assertRunning(preview, 'preview while its window is shown')
        return window, preview

    def test_draws_the_first_picture_stretched_and_ends_when_the_window_is_destroyed(self):
        window, preview = self.preview('Destroyed.scr')
        window.command('destroy')
        self.assertEnds(preview, 'preview after its window was destroyed')

    def test_ends_when_the_window_is_unmapped(self):
        window, preview = self.preview('Unmapped.scr')
        window.command('unmap')
        self.assertEnds(preview, 'preview after its window was unmapped')

    def test_ends_at_once_when_the_id_names_no_window(self):
        window = self.probe_window(40, 30, 0, 0)
        window.command('destroy')
        self.assertFalse(self.window_exists(window.id))
        self.assertEnds(self.start(self.pack('Nowhere.scr'), '/P', window.id),
                        'preview into a window that does not exist')


# ---------------------------------------------------------------- signals and temporary files

class SignalTest(SaverTestCase):

    def test_signals_end_it_and_leave_no_files(self):
        saver_file = self.pack('Sig.scr', extra=['--sound', self.wav, '--interval', '1000'])
        with open(self.wav, 'rb') as f:
            melody = f.read()
        for signum, during_transition in ((signal.SIGTERM, True), (signal.SIGINT, False),
                                          (signal.SIGHUP, False), (signal.SIGUSR1, False),
                                          (signal.SIGUSR2, False)):
            with self.subTest(signal=signum.name):
                saver = self.start(saver_file, '/S')
                self.wait_for_saver_window(saver)
                self.assertEqual(self.runtime_files(),
                                 [self.lock_name(saver_file), 'run/melody.wav'])
                with open(self.sound_paths('melody.wav')[0], 'rb') as f:
                    self.assertEqual(f.read(), melody, 'extracted sound')
                if during_transition:
                    # The first frame that is neither the white root nor the black window.
                    self.assertTrue(poll_until(lambda: not self.grab().is_uniform(),
                                               interval=0.01), 'no transition frame on screen')
                else:
                    expected = centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H)
                    self.wait_for_image(saver, self.grab, expected, 'first picture')
                saver.send_signal(signum)
                self.assertEnds(saver, f'saver after {signum.name}')
                self.assertEqual(self.runtime_files(), [], 'runtime folder after the end')
                self.assertTrue(poll_until(lambda: not self.full_screen_windows()),
                                'the saver window stays after the end')


# ---------------------------------------------------------------- host windows

class HostWindowTest(SaverTestCase):

    def test_xscreensaver_window_in_hex_gets_the_show_and_no_input(self):
        window = self.probe_window(400, 300, 20, 20)
        saver_file = self.pack('Host.scr', extra=['--interval', '1500'])
        env = dict(self.env, XSCREENSAVER_WINDOW=hex(window.id))
        saver = self.start(saver_file, '/S', env=env)
        grab = lambda: self.grab(window.id)
        self.wait_for_image(saver, grab, centred_on_black(self.pictures[0], 400, 300),
                            'first picture centred in the host window')
        self.assertEqual(self.full_screen_windows(), [], 'no window of its own')

        self.xdotool('mousemove', 200, 150)
        self.xdotool('key', 'a')
        self.xdotool('mousemove_relative', 20, 20)
        self.xdotool('click', '1')
        self.wait_for_changes(saver, grab)
        self.assertRunning(saver, 'saver in a host window after key, move and click')

        self.assertEnds(self.start(saver_file, '/S', env=env), 'second saver in the same window')
        self.assertRunning(saver, 'first saver in the host window')
        saver.send_signal(signal.SIGTERM)
        self.assertEnds(saver, 'saver in a host window after SIGTERM')

    def test_window_id_argument_shrinks_a_larger_picture_to_fit(self):
        # 320x240 in 300x200: shrunk whole to 267x200 at x 16, as authored (in a host window) and
        # with "--fit scale" alike.
        window = self.probe_window(300, 200, 30, 30)
        for fit in ('as-authored', 'scale'):
            saver = self.start(self.pack(f'Arg-{fit}.scr', extra=['--interval', '60000', '--fit', fit]),
                               '/S', '--window-id', window.id)
            expected = centred_on_black(stretched(self.pictures[0], 267, 200), 300, 200)

            def close(shot):
                return shot.mean_difference(expected) < 6
            close.expected = expected
            self.wait_for_picture(saver, lambda: self.grab(window.id), close,
                                  f'first picture shrunk into the host window ({fit})')
            saver.send_signal(signal.SIGTERM)
            self.assertEnds(saver, 'saver with --window-id after SIGTERM')

    def test_root_argument_draws_on_the_root_window(self):
        saver = self.start(self.pack('Root.scr', extra=['--interval', '60000']), '/S', '--root')
        self.wait_for_image(saver, self.grab,
                            centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H),
                            'first picture on the root window')
        self.assertEqual(self.full_screen_windows(), [], 'no window of its own')
        saver.send_signal(signal.SIGTERM)
        self.assertEnds(saver, 'saver on the root window after SIGTERM')


# ---------------------------------------------------------------- slidesaver-pack install

NOBODY = 65534  # XScreenSaver refuses to run as root: run as root, the test runs it as nobody

# A user's own ~/.xscreensaver, odd spacing, a continued value and a disabled entry included,
# which install and uninstall must keep.
XSCREENSAVER_SETTINGS = (
    "# the user's own settings\n"
    "timeout:\t0:30:00\n"
    "lock:   False\n"
    "fade:\t\tFalse\n"
    "unfade:\t\tFalse\n"
    "splash: False\n"
    "textProgram:\tfortune \\\n"
    "  -s\n"
    "mode:\t\trandom\n"
    "selected:\t-1\n"
    "\n"
    "programs:\t\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
    "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
    "\n"
)


class XScreenSaverInstallTest(SaverTestCase):
    """slidesaver-pack install --for xscreensaver --only, then the real XScreenSaver runs it."""

    def as_user(self):
        return dict(user=NOBODY, group=NOBODY, extra_groups=[]) if os.geteuid() == 0 else {}

    def run_as_user(self, *args, check=True):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                              check=check, timeout=DEADLINE, **self.as_user())

    def test_installed_saver_runs_under_xscreensaver_and_uninstall_gives_the_file_back(self):
        missing = [tool for tool in ('xscreensaver', 'xscreensaver-command') if not shutil.which(tool)]
        self.assertEqual(missing, [], 'package xscreensaver (scripts/setup.sh installs it)')
        home = os.path.join(self.dir, 'home')
        os.mkdir(home)
        settings = os.path.join(home, '.xscreensaver')
        with open(settings, 'w') as f:
            f.write(XSCREENSAVER_SETTINGS)
        for path in (self.work, self.dir, self.tmpdir):
            os.chmod(path, 0o755)
        if os.geteuid() == 0:
            for path in (home, settings, self.tmpdir):
                os.chown(path, NOBODY, NOBODY)
        self.env.update(HOME=home)
        self.env.pop('XDG_DATA_HOME', None)
        saver = self.pack('Holiday.scr', pictures=self.jpegs[:1], extra=['--title', 'Holiday'])
        installed = os.path.join(home, '.local/share/slidesaver/Holiday.scr')

        out = self.run_as_user(TOOLS['pack'], 'install', saver, '--for', 'xscreensaver', '--only').stdout
        self.assertIn(f'copied {saver} to {installed}\n', out)
        self.assertIn(f'added "Holiday" ({installed} /S --root) to {settings}', out)
        with open(settings + '.bak') as f:
            self.assertEqual(f.read(), XSCREENSAVER_SETTINGS)

        log = open(os.path.join(self.dir, 'xscreensaver.log'), 'wb')
        self.procs.append(_start(['xscreensaver', '--no-splash'], env=self.env, stdout=log,
                                 stderr=subprocess.STDOUT, **self.as_user()))
        log.close()
        answers = lambda: self.run_as_user('xscreensaver-command', '-time', check=False).returncode == 0
        self.assertTrue(poll_until(answers), 'xscreensaver does not answer; see xscreensaver.log')
        self.assertEqual(saver_processes(installed), [])
        self.run_as_user('xscreensaver-command', '-activate')
        self.assertTrue(poll_until(lambda: saver_processes(installed)),
                        f'xscreensaver did not start {installed}')
        expected = centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H)
        self.assertTrue(poll_until(lambda: self.grab() == expected),
                        'the screen does not show the first picture centred on black')
        self.run_as_user('xscreensaver-command', '-deactivate')
        self.assertTrue(poll_until(lambda: not saver_processes(installed)),
                        'the saver still runs after -deactivate')
        self.run_as_user('xscreensaver-command', '-exit')

        out = self.run_as_user(TOOLS['pack'], 'uninstall', saver, '--for', 'xscreensaver').stdout
        self.assertEqual(out, f'removed the entry of {installed} from {settings} '
                              f'(backup: {settings}.bak)\nremoved {installed}\n')
        with open(settings) as f:
            self.assertEqual(f.read(), XSCREENSAVER_SETTINGS)
        self.assertFalse(os.path.exists(installed))
        self.assertIn('nothing to remove', self.run_as_user(TOOLS['pack'], 'uninstall', saver).stdout)


# ---------------------------------------------------------------- faults and hostile savers

def saver_processes(saver_file):
    """Processes whose command line starts with the saver's path."""
    found = []
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open(f'/proc/{pid}/cmdline', 'rb') as f:
                if f.read().split(b'\0')[0] == saver_file.encode():
                    found.append(int(pid))
        except OSError:
            pass
    return found


class FaultTest(SaverTestCase):

    def sound_saver(self, name):
        return self.pack(name, extra=['--sound', self.wav, '--interval', '1000'])

    def assertEndsClean(self, proc, saver_file, what):
        self.assertEnds(proc, what)
        self.assertEqual(saver_processes(saver_file), [], f'{what}: processes left')
        self.assertEqual(self.runtime_files(), [], f'{what}: runtime folder')

    def test_two_savers_of_one_file_keep_their_own_sounds(self):
        saver_file = self.sound_saver('Twin.scr')
        savers = []
        for x in (0, 320):
            window = self.probe_window(300, 200, x, 0)
            savers.append(self.start(saver_file, '/S', '--window-id', window.id))
        self.assertTrue(poll_until(lambda: len(self.sound_paths('melody.wav')) == 2),
                        f'two run folders with the sound; found {self.runtime_files()}')
        savers[0].send_signal(signal.SIGTERM)
        self.assertEnds(savers[0], 'first saver')
        remaining = self.sound_paths('melody.wav')
        self.assertEqual(len(remaining), 1, 'the second saver keeps its sound')
        self.assertRunning(savers[1], 'second saver')
        savers[1].send_signal(signal.SIGTERM)
        self.assertEndsClean(savers[1], saver_file, 'second saver')

    def test_a_window_or_connection_taken_away_ends_it_cleanly(self):
        saver_file = self.sound_saver('Taken.scr')
        for how in ('destroy', 'windowkill'):
            with self.subTest(how=how):
                saver = self.start(saver_file, '/S')
                self.wait_for_saver_window(saver)
                window = self.full_screen_windows()[0]
                if how == 'destroy':  # XDestroyWindow by another client
                    subprocess.run([TOOLS['probe'], 'destroy', window], env=self.env, check=True)
                else:  # XKillClient: the server drops the saver's connection
                    self.xdotool('windowkill', window)
                self.assertEndsClean(saver, saver_file, f'saver after {how}')

    def test_an_error_box_gives_way_to_sigterm(self):
        saver_file = self.pack('Box.scr', extra=['--interval', '1000'])
        # The first picture's header now claims far more pixels than the player shows.
        with open(saver_file, 'r+b') as f:
            data = bytearray(f.read())
            sof = data.index(b'\xff\xc0', os.path.getsize(TOOLS['player']))
            data[sof + 5:sof + 9] = (16400).to_bytes(2, 'big') + (16400).to_bytes(2, 'big')
            f.seek(0)
            f.write(data)
        saver = self.start(saver_file, '/S')

        def box_up():
            self.assertRunning(saver, 'saver with a picture it refuses')
            tree = subprocess.run(['xwininfo', '-root', '-tree'], env=self.env,
                                  stdout=subprocess.PIPE, text=True).stdout
            return '"Box"' in tree
        self.assertTrue(poll_until(box_up), 'no message box appeared')
        saver.send_signal(signal.SIGTERM)
        self.assertEndsClean(saver, saver_file, 'saver with its box up after SIGTERM')

    def test_sounds_that_cannot_be_written_leave_the_pictures_showing(self):
        saver_file = self.sound_saver('Full.scr')
        limit = os.path.getsize(self.wav) // 2  # every file the saver writes stops there

        def small_files():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        log = os.path.join(self.dir, 'Full.scr.log')
        with open(log, 'wb') as out:
            saver = _start([saver_file, '/S'], env=self.env, stdout=out, stderr=subprocess.STDOUT,
                           preexec_fn=small_files)
        self.procs.append(saver)
        self.wait_for_image(saver, self.grab,
                            centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H), 'first picture')
        saver.send_signal(signal.SIGTERM)
        self.assertEndsClean(saver, saver_file, 'saver without its sounds')
        with open(log) as f:  # the sanitizer build may add lines of its own
            lines = [line for line in f.read().splitlines() if line.startswith('Full: ')]
        self.assertEqual(len(lines), 1, lines)
        self.assertIn('melody.wav', lines[0])

    def test_no_sound_device_is_one_line_in_the_log(self):
        saver_file = self.sound_saver('Quiet.scr')
        config = os.path.join(self.dir, 'asound.conf')  # a default device that is not there
        with open(config, 'w') as f:
            f.write('pcm.!default { type plug slave.pcm "nowhere" }\n')
        saver = self.start(saver_file, '/S', env=dict(self.env, SDL_AUDIODRIVER='alsa',
                                                      ALSA_CONFIG_PATH=config))
        self.wait_for_saver_window(saver)
        saver.send_signal(signal.SIGTERM)
        self.assertEndsClean(saver, saver_file, 'saver without a sound device')
        lines = read_text(os.path.join(self.dir, 'Quiet.scr.log')).splitlines()
        self.assertEqual([line for line in lines if line.startswith(('Quiet: ', 'ALSA'))],
                         ['Quiet: The music stays silent: no sound device (ALSA: Couldn\'t open '
                          'audio device: No such file or directory)'])

    def test_preview_and_setup_end_on_signals_and_release_their_lock(self):
        saver_file = self.pack('Modes.scr')
        window = self.probe_window(200, 150, 10, 10)
        for args, signum in ((('/P', window.id), signal.SIGTERM), (('/C',), signal.SIGHUP)):
            with self.subTest(mode=args[0]):
                proc = self.start(saver_file, *args)
                self.assertTrue(poll_until(lambda: self.runtime_files() == [
                    self.lock_name(saver_file)]), f'{args[0]} takes its lock')
                proc.send_signal(signum)
                self.assertEndsClean(proc, saver_file, f'{args[0]} after {signum.name}')

    def test_one_saver_per_file_runs_on_each_display(self):
        saver_file = self.pack('Both.scr', extra=['--interval', '60000'])
        other = VirtualDisplay(SCREEN_W, SCREEN_H, self.dir)
        self.addCleanup(other.close)
        here = self.start(saver_file, '/S')
        there = self.start(saver_file, '/S', env=dict(self.env, DISPLAY=other.name))
        locks = sorted(f'Both.scrSemaphore@{d}' for d in (self.display.name, other.name))
        self.assertTrue(poll_until(lambda: self.runtime_files() == locks),
                        f'a lock per display; found {self.runtime_files()}')
        self.wait_for_saver_window(here)
        self.assertEnds(self.start(saver_file, '/S'), 'a second saver on the same display')
        for proc in (here, there):
            self.assertRunning(proc, 'saver on its own display')
            proc.send_signal(signal.SIGTERM)
            self.assertEnds(proc, 'saver after SIGTERM')


# ---------------------------------------------------------------- the player on Windows

def win_path(path):
    """A Linux path as Windows programs under Wine name it."""
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def read_text(path):
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ''


def write_wave(path, seconds):
    """A mono 16-bit tone of that length."""
    with wave.open(path, 'wb') as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(22050)
        out.writeframes(b''.join(struct.pack('<h', int(8000 * math.sin(i * 0.05)))
                                 for i in range(int(22050 * seconds))))


def write_png(path, image):
    """An 8-bit RGB PNG of the image."""
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    row = image.width * 3
    raw = b''.join(b'\0' + image.pixels[y * row:(y + 1) * row] for y in range(image.height))
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', image.width, image.height,
                                                                  8, 2, 0, 0, 0)) +
                chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))


def stored_on_its_side(jpeg):
    """The JPEG with an EXIF block that says: turn it a quarter clockwise (orientation 6)."""
    exif = (b'\xff\xe1\x00\x22Exif\0\0MM\x00\x2a\x00\x00\x00\x08\x00\x01'
            b'\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00\x00\x00\x00\x00')
    return jpeg[:2] + exif + jpeg[2:]


def with_metadata(jpeg, title, taken):
    """The JPEG with an EXIF block that says when it was taken and an XMP block with its title."""
    tiff = (b'MM\x00\x2a\x00\x00\x00\x08' + struct.pack('>H', 1) +
            struct.pack('>HHII', 0x8769, 4, 1, 26) + b'\0\0\0\0' +  # IFD0: the Exif IFD at 26
            struct.pack('>H', 1) + struct.pack('>HHII', 0x9003, 2, 20, 44) + b'\0\0\0\0' +
            taken.encode() + b'\0')
    xmp = (b'http://ns.adobe.com/xap/1.0/\0<dc:title><rdf:Alt><rdf:li xml:lang="x-default">' +
           title.encode() + b'</rdf:li></rdf:Alt></dc:title>')
    blocks = b''.join(b'\xff\xe1' + struct.pack('>H', len(body) + 2) + body
                      for body in (b'Exif\0\0' + tiff, xmp))
    return jpeg[:2] + blocks + jpeg[2:]


def mean_difference(a, b):
    return sum(abs(x - y) for x, y in zip(a.pixels, b.pixels)) / len(a.pixels)


class PulseNullSink:
    """A PulseAudio server of its own with a null output: a sound device that plays in real time
    into nothing. env holds what a client needs to find it."""

    def __init__(self):
        runtime = tempfile.mkdtemp(prefix='pulse-')  # a socket's path must be short
        self.folder = runtime
        socket = os.path.join(runtime, 'native')
        self.env = {'PULSE_SERVER': 'unix:' + socket, 'PULSE_RUNTIME_PATH': runtime}
        self.proc = _start(['pulseaudio', '-n', '--daemonize=no', '--exit-idle-time=-1',
                            '--disallow-exit', '-L', 'module-null-sink',
                            '-L', f'module-native-protocol-unix auth-anonymous=1 socket={socket}'],
                           env=dict(os.environ, HOME=runtime, **self.env),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not poll_until(lambda: os.path.exists(socket)):
            self.close()
            raise RuntimeError('pulseaudio did not start')

    def close(self):
        _stop(self.proc)
        shutil.rmtree(self.folder, ignore_errors=True)


def end_wine_session():
    subprocess.run(['wineserver', '-k'], env=dict(os.environ, WINEPREFIX=WINE['prefix']),
                   stderr=subprocess.DEVNULL)


class WindowsSaverTest(SaverTestCase):
    """The Windows player under Wine: its windows are X windows on the test's display, and no
    window manager runs (Wine then waits up to 2 s for a window it hides to be withdrawn)."""

    @classmethod
    def setUpClass(cls):
        if not WINE:
            raise unittest.SkipTest('runs only with --platform windows')
        super().setUpClass()
        cls.wine('--prepare')

    def system_file(self, name):
        return os.path.join(WINE['prefix'], 'drive_c', 'windows', 'system32', name)

    def install(self, library, name):
        """Puts a stand-in library of the Windows build's tests into the system folder."""
        target = self.system_file(name)
        shutil.copy(os.path.join(os.path.dirname(TOOLS['win_host']), library), target)
        self.addCleanup(os.remove, target)

    def saver_running(self):
        return int(self.wine(TOOLS['win_host'], '--saver-running', env=self.env))

    def run_folders(self):
        """What the run folders in the prefix's temporary folder hold: each folder as 'run-.../'
        and its files as 'run-.../<name>'."""
        found = []
        for folder in glob.glob(os.path.join(WINE['prefix'], 'drive_c', 'users', '*', 'Temp',
                                             'slidesaver', 'run-*')):
            name = os.path.basename(folder) + '/'
            found += [name] + [name + f for f in os.listdir(folder)]
        return sorted(found)

    def open_sounds(self, proc):
        """The sound files the saver's process holds open."""
        names = []
        for fd in os.listdir(f'/proc/{proc.pid}/fd'):
            try:
                target = os.readlink(f'/proc/{proc.pid}/fd/{fd}')
            except OSError:
                continue
            if target.endswith('.wav'):
                names.append(os.path.basename(target))
        return sorted(names)

    def cpu_seconds(self, proc):
        with open(f'/proc/{proc.pid}/stat') as f:
            fields = f.read().rsplit(')', 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')

    @classmethod
    def tearDownClass(cls):
        end_wine_session()
        super().tearDownClass()

    def test_first_picture_centred_on_black_one_instance_and_a_key_ends_it(self):
        saver_file = self.pack('Plain.scr', extra=['--interval', '60000'])
        saver = self.start(saver_file, '/S')
        self.wait_for_saver_window(saver)
        expected = centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H)
        self.wait_for_image(saver, self.grab, expected, 'first picture centred on black')
        # The named semaphore lets only one saver of a file name run.
        self.assertEnds(self.start(saver_file, '/S'), 'a second saver of the same file')
        self.assertRunning(saver, 'the first saver')
        self.xdotool('key', 'a')
        self.assertEnds(saver, 'saver after a key')
        self.assertEqual(self.full_screen_windows(), [])

    def test_names_outside_the_ansi_code_page_show_play_and_leave_no_files(self):
        # Wine's ANSI code page is 1252: only the system's UTF-16 functions reach these names.
        tune = os.path.join(self.dir, 'tune.wav')
        write_wave(tune, 30)
        os.mkdir(os.path.join(self.dir, 'Папка'))
        saver_file = self.pack(os.path.join('Папка', 'Фото.scr'),
                               extra=['--interval', '60000', '--sound', tune + '=Мелодия.wav'])
        pulse = PulseNullSink()
        self.addCleanup(pulse.close)
        saver = self.start(saver_file, '/S', env=dict(self.env, **pulse.env))
        self.wait_for_saver_window(saver)
        self.wait_for_image(saver, self.grab, centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H),
                            'first picture centred on black')
        self.assertTrue(poll_until(lambda: self.open_sounds(saver) == ['Мелодия.wav']),
                        f'music: {self.open_sounds(saver)}')
        self.xdotool('key', 'a')
        self.assertEnds(saver, 'saver after a key')
        runtime = os.path.join(WINE['prefix'], 'drive_c', 'users', '*', 'Temp', 'slidesaver', '*')
        self.assertEqual(glob.glob(runtime), [])

    def test_preview_draws_the_first_picture_stretched_until_the_host_hides_it(self):
        host = ProbeWindow(self.env, 200, 150, 50, 60, command=[WINE['run'], TOOLS['win_host']])
        self.windows.append(host)

        def x_window():
            tree = subprocess.run(['xwininfo', '-root', '-tree'], env=self.env, check=True,
                                  stdout=subprocess.PIPE, text=True).stdout
            match = re.search(rf'(0x[0-9a-f]+) "host {host.id}"', tree)
            return match and match.group(1)
        shown = poll_until(x_window)
        self.assertTrue(shown, 'the host window did not appear')
        preview = self.start(self.pack('Preview.scr'), '/P', host.id)
        self.wait_for_image(preview, lambda: self.grab(shown),
                            stretched(self.pictures[0], 200, 150), 'first picture stretched')
        host.command('hide')
        self.assertEnds(preview, 'preview after the host hid its window')

    def test_setup_dialog_stores_mute_after_clicks_on_the_box_and_on_ok(self):
        saver_file = self.pack('Setup.scr')
        setup = self.start(saver_file, '/C')
        width, height, x, y = self.setup_dialog(setup, SETUP_CLIENT)

        def drawn():
            shot = self.grab()
            return len({shot.pixel(px, py) for px in range(x, x + width)
                        for py in range(y, y + height)}) >= 3
        self.assertTrue(poll_until(drawn), 'the dialog stayed blank')
        # The check box and OK where the dialog's layout puts them in its client area. One click
        # each: the dialog takes the clicks in turn once its window is shown, and a second click
        # on the box would toggle it back.
        self.xdotool('mousemove', x + 35, y + 78)

        def box():
            shot = self.grab()
            return [shot.pixel(px, py) for px in range(x + 31, x + 40) for py in range(y + 74, y + 83)]
        unchecked = poll_until(lambda: box() == box() and box(), interval=0.2)
        self.xdotool('click', '1')
        self.assertTrue(poll_until(lambda: box() != unchecked),
                        'the check box never looked checked')
        self.xdotool('mousemove', x + 251, y + 236)
        self.xdotool('click', '1')
        self.assertEnds(setup, 'setup after a click on the check box and on OK')
        with open(os.path.join(self.dir, 'CONTROL.INI')) as f:
            self.assertIn('mute=1', f.read().split())

    def setup_dialog(self, setup, client):
        """The setup dialog's client area, once shown at that size: width, height, x, y."""
        seen = []

        def dialog():
            # Without a window manager Wine makes the dialog's X window at the size of the whole
            # frame, then, still unmapped, turns it into the client area and maps it. Only the
            # mapped window stands where clicks are aimed.
            self.assertRunning(setup, 'setup before its dialog appeared')
            tree = subprocess.run(['xwininfo', '-root', '-children'], env=self.env, check=True,
                                  stdout=subprocess.PIPE, text=True).stdout
            match = re.search(r'^\s+(0x[0-9a-f]+) "Setup', tree, re.MULTILINE)
            if not match:
                return None
            info = subprocess.run(['xwininfo', '-id', match.group(1)], env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  text=True).stdout
            fields = dict(re.findall(r'^\s*(Absolute upper-left [XY]|Width|Height|Map State):'
                                     r'\s*(\S+)', info, re.MULTILINE))
            if len(fields) < 5:
                return None
            seen[:] = [fields]
            geometry = tuple(int(fields[k]) for k in ('Width', 'Height', 'Absolute upper-left X',
                                                       'Absolute upper-left Y'))
            return fields['Map State'] == 'IsViewable' and geometry[:2] == client and geometry
        found = poll_until(dialog)
        self.assertTrue(found, f'no setup dialog of {client} was shown; last seen: {seen}')
        return found

    def test_at_144_dpi_the_caption_and_the_setup_dialog_grow_one_and_a_half_times(self):
        saver_file = self.pack('Scaled.scr', extra=[
            '--text', 'Slidesaver', '--font-color', 'clYellow', '--font-height', '-32',
            '--interval', '60000'])
        below = (SCREEN_H + PICTURE_H) // 2  # the caption lies below the picture

        def caption_height():
            saver = self.start(saver_file, '/S')
            self.wait_for_saver_window(saver)

            def captioned(shot):
                return any(shot.pixel(x, y) == (255, 255, 0) for y in range(below, SCREEN_H)
                           for x in range(0, SCREEN_W, 2))
            captioned.expected = centred_on_black(self.pictures[0], SCREEN_W, SCREEN_H)
            shot = self.wait_for_picture(saver, self.grab, captioned, 'the caption')
            rows = [y for y in range(below, SCREEN_H) if any(
                r >= 200 and g >= 200 and b <= 60 for r, g, b in
                (shot.pixel(x, y) for x in range(SCREEN_W)))]
            self.xdotool('key', 'a')
            self.assertEnds(saver, 'saver after a key')
            return max(rows) - min(rows) + 1

        at96 = caption_height()
        # Wine reads the pixels per inch when its session starts.
        desktop = r'HKCU\Control Panel\Desktop'
        self.wine('reg', 'add', desktop, '/v', 'LogPixels', '/t', 'REG_DWORD', '/d', '144', '/f',
                  env=self.env)
        end_wine_session()
        self.addCleanup(end_wine_session)
        self.addCleanup(self.wine, 'reg', 'delete', desktop, '/v', 'LogPixels', '/f', env=self.env)
        at144 = caption_height()
        self.assertAlmostEqual(at144 / at96, 1.5, delta=0.12, msg=f'caption {at96} -> {at144} rows')
        setup = self.start(saver_file, '/C')
        self.setup_dialog(setup, tuple(round(side * 1.5 + 0.01) for side in SETUP_CLIENT))
        self.xdotool('key', 'Escape')
        self.assertEnds(setup, 'setup after Escape')

    def test_password_check_keeps_the_saver_until_it_lets_the_user_leave(self):
        self.install('test-password-cpl.dll', 'PASSWORD.CPL')
        desktop = r'HKCU\Control Panel\Desktop'
        self.wine('reg', 'add', desktop, '/v', 'ScreenSaveUsePassword', '/t', 'REG_DWORD', '/d', '1',
                  '/f')
        self.addCleanup(self.wine, 'reg', 'delete', desktop, '/v', 'ScreenSaveUsePassword', '/f')
        log = os.path.join(self.dir, 'services.log')
        env = dict(self.env, SLIDESAVER_TEST_SERVICES_LOG=win_path(log),
                   SLIDESAVER_TEST_VERIFY_ANSWERS='01')  # stay, then leave
        saver = self.start(self.pack('Locked.scr', extra=['--interval', '60000']), '/S', env=env)
        self.wait_for_saver_window(saver)
        self.xdotool('key', 'a')
        self.assertTrue(poll_until(lambda: read_text(log).count('verify') == 1), 'no check asked')
        for i in range(1, 6):  # large moves, ignored after the answer "stay"
            self.xdotool('mousemove', 10 + 90 * i, 10 + 70 * i)
        time.sleep(1)
        self.assertRunning(saver, 'saver after the check said stay and five large moves')
        self.assertEqual(read_text(log).count('verify'), 1)
        self.xdotool('key', 'a')
        self.assertEnds(saver, 'saver after the check let the user leave')
        calls = read_text(log).split()
        self.assertEqual(calls[0::2], ['verify', 'verify'])
        self.assertEqual(calls[1], calls[3])
        self.assertNotEqual(calls[1], '0', 'the check got no window')
        self.assertEqual(self.saver_running(), 0)
        self.assertEqual(self.run_folders(), [])

    def test_password_change_calls_the_system_folders_library_only(self):
        log = os.path.join(self.dir, 'services.log')
        env = dict(self.env, SLIDESAVER_TEST_SERVICES_LOG=win_path(log),
                   WINEDLLOVERRIDES='mpr=n;mscoree,mshtml=')  # never Wine's own MPR.DLL
        saver_file = self.pack('Change.scr')
        wine_mpr = self.system_file('mpr.dll')
        shutil.move(wine_mpr, wine_mpr + '.wine')
        self.addCleanup(shutil.move, wine_mpr + '.wine', wine_mpr)
        library = os.path.join(os.path.dirname(TOOLS['win_host']), 'test-mpr.dll')
        shutil.copy(library, os.path.join(self.dir, 'MPR.DLL'))  # beside the saver: not looked at
        self.assertEnds(self.start(saver_file, '/A', '1234', env=env), '/A with no MPR.DLL')
        self.assertEqual(read_text(log), '')
        self.install('test-mpr.dll', 'mpr.dll')
        self.assertEnds(self.start(saver_file, '/A', '1234', env=env), '/A')
        self.assertEqual(read_text(log), 'change SCRSAVE 1234 0 0\n')
        self.assertEqual(self.full_screen_windows(), [])

    def test_music_plays_its_tracks_in_turn_and_is_silent_without_a_device(self):
        one, long = os.path.join(self.dir, 'one.wav'), os.path.join(self.dir, 'long.wav')
        write_wave(one, 1)
        write_wave(long, 30)
        saver_file = self.pack('Music.scr', extra=['--interval', '60000', '--sound', one,
                                                   '--sound', long])
        pulse = PulseNullSink()
        self.addCleanup(pulse.close)
        saver = self.start(saver_file, '/S', env=dict(self.env, **pulse.env))
        # The music starts before the window shows; the end of the first track starts the next.
        self.assertTrue(poll_until(lambda: self.open_sounds(saver) == ['one.wav'], interval=0.02),
                        'no music')
        self.assertTrue(poll_until(lambda: self.open_sounds(saver) == ['long.wav']),
                        f'after one.wav: {self.open_sounds(saver)}')
        self.wait_for_saver_window(saver)
        self.xdotool('key', 'a')
        self.assertEnds(saver, 'saver with music after a key')
        self.assertEqual(self.run_folders(), [])

        # No sound device: the first track cannot play, the show runs on without a busy loop.
        silent = dict(self.env, PULSE_SERVER='unix:' + os.path.join(self.dir, 'no-pulse'))
        saver = self.start(saver_file, '/S', env=silent)
        self.wait_for_saver_window(saver)
        time.sleep(1)
        before = self.cpu_seconds(saver)
        time.sleep(2)
        self.assertLess(self.cpu_seconds(saver) - before, 0.5, 'busy without a sound device')
        self.assertNotIn('long.wav', self.open_sounds(saver))
        self.xdotool('key', 'a')
        self.assertEnds(saver, 'silent saver after a key')
        self.assertEqual(self.run_folders(), [])

    def test_messages_and_the_end_of_the_session_close_the_saver_the_normal_way(self):
        tune = os.path.join(self.dir, 'tune.wav')
        write_wave(tune, 30)
        saver_file = self.pack('Closing.scr', extra=['--interval', '60000', '--sound', tune])
        # Without a window manager Wine waits 2 s for every window it hides; the end of the session
        # gives a saver 3 s to close. Windows that Wine manages itself close at once.
        x11 = r'HKCU\Software\Wine\X11 Driver'
        self.wine('reg', 'add', x11, '/v', 'Managed', '/t', 'REG_SZ', '/d', 'N', '/f')
        self.addCleanup(self.wine, 'reg', 'delete', x11, '/v', 'Managed', '/f')
        for how in ('stop message', 'WM_CLOSE', 'end of the session'):
            saver = self.start(saver_file, '/S')
            self.wait_for_saver_window(saver)
            self.assertTrue(poll_until(lambda: self.open_sounds(saver) == ['tune.wav']))
            self.assertEqual(self.saver_running(), 1, how)
            if how == 'end of the session':
                self.wine('wineboot', '--end-session', env=self.env)
            else:
                self.wine(TOOLS['win_host'], '--post', 'SlidesaverForm',
                          1026 if how == 'stop message' else 0x10, env=self.env)
            self.assertEnds(saver, f'saver after the {how}')
            self.assertEqual(self.saver_running(), 0, how)
            self.assertEqual(self.run_folders(), [], how)
            self.assertEqual(self.full_screen_windows(), [], how)
        self.assertFalse(os.path.exists(os.path.join(self.dir, 'CONTROL.INI')))


    def test_the_windows_pack_tool_makes_what_the_linux_one_makes_and_installs_it(self):
        folder = os.path.join(self.dir, 'Фотографии')
        os.mkdir(folder)
        shutil.copy(self.jpegs[0], os.path.join(folder, 'a.jpg'))
        write_png(os.path.join(folder, 'b.png'), self.pictures[1])
        with open(self.jpegs[1], 'rb') as f, open(os.path.join(folder, 'c.jpg'), 'wb') as out:
            out.write(stored_on_its_side(f.read()))
        savers, shows = {}, {}
        for system in ('linux', 'windows'):
            savers[system] = os.path.join(self.dir, f'{system}.scr')
            args = ['build', '--player', TOOLS['player'], '--out', savers[system], '--picture', folder]
            if system == 'windows':
                self.wine(TOOLS['win_pack'], *args, env=self.env)
            else:
                subprocess.run([TOOLS['pack'], *args], check=True, stdout=subprocess.DEVNULL)
            inspected = subprocess.run([TOOLS['pack'], 'inspect', savers[system]], check=True,
                                       stdout=subprocess.PIPE).stdout
            shows[system] = json.loads(inspected)
        sizes = {system: [(p['width'], p['height']) for p in show['pictures']]
                 for system, show in shows.items()}
        upright = [self.pictures[0], self.pictures[1], turned_clockwise(self.pictures[1])]
        self.assertEqual(sizes['windows'], [(p.width, p.height) for p in upright])
        self.assertEqual(sizes['windows'], sizes['linux'])
        pictures = {system: self.saver_pictures(savers[system], show) for system, show in shows.items()}
        for index, (windows, linux, expected) in enumerate(zip(pictures['windows'],
                                                               pictures['linux'], upright)):
            self.assertLess(mean_difference(windows, linux), 4, f'picture {index}')
            self.assertLess(mean_difference(windows, expected), 4, f'picture {index}')
        self.assertEqual(shows['windows']['pictures'][0]['jpeg_bytes'],
                         os.path.getsize(self.jpegs[0]), 'the upright JPEG is stored as it is')
        self.assertEqual(json.loads(self.wine(TOOLS['win_pack'], 'inspect', savers['windows'],
                                              env=self.env)), shows['windows'])
        # install names the copy in SCRNSAVE.EXE, uninstall takes both back.
        desktop = r'HKCU\Control Panel\Desktop'
        installed = self.wine(TOOLS['win_pack'], 'install', savers['windows'], env=self.env)
        copy = glob.glob(os.path.join(WINE['prefix'], 'drive_c', 'users', '*', 'AppData', 'Local',
                                      'Slidesaver', 'windows.scr'))
        self.assertEqual(len(copy), 1, installed)
        self.assertIn('SCRNSAVE.EXE', self.wine('reg', 'query', desktop, '/v', 'SCRNSAVE.EXE',
                                                 env=self.env))
        self.assertIn('set SCRNSAVE.EXE', installed)
        self.wine(TOOLS['win_pack'], 'uninstall', savers['windows'], env=self.env)
        self.assertFalse(os.path.exists(copy[0]))
        query = subprocess.run([WINE['run'], 'reg', 'query', desktop, '/v', 'SCRNSAVE.EXE'],
                               env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertNotEqual(query.returncode, 0, 'SCRNSAVE.EXE is still set')

    def saver_pictures(self, saver, show):
        """The pictures of a saver, decoded."""
        with open(saver, 'rb') as f:
            data = f.read()
        pictures = []
        for index, picture in enumerate(show['pictures']):
            start = data.index(b'\xff\xd8\xff', picture['offset'])
            path = f'{saver}-{index}.jpg'
            with open(path, 'wb') as f:
                f.write(data[start:start + picture['jpeg_bytes']])
            pictures.append(self.decode(path))
        return pictures


def turned_clockwise(image):
    """The image turned a quarter clockwise."""
    w, h, p = image.width, image.height, image.pixels
    rows = []
    for y in range(w):
        for x in range(h):
            at = ((h - 1 - x) * w + y) * 3
            rows.append(p[at:at + 3])
    return Image(h, w, b''.join(rows))


# ---------------------------------------------------------------- two monitors

MONITOR_W, MONITOR_H = 1920, 1080


class _CursorImage(ctypes.Structure):
    _fields_ = [('x', ctypes.c_short), ('y', ctypes.c_short), ('width', ctypes.c_ushort),
                ('height', ctypes.c_ushort), ('xhot', ctypes.c_ushort), ('yhot', ctypes.c_ushort),
                ('cursor_serial', ctypes.c_ulong), ('pixels', ctypes.POINTER(ctypes.c_ulong)),
                ('atom', ctypes.c_ulong), ('name', ctypes.c_char_p)]


def visible_pointer_pixels(display_name):
    """How many pixels of the pointer's shape on that display are not transparent (XFixes)."""
    xlib, xfixes = ctypes.CDLL('libX11.so.6'), ctypes.CDLL('libXfixes.so.3')
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xlib.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(display_name.encode())
    if not display:
        raise AssertionError(f'cannot open display {display_name}')
    try:
        image = xfixes.XFixesGetCursorImage(display)
        shape = image.contents
        count = sum(1 for i in range(shape.width * shape.height) if shape.pixels[i] >> 24)
        xlib.XFree(image)
        return count
    finally:
        xlib.XCloseDisplay(display)


class TwoMonitors:
    """Two monitors side by side: Xephyr with two Xinerama heads, at 0,0 and MONITOR_W,0 (RandR
    off, as on many a multi-head server), inside an Xvfb as wide as both. The savers run on
    Xephyr (`name`); screenshots of the Xvfb (`outer`) show both monitors as a user sees them."""

    def __init__(self, log_dir):
        self.outer = VirtualDisplay(2 * MONITOR_W, MONITOR_H, log_dir)
        size = f'{MONITOR_W}x{MONITOR_H}'
        try:
            self.inner = VirtualDisplay(
                2 * MONITOR_W, MONITOR_H, log_dir, env=dict(os.environ, DISPLAY=self.outer.name),
                server=['Xephyr', '+xinerama', '-extension', 'RANDR', '-screen', f'{size}+0+0x24',
                        '-origin', f'{MONITOR_W},0', '-screen', f'{size}+{MONITOR_W}+0x24'])
        except BaseException:
            self.outer.close()
            raise
        self.name = self.inner.name

    def close(self):
        self.inner.close()
        self.outer.close()


class TwoMonitorTest(SaverTestCase):
    """A saver on two monitors: the show on the primary one and black on the other or, with
    --screens every, a show on each; input on either ends it. The same under Wine."""
    SCREEN = (MONITOR_W, MONITOR_H)
    # Where the pointer stands before each saver starts: at the first monitor's centre, where
    # Xephyr puts it whenever no window is mapped. Moves along this row keep a saver running.
    START = (MONITOR_W // 2, MONITOR_H // 2)

    @classmethod
    def make_display(cls):
        return TwoMonitors(cls.work)

    @classmethod
    def setUpClass(cls):
        if shutil.which('Xephyr') is None:
            raise unittest.SkipTest('two monitors need Xephyr: package xserver-xephyr '
                                    '(scripts/setup.sh installs it)')
        super().setUpClass()
        if WINE:
            cls.wine('--prepare')

    @classmethod
    def tearDownClass(cls):
        if WINE:
            end_wine_session()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        # Xephyr follows the test's pointer moves only while some window is mapped.
        self.probe_window(2 * MONITOR_W, MONITOR_H, 0, 0)
        self.xdotool('mousemove', *self.START)
        self.windows.pop().close()

    def shows(self):
        """Each picture centred on black on one monitor."""
        return [centred_on_black(picture, MONITOR_W, MONITOR_H) for picture in self.pictures]

    def both_monitors(self):
        return self.grab(display=self.display.outer.name)

    def start_saver(self, name, interval=60000, extra=()):
        saver = self.start(self.pack(name, extra=['--interval', str(interval), *extra]), '/S')
        self.wait_for_saver_window(saver)
        return saver

    def move_pointer(self, x, y):
        self.xdotool('mousemove', x, y)
        where = subprocess.run(['xdotool', 'getmouselocation'], env=self.env, check=True,
                               stdout=subprocess.PIPE, text=True).stdout
        self.assertTrue(where.startswith(f'x:{x} y:{y} '), f'the pointer stands at {where}')

    def test_first_picture_on_the_primary_monitor_black_on_the_other_and_no_pointer(self):
        saver = self.start_saver('Two.scr')
        black = Image(MONITOR_W, MONITOR_H, bytes(MONITOR_W * MONITOR_H * 3))
        self.wait_for_image(saver, self.both_monitors, side_by_side(self.shows()[0], black),
                            'first picture on the left monitor, black on the right one')
        for x in (self.START[0], self.START[0] + MONITOR_W):
            self.move_pointer(x, self.START[1])
            self.assertTrue(poll_until(lambda: visible_pointer_pixels(self.display.name) == 0),
                            f'the pointer shows at {x},{self.START[1]}')
        if not WINE:
            # The cover places itself (no window manager may move it to another monitor) and
            # leaves the keyboard focus with the show.
            tree = subprocess.run(['xwininfo', '-root', '-children'], env=self.env, check=True,
                                  stdout=subprocess.PIPE, text=True).stdout
            covers = re.findall(rf'^\s+(0x[0-9a-f]+) .*\s{MONITOR_W}x{MONITOR_H}\+{MONITOR_W}\+0\s',
                                tree, re.MULTILINE)
            self.assertEqual(len(covers), 1, tree)
            info = subprocess.run(['xwininfo', '-id', covers[0]], env=self.env, check=True,
                                  stdout=subprocess.PIPE, text=True).stdout
            self.assertIn('Override Redirect State: yes', info)
            focus = subprocess.run(['xdotool', 'getwindowfocus'], env=self.env, check=True,
                                   stdout=subprocess.PIPE, text=True).stdout
            self.assertNotEqual(int(focus), int(covers[0], 16))
        self.assertRunning(saver, 'saver after straight moves')

    def test_a_key_or_a_diagonal_move_on_the_second_monitor_ends_it(self):
        # The pointer on the second monitor over the saver's window there, or over another
        # program's window that came up above it and took the focus: on X the saver's grab takes
        # that one's keys, which the Windows player under Wine (no grab; Windows keeps them for
        # the topmost full-screen window) cannot.
        for action, foreign in (('key', False), ('key', True), ('move', False)):
            if foreign and WINE:
                continue
            with self.subTest(action=action, over_another_program=foreign):
                saver = self.start_saver(f'Second{action}{int(foreign)}.scr', interval=1000)
                main = self.full_screen_windows()[0]
                if foreign:
                    window = self.probe_window(400, 300, MONITOR_W + 760, self.START[1] - 150)
                    self.xdotool('windowfocus', '--sync', window.id)
                self.move_pointer(self.START[0] + MONITOR_W, self.START[1])
                self.wait_for_changes(saver, lambda: self.grab(main))
                self.assertRunning(saver, 'saver after a straight move onto the second monitor')
                if action == 'key':
                    self.xdotool('key', 'a')
                else:
                    self.xdotool('mousemove_relative', 40, 40)
                self.assertEnds(saver, f'saver after a {action} on the second monitor')
                for window in self.windows:
                    window.close()
                self.windows.clear()

    def test_every_screen_shows_pictures_of_its_own(self):
        saver = self.start_saver('Every.scr', extra=['--screens', 'every'])
        shows = self.shows()

        def a_picture_on_each_not_the_same(shot):
            left, right = shot.columns(0, MONITOR_W), shot.columns(MONITOR_W, 2 * MONITOR_W)
            return left in shows and right in shows and left != right
        a_picture_on_each_not_the_same.expected = side_by_side(*shows)
        self.wait_for_picture(saver, self.both_monitors, a_picture_on_each_not_the_same,
                              'a picture centred on black on each monitor, not the same one')


# ---------------------------------------------------------------- Wayland: sway and weston

# sway's outputs: (width, height, x, y) of the primary one, HEADLESS-1, and of the second one,
# which is added after the start (and may be unplugged and added again under another name).
PRIMARY_OUTPUT = (MONITOR_W, MONITOR_H, 0, 0)
SECOND_OUTPUT = (1280, 720, MONITOR_W, 0)


def session_user():
    """The command prefix and user id that Wayland sessions and their programs run with: sway
    refuses to run as root, so under root they run as nobody."""
    if os.geteuid() != 0:
        return [], os.geteuid()
    return ['setpriv', f'--reuid={NOBODY}', f'--regid={NOBODY}', '--clear-groups'], NOBODY


def give_to(path, uid, mode):
    os.chmod(path, mode)
    if os.geteuid() == 0:
        os.chown(path, uid, uid)


class WaylandSession:
    """A compositor of its own, run as the session's user with a private runtime folder (and
    home) under /tmp, where socket paths stay short. Every program of the session (those the
    compositor starts itself included) carries that folder in its environment: close() ends
    them all by that and removes the folder."""
    NAME = 'wayland'

    def __init__(self, log_dir):
        self.prefix, self.uid = session_user()
        self.folder = tempfile.mkdtemp(prefix=f'slidesaver-{self.NAME}-')
        os.chmod(self.folder, 0o755)
        self.runtime = os.path.join(self.folder, 'run')
        self.home = os.path.join(self.folder, 'home')
        for path, mode in ((self.runtime, 0o700), (self.home, 0o755)):
            os.mkdir(path)
            give_to(path, self.uid, mode)
        self.env = {'PATH': os.environ.get('PATH', '/usr/bin:/bin'), 'HOME': self.home,
                    'XDG_RUNTIME_DIR': self.runtime}
        # A sanitizer build's settings hold in the session too, with a copy of its files that
        # the session's user can read wherever the build lies.
        for name, value in os.environ.items():
            if name.endswith('SAN_OPTIONS'):
                self.env[name] = re.sub(r'(?<=suppressions=)[^:]+', lambda m: self.readable(m[0]),
                                        value)
        self.log = open(os.path.join(log_dir, self.NAME + '.log'), 'wb')
        self.procs = []
        try:
            self.proc = self.start(self.command(), env=dict(self.env, **self.compositor_env()),
                                   stdout=self.log, stderr=subprocess.STDOUT)
            socket = poll_until(self.socket)
            if not socket:
                raise RuntimeError(f'{self.NAME} did not start; see {self.log.name}')
            self.env['WAYLAND_DISPLAY'] = self.name = socket
        except BaseException:
            self.close()
            raise

    def compositor_env(self):
        return {}

    def readable(self, path):
        """A copy of the file in the session's folder, which its user can read and run."""
        copy = os.path.join(self.folder, os.path.basename(path))
        shutil.copy(path, copy)
        os.chmod(copy, 0o755)
        return copy

    def socket(self):
        """The compositor's socket, once it is there (and the compositor still runs)."""
        if self.proc.poll() is not None:
            raise RuntimeError(f'{self.NAME} ended with status {self.proc.returncode}; see '
                               f'{self.log.name}')
        names = [n for n in os.listdir(self.runtime) if n.startswith('wayland-') and
                 not n.endswith('.lock')]
        return names[0] if names else None

    def start(self, args, env=None, **kwargs):
        """A program of the session, run as its user."""
        proc = _start([*self.prefix, *map(str, args)], env=env or self.env, **kwargs)
        self.procs.append(proc)
        return proc

    def run(self, *args, env=None, check=True, timeout=DEADLINE):
        result = subprocess.run([*self.prefix, *map(str, args)], env=env or self.env,
                                capture_output=True, timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError(f'{" ".join(map(str, args))}: status {result.returncode}: '
                                 f'{result.stderr.decode(errors="replace").strip()}')
        return result

    def processes(self):
        """The processes whose environment holds the session's runtime folder."""
        mark = f'XDG_RUNTIME_DIR={self.runtime}'.encode()
        found = []
        for pid in filter(str.isdigit, os.listdir('/proc')):
            try:
                with open(f'/proc/{pid}/environ', 'rb') as f:
                    if mark in f.read().split(b'\0'):
                        found.append(int(pid))
            except OSError:
                pass
        return found

    def close(self):
        for proc in reversed(self.procs):
            _stop(proc)
        for signum in (signal.SIGTERM, signal.SIGKILL):
            for pid in self.processes():
                try:
                    os.kill(pid, signum)
                except ProcessLookupError:
                    pass
            if poll_until(lambda: not self.processes(), deadline=5):
                break
        for proc in self.procs:
            for pipe in (proc.stdin, proc.stdout):
                if pipe:
                    pipe.close()
        self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)


class Sway(WaylandSession):
    """sway on two headless outputs with Xwayland; screenshots with grim, keys
    with wtype, the pointer through slidesaver-wl-pointer (one virtual pointer for the whole
    session)."""
    NAME = 'sway'

    def command(self):
        config = os.path.join(self.folder, 'config')
        width, height, x, y = PRIMARY_OUTPUT
        with open(config, 'w') as f:
            f.write(f'xwayland enable\noutput HEADLESS-1 resolution {width}x{height} '
                    f'position {x} {y}\n')
        os.chmod(config, 0o644)
        return ['sway', '-c', config]

    def compositor_env(self):
        return {'WLR_BACKENDS': 'headless', 'WLR_LIBINPUT_NO_DEVICES': '1',
                'WLR_RENDERER': 'pixman'}

    def __init__(self, log_dir):
        super().__init__(log_dir)
        try:
            ipc = poll_until(lambda: glob.glob(os.path.join(self.runtime, 'sway-ipc.*.sock')))
            if not ipc:
                raise RuntimeError(f'sway has no IPC socket; see {self.log.name}')
            self.env['SWAYSOCK'] = ipc[0]
            self.pointer = self.start([self.readable(TOOLS['wl_pointer']), 'serve'],
                                      stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)
            self.move_pointer(960, 540)  # the virtual pointer is there
            self.add_output()
            # The empty desktop's colour (the pointer is drawn into screenshots too).
            self.desktop = self.screenshot('HEADLESS-1').pixel(0, 0)
            self.x_display = None
        except BaseException:
            self.close()
            raise

    def swaymsg(self, *args):
        return json.loads(self.run('swaymsg', '-r', *args).stdout or b'null')

    def outputs(self):
        """The active outputs: name -> (width, height, x, y)."""
        return {o['name']: tuple(o['rect'][k] for k in ('width', 'height', 'x', 'y'))
                for o in self.swaymsg('-t', 'get_outputs') if o.get('active')}

    def add_output(self, place=SECOND_OUTPUT):
        """A new headless output (sway names them in turn), as the second one by default; its
        name."""
        before = self.outputs()
        self.swaymsg('create_output')
        names = poll_until(lambda: set(self.outputs()) - set(before))
        if not names:
            raise AssertionError('create_output made no output')
        name = names.pop()
        width, height, x, y = place
        self.swaymsg('output', name, 'resolution', f'{width}x{height}', 'position', x, y)
        if not poll_until(lambda: self.outputs().get(name) == place):
            raise AssertionError(f'{name} is not where it belongs: {self.outputs()}')
        return name

    def remove_output(self, name):
        """Unplugs the output or, where sway cannot (1.7), turns it off. sway 1.7 fails to turn
        off a headless output too ("Failed to commit output"): the test is skipped then."""
        result = self.run('swaymsg', 'output', name, 'unplug', check=False)
        unplugged = b'Invalid output subcommand' not in result.stdout + result.stderr
        if unplugged and result.returncode != 0:
            raise AssertionError(f'output {name} unplug: {result.stdout + result.stderr}')
        if not unplugged:
            self.swaymsg('output', name, 'disable')
        if not poll_until(lambda: name not in self.outputs(), deadline=5):
            if not unplugged:
                raise unittest.SkipTest(f'this sway can neither unplug nor turn off {name}')
            raise AssertionError(f'{name} is still there after unplug')

    def screenshot(self, output):
        return Image.parse_ppm(self.run('grim', '-t', 'ppm', '-o', output, '-').stdout,
                               f'screenshot of {output}')

    def pointer_command(self, line):
        self.pointer.stdin.write(line + '\n')
        self.pointer.stdin.flush()
        answer = self.pointer.stdout.readline().strip()
        if answer != 'ok':
            raise AssertionError(f'slidesaver-wl-pointer answered {answer!r} to {line!r}')

    def move_pointer(self, x, y):
        self.pointer_command(f'move-abs {x} {y}')

    def move_pointer_by(self, dx, dy):
        self.pointer_command(f'move {dx} {dy}')

    def click(self, button='left'):
        self.pointer_command(f'click {button}')

    def key(self, name):
        """One key by its keysym name, after a pause: a client that has just started gets the
        keymap first."""
        self.run('wtype', '-s', '500', '-k', name)

    def xwayland(self):
        """sway's Xwayland display (it starts with its first client)."""
        if self.x_display is None:
            out = os.path.join(self.home, 'env')
            self.swaymsg('exec', f'env > {out}.new && mv {out}.new {out}')
            text = poll_until(lambda: read_text(out))
            match = re.search(r'^DISPLAY=(\S+)$', text or '', re.MULTILINE)
            if not match:
                raise AssertionError('sway runs no Xwayland (no DISPLAY in its environment)')
            self.x_display = match.group(1)
        return self.x_display

    def windows(self):
        """Every window in sway's tree as (pid, shell, fullscreen)."""
        found = []

        def walk(node):
            if node.get('pid'):
                found.append((node['pid'], node.get('shell'), node.get('fullscreen_mode', 0)))
            for child in node.get('nodes', []) + node.get('floating_nodes', []):
                walk(child)
        walk(self.swaymsg('-t', 'get_tree'))
        return found


class Weston(WaylandSession):
    """weston's headless backend: no layer shell and no seat."""
    NAME = 'weston'

    def command(self):
        return ['weston', '--backend=headless-backend.so', '--use-pixman',
                '--socket=wayland-slidesaver', '--idle-time=0']


def player_help():
    return subprocess.run([TOOLS['player'], '--help'], capture_output=True, text=True).stdout


class WaylandTestCase(SaverTestCase):
    """Savers in a Wayland session of the class's own, run as that session's user."""
    SESSION = Sway
    NEEDS = ('sway', 'swaymsg', 'grim', 'wtype')
    NATIVE = False  # True: the tests are for the player's own Wayland backend

    @classmethod
    def setUpClass(cls):
        missing = [tool for tool in cls.NEEDS + (('setpriv',) if os.geteuid() == 0 else ())
                   if shutil.which(tool) is None]
        if missing:
            raise unittest.SkipTest('not installed: ' + ', '.join(missing) +
                                    ' (packages sway, grim, wtype, weston, util-linux)')
        if cls.SESSION is Sway and 'wl_pointer' not in TOOLS:
            raise unittest.SkipTest('slidesaver-wl-pointer was not built (needs libwayland-dev '
                                    'and wayland-protocols); pass --wl-pointer')
        if cls.NATIVE and '--wayland' not in player_help():
            raise unittest.SkipTest('the player has no native Wayland backend')
        super().setUpClass()
        os.chmod(cls.work, 0o755)

    @classmethod
    def make_display(cls):
        return cls.SESSION(cls.work)

    def setUp(self):
        super().setUp()
        os.chmod(self.dir, 0o755)
        give_to(self.tmpdir, self.display.uid, 0o755)
        self.env = dict(self.display.env, TMPDIR=self.tmpdir, SDL_AUDIODRIVER='dummy')
        self.env.pop('SWAYSOCK', None)
        if not self.NATIVE:
            self.env.pop('WAYLAND_DISPLAY')
            self.env['DISPLAY'] = self.display.xwayland()

    def place_pointer(self):
        if isinstance(self.display, Sway):
            self.display.move_pointer(MONITOR_W // 2, MONITOR_H // 2)

    def start(self, saver, *args, env=None):
        log = open(os.path.join(self.dir, os.path.basename(saver) + '.log'), 'ab')
        proc = self.display.start([saver, *args], env=env or self.env, stdout=log,
                                  stderr=subprocess.STDOUT)
        log.close()
        self.procs.append(proc)
        return proc

    def runtime_folder(self):
        # The session's runtime folder is the user's, so the saver keeps its files there.
        return os.path.join(self.display.runtime, 'slidesaver')

    def tearDown(self):
        super().tearDown()
        # What a saver that was killed left there, as the folder of the next test would not hold.
        shutil.rmtree(self.runtime_folder(), ignore_errors=True)

    def assertEndsClean(self, proc, saver_file, what):
        self.assertEnds(proc, what)
        self.assertEqual(saver_processes(saver_file), [], f'{what}: processes left')
        self.assertEqual(self.runtime_files(), [], f'{what}: runtime folder')

    def covered(self, output):
        """Whether the empty desktop shows in none of the output's corners."""
        shot = self.display.screenshot(output)
        return all(shot.pixel(x, y) != self.display.desktop
                   for x in (0, shot.width - 1) for y in (0, shot.height - 1))

    def wait_until_covered(self, proc, outputs, deadline=DEADLINE):
        def up():
            self.assertRunning(proc, 'saver before it covered ' + ', '.join(outputs))
            return all(self.covered(name) for name in outputs)
        self.assertTrue(poll_until(up, deadline=deadline),
                        f'not covered within {deadline:.0f} s: ' +
                        ', '.join(name for name in outputs if not self.covered(name)))

    def assertStaysUp(self, proc, what, checks=40):
        """Some more time for a fault to show: the process lives through `checks` checks."""
        for _ in range(checks):
            self.assertRunning(proc, what)
            time.sleep(0.05)


class XwaylandSaverTest(WaylandTestCase):
    """The saver on sway's Xwayland (the X11 path)."""

    def test_started_after_the_pointer_moved_over_native_windows_it_waits_for_input(self):
        # Xwayland learns where the pointer is only when it enters one of its windows: the
        # saver's window appears with the server still thinking of the pointer's old place.
        saver_file = self.pack('Stale.scr', extra=['--interval', '60000'])
        native = self.display.start(['weston-flower'], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        self.procs.append(native)
        self.assertTrue(poll_until(lambda: any(pid == native.pid for pid, _, _ in
                                               self.display.windows())), 'no native window')
        width, height, _, _ = PRIMARY_OUTPUT
        picture = centred_on_black(self.pictures[0], width, height)
        primary = lambda: self.display.screenshot('HEADLESS-1')
        for run in range(10):
            with self.subTest(start=run):
                # Across the native window's tile, to a new place each time.
                self.display.move_pointer(100 + 97 * run, 100 + 61 * run)
                saver = self.start(saver_file, '/S', '--x11')
                self.wait_for_image(saver, primary, picture, 'first picture on the primary output')
                self.assertStaysUp(saver, f'saver {run + 1} without input')
                # The server learns the true place at the latest with the next motion.
                self.display.move_pointer_by(1, 1)
                self.assertStaysUp(saver, f'saver {run + 1} after a 1-pixel nudge')
                self.display.key('a')
                self.assertEndsClean(saver, saver_file, f'saver {run + 1} after a key')
                self.assertTrue(poll_until(lambda: primary() != picture),
                                'the saver window stays after the end')


class WaylandSaverTest(WaylandTestCase):
    """The player's own Wayland backend on sway: a layer surface over each output."""
    NATIVE = True

    def start_saver(self, name, interval=60000, pictures=None, deadline=DEADLINE):
        saver_file = self.pack(name, pictures=pictures, extra=['--interval', str(interval)])
        saver = self.start(saver_file, '/S')
        self.wait_until_covered(saver, list(self.display.outputs()), deadline=deadline)
        return saver_file, saver

    def primary(self):
        return self.display.screenshot('HEADLESS-1')

    def test_covers_both_outputs_within_3_s_and_shows_the_picture_as_on_x11(self):
        saver_file, saver = self.start_saver('Cover.scr', pictures=self.jpegs[:1], deadline=3)
        self.wait_for_image(saver, self.primary,
                            centred_on_black(self.pictures[0], MONITOR_W, MONITOR_H),
                            'first picture centred on the primary output')
        saver.send_signal(signal.SIGTERM)
        self.assertEndsClean(saver, saver_file, 'saver after SIGTERM')

    def test_a_key_a_click_a_clear_move_or_sigterm_ends_it_a_nudge_does_not(self):
        for what, act, ends in (
                ('a 1-pixel nudge', lambda saver: self.display.move_pointer_by(1, 1), False),
                ('a key', lambda saver: self.display.key('a'), True),
                ('a click', lambda saver: self.display.click(), True),
                ('a clear move', lambda saver: self.display.move_pointer_by(40, 40), True),
                ('SIGTERM', lambda saver: saver.send_signal(signal.SIGTERM), True)):
            with self.subTest(what=what):
                saver_file, saver = self.start_saver(f'Input{len(what)}.scr', interval=1000)
                act(saver)
                if ends:
                    self.assertEndsClean(saver, saver_file, f'saver after {what}')
                    continue
                self.wait_for_changes(saver, self.primary)
                self.assertRunning(saver, f'saver after {what}')
                saver.send_signal(signal.SIGTERM)
                self.assertEndsClean(saver, saver_file, f'saver after {what} and SIGTERM')

    def test_stays_above_a_full_screen_window(self):
        other = self.display.start(['weston-fullscreen'], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.procs.append(other)
        windows = self.display.windows
        self.assertTrue(poll_until(lambda: (other.pid, 'xdg_shell', 0) in windows()),
                        f'no window of weston-fullscreen: {windows()}')
        self.display.swaymsg(f'[pid={other.pid}]', 'fullscreen', 'enable')
        self.assertTrue(poll_until(lambda: (other.pid, 'xdg_shell', 1) in windows()),
                        f'weston-fullscreen is not full screen: {self.display.windows()}')
        saver_file, saver = self.start_saver('Above.scr', pictures=self.jpegs[:1])
        self.wait_for_image(saver, self.primary,
                            centred_on_black(self.pictures[0], MONITOR_W, MONITOR_H),
                            'first picture above the full-screen window')
        self.display.key('a')
        self.assertEndsClean(saver, saver_file, 'saver above a full-screen window after a key')

    def test_an_output_added_is_covered_and_one_unplugged_keeps_it_running(self):
        saver_file, saver = self.start_saver('Outputs.scr')
        width, height, x, y = SECOND_OUTPUT
        added = self.display.add_output((width, height, x + width, y))
        self.wait_until_covered(saver, [added])
        self.assertStaysUp(saver, 'saver after an output was added')
        self.display.remove_output(added)
        self.assertStaysUp(saver, 'saver after an output was unplugged')
        saver.send_signal(signal.SIGTERM)
        self.assertEndsClean(saver, saver_file, 'saver after the outputs changed')

    def test_swayidle_starts_it_after_3_s_without_input(self):
        if shutil.which('swayidle') is None:
            self.skipTest('not installed: swayidle')
        saver_file = self.pack('Idle.scr', extra=['--interval', '60000'])
        idle = self.display.start(['swayidle', '-w', 'timeout', '3', f'{saver_file} /S'],
                                  env=self.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.procs.append(idle)
        self.assertTrue(poll_until(lambda: saver_processes(saver_file)),
                        'swayidle started no saver')
        self.assertTrue(poll_until(lambda: all(map(self.covered, self.display.outputs()))),
                        'the saver swayidle started covers not every output')
        self.display.key('a')
        self.assertTrue(poll_until(lambda: not saver_processes(saver_file)),
                        'the saver swayidle started runs on after a key')
        self.assertEqual(self.runtime_files(), [])

    def test_the_setup_dialog_is_a_native_window_that_escape_closes(self):
        saver_file = self.pack('Setup.scr')
        setup = self.start(saver_file, '/C')
        windows = self.display.windows
        self.assertTrue(poll_until(lambda: (setup.pid, 'xdg_shell', 0) in windows()),
                        f'no native window of the setup dialog: {windows()}')
        self.display.key('Escape')
        self.assertEndsClean(setup, saver_file, 'setup dialog after Escape')


class WestonSaverTest(WaylandTestCase):
    """The player's own Wayland backend where the compositor offers no layer shell (and weston's
    headless backend no seat either)."""
    SESSION = Weston
    NEEDS = ('weston',)
    NATIVE = True

    def test_without_a_layer_shell_it_runs_full_screen_until_sigterm_or_weston_ends(self):
        saver_file = self.pack('Weston.scr', extra=['--interval', '1000'])
        for end in ('SIGTERM', 'weston ending'):
            with self.subTest(end=end):
                saver = self.start(saver_file, '/S', '--wayland')
                self.assertTrue(poll_until(lambda: self.assertRunning(saver, 'saver on weston') or
                                           self.runtime_files()), 'the saver took no lock')
                self.assertStaysUp(saver, 'saver on weston')
                (saver if end == 'SIGTERM' else self.display.proc).send_signal(signal.SIGTERM)
                self.assertEndsClean(saver, saver_file, f'saver on weston after {end}')
        log = os.path.join(self.dir, 'Weston.scr.log')
        self.assertEqual(read_text(log).splitlines()[-1:],
                         ['Weston: the connection to the Wayland compositor was lost'])


# ---------------------------------------------------------------- command line

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--build-dir', help='build folder holding all five executables')
    for name in ('player', 'pack', 'render', 'media', 'probe'):
        parser.add_argument('--' + name)
    parser.add_argument('--wl-pointer', help='slidesaver-wl-pointer, for the tests under sway')
    parser.add_argument('--platform', choices=('linux', 'windows'), default='linux',
                        help='the system the player is built for')
    parser.add_argument('--wine-run', help='scripts/wine-run.sh, for --platform windows')
    parser.add_argument('--wineprefix', help='the Wine prefix to run in, for --platform windows')
    parser.add_argument('--win-host', help='slidesaver-win-host.exe, for --platform windows')
    parser.add_argument('--win-pack', help='slidesaver-pack.exe, for --platform windows')
    parser.add_argument('--desktop', choices=('x11', 'wayland'),
                        help='only the test classes of this desktop (default: all)')
    options, rest = parser.parse_known_args()
    if options.platform == 'windows':
        if not options.wine_run or not options.wineprefix:
            parser.error('--platform windows needs --wine-run and --wineprefix')
        WINE.update(run=os.path.abspath(options.wine_run), prefix=os.path.abspath(options.wineprefix))
        for name in ('win_host', 'win_pack'):
            if getattr(options, name):
                TOOLS[name] = os.path.abspath(getattr(options, name))
        # Only the Windows player's own tests and the two monitors: the others speak of X hosts,
        # signals and locks.
        rest = rest or ['WindowsSaverTest', 'TwoMonitorTest']
    elif options.desktop:
        rest = rest or [name for name, cls in globals().items()
                        if isinstance(cls, type) and issubclass(cls, unittest.TestCase) and
                        unittest.TestLoader().getTestCaseNames(cls) and
                        issubclass(cls, WaylandTestCase) == (options.desktop == 'wayland')]
    defaults = {'player': 'app/slidesaver', 'pack': 'tools/slidesaver-pack',
                'render': 'tools/slidesaver-render',
                'media': 'tools/imagegen/slidesaver-demo-media',
                'probe': 'tests/e2e/slidesaver-x11-probe'}
    for name, relative in defaults.items():
        path = getattr(options, name)
        if path is None and options.build_dir:
            path = os.path.join(options.build_dir, relative)
        if path is None:
            parser.error(f'--{name} or --build-dir is needed')
        TOOLS[name] = os.path.abspath(path)
    wl_pointer = options.wl_pointer
    if wl_pointer is None and options.build_dir:  # built only where libwayland-client is
        wl_pointer = os.path.join(options.build_dir, 'tests/e2e/slidesaver-wl-pointer')
        wl_pointer = wl_pointer if os.path.exists(wl_pointer) else None
    if wl_pointer:
        TOOLS['wl_pointer'] = os.path.abspath(wl_pointer)
    atexit.register(_kill_all)
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, _stop_all_and_exit)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == '__main__':
    main()
