#!/usr/bin/env python3
"""End-to-end tests of the setup dialog and of the music of a real screen saver, under Xvfb.

The dialog is found by its caption, read back from root screenshots and driven with xdotool
clicks; its one setting lands in CONTROL.INI next to the saver. The music goes through SDL's disk
audio driver, which writes the mixed output to a file in real time: its loudness tells whether
anything played. Shares the display, tools, scratch folders and helpers of saver_e2e_test.

    setup_music_e2e_test.py --build-dir BUILD [unittest options]
    setup_music_e2e_test.py --player P --pack P --render P --media P --probe P [unittest options]
"""

import array
import ctypes
import ctypes.util
import math
import os
import re
import signal
import subprocess
import sys
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import saver_e2e_test as base  # noqa: E402

setUpModule = base.setUpModule

TITLE = 'Demo'
CAPTION = f'Setup [{TITLE}]'
DIALOG_W, DIALOG_H = 305, 259

# Client rectangles (left, top, right, bottom) of the dialog's parts.
TITLE_ROWS = (29, 23, 300, 40)
AUTHOR_ROWS = (29, 44, 300, 60)
MUTE_BOX = (29, 72, 42, 85)           # the 13 x 13 box, centred in the 15 pixels of the check box
MUTE_BOX_INSIDE = (31, 74, 40, 83)    # the box without its rounded border
MUTE_CAPTION = (46, 71, 113, 86)   # after the box and a gap of 5
EMAIL_ROWS = (29, 106, 300, 122)
WEB_ROWS = (29, 127, 300, 143)
MEMO = (10, 153, 297, 205)
OK_BUTTON = (214, 224, 289, 249)
BOTTOM_BAND = (0, 209, 305, 259)


def is_dark(rgb):
    return max(rgb) < 110


def is_link_blue(rgb):
    r, g, b = rgb
    return r < 80 and g < 80 and b > 150


def is_accent(rgb):
    """The blue of a checked box: clearly more blue than red, unlike the white or tinted fill."""
    r, _, b = rgb
    return b > 150 and r < 130 and b - r > 80


class Dialog:
    """A setup dialog on screen: its window id and the root position of its client area."""

    def __init__(self, window_id, left, top, width, height):
        self.id, self.left, self.top, self.width, self.height = (window_id, left, top,
                                                                 width, height)

    def screen(self, x, y):
        return self.left + x, self.top + y

    def pixels(self, shot, rect, accept=lambda rgb: True):
        """The client points inside rect whose screen pixel satisfies accept."""
        x0, y0, x1, y1 = rect
        return [(x, y) for y in range(y0, y1) for x in range(x0, x1)
                if accept(shot.pixel(self.left + x, self.top + y))]

    def area(self, shot, rect):
        x0, y0, x1, y1 = rect
        return [shot.pixel(self.left + x, self.top + y)
                for y in range(y0, y1) for x in range(x0, x1)]


def send_close_request(display, window_id):
    """Sends WM_DELETE_WINDOW to the window's owner: what a window manager does when the user
    presses the close control of the frame (plain Xvfb has no window manager of its own)."""
    class ClientMessage(ctypes.Structure):
        _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong),
                    ('send_event', ctypes.c_int), ('display', ctypes.c_void_p),
                    ('window', ctypes.c_ulong), ('message_type', ctypes.c_ulong),
                    ('format', ctypes.c_int), ('data', ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [('xclient', ClientMessage), ('pad', ctypes.c_long * 24)]

    name = ctypes.util.find_library('X11')
    if name is None:
        raise RuntimeError('libX11 not found; needed to send the close request')
    xlib = ctypes.CDLL(name)
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.POINTER(Event)]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = xlib.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError(f'cannot open display {display}')
    try:
        event = Event()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window_id
        event.xclient.message_type = xlib.XInternAtom(connection, b'WM_PROTOCOLS', 0)
        event.xclient.format = 32
        event.xclient.data[0] = xlib.XInternAtom(connection, b'WM_DELETE_WINDOW', 0)
        event.xclient.data[1] = 0  # CurrentTime
        if not xlib.XSendEvent(connection, window_id, 0, 0, ctypes.byref(event)):
            raise RuntimeError('XSendEvent failed')
    finally:
        xlib.XCloseDisplay(connection)  # flushes the request


# ---------------------------------------------------------------- setup dialog

class SetupDialogTest(base.SaverTestCase):

    def setUp(self):
        super().setUp()
        self.saver = self.pack('Saver.scr', extra=[
            '--title', TITLE, '--author', 'Jane Roe', '--email', 'jane@example.org',
            '--web', 'https://example.org/demo'])
        self.ini = os.path.join(self.dir, 'CONTROL.INI')

    def find_dialog(self):
        tree = subprocess.run(['xwininfo', '-root', '-tree'], env=self.env, check=True,
                              stdout=subprocess.PIPE, text=True).stdout
        pattern = (r'^\s+(0x[0-9a-f]+) "' + re.escape(CAPTION) +
                   r'":.*?\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)')
        for match in re.finditer(pattern, tree, re.MULTILINE):
            info = subprocess.run(['xwininfo', '-id', match.group(1)], env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            if 'Map State: IsViewable' in info.stdout:
                width, height, left, top = map(int, match.group(2, 3, 4, 5))
                return Dialog(int(match.group(1), 16), left, top, width, height)
        return None

    def open_dialog(self, *args):
        """Starts the saver in setup mode and waits until its dialog stands filled on screen."""
        proc = self.start(self.saver, *args)

        def shown():
            self.assertRunning(proc, 'setup dialog')
            return self.find_dialog()
        dialog = base.poll_until(shown)
        self.assertIsNotNone(dialog, f'no viewable window captioned {CAPTION!r}')
        self.xdotool('mousemove', 0, 0)  # off the dialog: no hot control in the screenshots

        def drawn():
            shot = self.grab()
            return shot if dialog.pixels(shot, WEB_ROWS, is_link_blue) else None
        self.assertIsNotNone(base.poll_until(drawn), 'the dialog never showed its links')
        return proc, dialog

    def click(self, dialog, rect):
        x0, y0, x1, y1 = rect
        self.xdotool('mousemove', *dialog.screen((x0 + x1) // 2, (y0 + y1) // 2))
        self.xdotool('click', '1')

    def box_shows(self, dialog, checked):
        """Waits until the mute box shows the state asked for; returns its pixels."""
        def shows():
            area = dialog.area(self.grab(), MUTE_BOX_INSIDE)
            accents = sum(map(is_accent, area))
            return area if (accents > len(area) // 2) == checked else None
        area = base.poll_until(shows)
        self.assertIsNotNone(area, f'the mute box never showed {"checked" if checked else "clear"}')
        return area

    def read_ini(self):
        with open(self.ini, encoding='latin-1') as f:
            return [line.strip() for line in f if line.strip()]

    def mute_values(self):
        """The values of mute= under [Setup], in file order."""
        values, section = [], None
        for line in self.read_ini():
            if line.startswith('['):
                section = line
            elif section == '[Setup]' and line.startswith('mute='):
                values.append(line[len('mute='):])
        return values

    def test_layout_under_both_command_lines(self):
        for args in (('/C',), ()):
            with self.subTest(args=args):
                proc, dialog = self.open_dialog(*args)
                self.assertEqual((dialog.width, dialog.height), (DIALOG_W, DIALOG_H),
                                 'dialog size')
                shot = self.grab()
                self.check_layout(dialog, shot)
                self.click(dialog, OK_BUTTON)
                self.assertEnds(proc, f'setup dialog {args} after OK')
                self.assertFalse(os.path.exists(self.ini), 'OK with the box untouched')

    def check_layout(self, dialog, shot):
        for name, rect in (('title line', TITLE_ROWS), ('author line', AUTHOR_ROWS),
                           ('mute caption', MUTE_CAPTION), ('memo', MEMO)):
            dark = dialog.pixels(shot, rect, is_dark)
            self.assertGreater(len(dark), 20, f'dark text pixels of the {name}')
            slack = 8 if name == 'memo' else 4  # the memo has an inner margin
            self.assertLessEqual(min(x for x, _ in dark), rect[0] + slack,
                                 f'the {name} starts at x = {rect[0]}')
        # The title is bold 13 pixels high, the author line the plain dialog font.
        title_rows = {y for _, y in dialog.pixels(shot, TITLE_ROWS, is_dark)}
        author_rows = {y for _, y in dialog.pixels(shot, AUTHOR_ROWS, is_dark)}
        self.assertGreater(len(title_rows), len(author_rows) - 2, 'title taller than author')

        for name, rect in (('e-mail link', EMAIL_ROWS), ('web link', WEB_ROWS)):
            blue = dialog.pixels(shot, rect, is_link_blue)
            self.assertGreater(len(blue), 20, f'blue pixels of the {name}')
            self.assertLessEqual(min(x for x, _ in blue), rect[0] + 4,
                                 f'the {name} starts at x = {rect[0]}')
        self.assertEqual(dialog.pixels(shot, (0, 0, DIALOG_W, 100), is_link_blue)[:3], [],
                         'blue link pixels above the links')
        self.assertEqual(dialog.pixels(shot, (0, 0, 25, 145), is_dark)[:3], [],
                         'text in the top band left of the column at x = 29')
        self.assertEqual(dialog.pixels(shot, (0, 145, 8, 209), is_dark)[:3], [],
                         'text left of the memo')

        box = dialog.area(shot, MUTE_BOX)
        self.assertGreater(len(set(box)), 2, 'the mute box is drawn')
        self.assertEqual(sum(map(is_accent, dialog.area(shot, MUTE_BOX_INSIDE))), 0,
                         'the mute box opens clear')

        button = dialog.pixels(shot, OK_BUTTON, is_dark)
        self.assertGreater(len(button), 5, 'the caption of the OK button')
        cx = sum(x for x, _ in button) / len(button)
        cy = sum(y for _, y in button) / len(button)
        self.assertLess(abs(cx - (OK_BUTTON[0] + OK_BUTTON[2]) / 2), 10, 'caption centred')
        self.assertLess(abs(cy - (OK_BUTTON[1] + OK_BUTTON[3]) / 2), 6, 'caption centred')
        band = dialog.pixels(shot, BOTTOM_BAND, is_dark)
        self.assertEqual([p for p in band if not (OK_BUTTON[0] <= p[0] < OK_BUTTON[2])][:3],
                         [], 'dark pixels in the bottom band outside the button')
        button_area = dialog.area(shot, OK_BUTTON)
        left_of_button = dialog.area(shot, (130, 224, 205, 249))
        self.assertNotEqual(sorted(set(button_area)), sorted(set(left_of_button)),
                            'the button stands out from its band')

    def test_ok_stores_the_choice_and_the_next_run_shows_it(self):
        proc, dialog = self.open_dialog('/C')
        clear_box = self.box_shows(dialog, checked=False)
        self.click(dialog, MUTE_BOX)
        self.box_shows(dialog, checked=True)
        self.click(dialog, OK_BUTTON)
        self.assertEnds(proc, 'setup dialog after checking the box and OK')
        self.assertIn('[Setup]', self.read_ini())
        self.assertEqual(self.mute_values(), ['1'])

        # A stored 0x1 reads as muted: the box opens checked, and OK writes "1" untouched,
        # keeping the rest of the file.
        with open(self.ini, 'w') as f:
            f.write('[Other]\nkeep=yes\n[Setup]\nmute=0x1\n')
        proc, dialog = self.open_dialog('/C')
        checked_box = self.box_shows(dialog, checked=True)
        self.assertNotEqual(checked_box, clear_box, 'the box looks the same checked and clear')
        self.click(dialog, OK_BUTTON)
        self.assertEnds(proc, 'setup dialog opened checked, after OK')
        self.assertEqual(self.mute_values(), ['1'])
        self.assertIn('keep=yes', self.read_ini())

        # Clearing a stored choice writes "0".
        proc, dialog = self.open_dialog('/C')
        self.box_shows(dialog, checked=True)
        self.click(dialog, MUTE_BOX)
        self.box_shows(dialog, checked=False)
        self.click(dialog, OK_BUTTON)
        self.assertEnds(proc, 'setup dialog after clearing the box and OK')
        self.assertEqual(self.mute_values(), ['0'])

    def test_checking_and_clearing_before_ok_writes_zero(self):
        proc, dialog = self.open_dialog('/C')
        self.click(dialog, MUTE_BOX)
        self.box_shows(dialog, checked=True)
        self.click(dialog, MUTE_BOX)
        self.box_shows(dialog, checked=False)
        self.click(dialog, OK_BUTTON)
        self.assertEnds(proc, 'setup dialog after two clicks on the box and OK')
        self.assertEqual(self.mute_values(), ['0'])

    def test_closing_the_frame_writes_nothing(self):
        proc, dialog = self.open_dialog('/C')
        self.click(dialog, MUTE_BOX)
        self.box_shows(dialog, checked=True)
        send_close_request(self.display.name, dialog.id)
        self.assertEnds(proc, 'setup dialog after the close request')
        self.assertFalse(os.path.exists(self.ini), 'CONTROL.INI after closing without OK')


# ---------------------------------------------------------------- music

def samples_of(data):
    """The 16-bit little-endian samples of raw audio bytes."""
    samples = array.array('h')
    samples.frombytes(data[:len(data) // 2 * 2])
    if sys.byteorder == 'big':
        samples.byteswap()
    return samples


def rms(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0.0


class MusicTest(base.SaverTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        with wave.open(cls.wav, 'rb') as melody:
            if melody.getsampwidth() != 2:
                raise RuntimeError(f'{cls.wav}: expected 16-bit samples')
            cls.melody_rms = rms(samples_of(melody.readframes(melody.getnframes())))
        if cls.melody_rms < 500:
            raise RuntimeError(f'{cls.wav}: too quiet to tell music from silence')

    def play(self, saver_file, ini=None):
        """Runs the saver with the disk audio driver until it has shown two pictures, ends it with
        SIGTERM, checks its sound files came and went, and returns the audio samples written."""
        if ini is not None:
            with open(os.path.join(self.dir, 'CONTROL.INI'), 'w') as f:
                f.write(ini)
        self.runs = getattr(self, 'runs', 0) + 1
        audio = os.path.join(self.dir, f'audio-{self.runs}.raw')  # a new file for every run
        env = dict(self.env, SDL_AUDIODRIVER='disk', SDL_DISKAUDIOFILE=audio)
        saver = self.start(saver_file, '/S', env=env)
        self.wait_for_saver_window(saver)
        self.assertIn('run/melody.wav', self.runtime_files(), 'sound extracted at start-up')
        for picture, what in ((0, 'first picture'), (1, 'second picture')):
            self.wait_for_image(saver, self.grab,
                                base.centred_on_black(self.pictures[picture], base.SCREEN_W,
                                                      base.SCREEN_H), what)
        data = b''
        if os.path.exists(audio):
            with open(audio, 'rb') as f:
                data = f.read()
        saver.send_signal(signal.SIGTERM)
        self.assertEnds(saver, 'saver after SIGTERM')
        self.assertEqual(self.runtime_files(), [], 'runtime folder after the end')
        return samples_of(data)

    def loudest(self, samples):
        """RMS of the loudest tenth of a second (stereo, 44.1 kHz or less)."""
        window = 8820
        return max((rms(samples[i:i + window]) for i in range(0, len(samples), window)),
                   default=0.0)

    def test_plays_unless_muted(self):
        saver_file = self.pack('Music.scr', extra=['--sound', self.wav, '--interval', '1000'])
        played = self.play(saver_file)
        self.assertGreater(len(played), 0, 'no audio written by the disk driver')
        self.assertGreater(self.loudest(played), self.melody_rms / 4, 'the melody is not heard')

        silent = self.play(saver_file, ini='[Setup]\nmute=1\n')
        self.assertEqual(max(map(abs, silent), default=0), 0, 'audio with mute=1 in CONTROL.INI')

    def test_muted_payload_is_silent_unless_the_setting_says_otherwise(self):
        saver_file = self.pack('Quiet.scr',
                               extra=['--sound', self.wav, '--interval', '1000', '--mute'])
        silent = self.play(saver_file)
        self.assertEqual(max(map(abs, silent), default=0), 0, 'audio of a muted payload')

        played = self.play(saver_file, ini='[Setup]\nmute=0\n')
        self.assertGreater(self.loudest(played), self.melody_rms / 4,
                           'mute=0 in CONTROL.INI does not bring the melody back')


if __name__ == '__main__':
    base.main()
