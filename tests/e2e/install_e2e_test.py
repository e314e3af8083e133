#!/usr/bin/env python3
"""End-to-end test of `slidesaver-pack install` with the real XScreenSaver on a virtual X display.

In a scratch home that holds a ~/.xscreensaver of its own, a saver is installed with
`--for xscreensaver --only`; xscreensaver then runs it when activated, and the screen shows its
first picture centred on black. Uninstall gives the settings file back byte for byte.

    install_e2e_test.py --player P --pack P --render P --media P --probe P [unittest options]

XScreenSaver refuses to run as root: run as root, the test runs the daemon, the saver and the
install as the user nobody.
"""

import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

TOOLS = {}
SCREEN_W, SCREEN_H = 640, 480
PICTURE_W, PICTURE_H = 320, 240
DEADLINE = 30.0  # generous: the machine is slow and shared
NOBODY = 65534

SETTINGS = (
    "# the user's own settings, which install and uninstall must keep\n"
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


def poll_until(condition, deadline=DEADLINE, interval=0.05):
    """Calls condition() until it returns something true; that value, or None at the deadline."""
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value or time.monotonic() > end:
            return value
        time.sleep(interval)


def read_ppm(path):
    """(width, height, RGB bytes) of a binary PPM as slidesaver-x11-probe and -render write it."""
    with open(path, 'rb') as f:
        data = f.read()
    magic, width, height, maxval, pixels = data.split(maxsplit=4)
    assert magic == b'P6' and maxval == b'255', path
    width, height = int(width), int(height)
    return width, height, pixels[:width * height * 3]


def centred_on_black(picture):
    width, height, pixels = picture
    left, top = (SCREEN_W - width) // 2, (SCREEN_H - height) // 2
    out = bytearray(SCREEN_W * SCREEN_H * 3)
    for y in range(height):
        start = ((top + y) * SCREEN_W + left) * 3
        out[start:start + width * 3] = pixels[y * width * 3:(y + 1) * width * 3]
    return bytes(out)


class XScreenSaverInstallTest(unittest.TestCase):

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='install-e2e-')
        self.procs = []
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.addCleanup(self.stop_all)
        os.chmod(self.work, 0o755)
        self.as_root = os.geteuid() == 0
        self.home = self.folder('home')
        tmp = self.folder('tmp')
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ('XDG_RUNTIME_DIR', 'XDG_DATA_HOME', 'XSCREENSAVER_WINDOW')}
        self.env.update(HOME=self.home, TMPDIR=tmp, SDL_AUDIODRIVER='dummy',
                        DISPLAY=self.start_xvfb())

    def folder(self, name):
        path = os.path.join(self.work, name)
        os.mkdir(path)
        if self.as_root:
            os.chown(path, NOBODY, NOBODY)
        return path

    def start_xvfb(self):
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.work, 'xvfb.log'), 'wb')
        self.procs.append(subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', f'{SCREEN_W}x{SCREEN_H}x24',
             '-nolisten', 'tcp', '-noreset', '-wr'],
            pass_fds=(write_end,), stdout=log, stderr=subprocess.STDOUT))
        os.close(write_end)
        text, end = b'', time.monotonic() + DEADLINE
        while not text.endswith(b'\n') and time.monotonic() < end:
            if select.select([read_end], [], [], 0.2)[0]:
                text += os.read(read_end, 64) or b'\n'
        os.close(read_end)
        log.close()
        self.assertTrue(text.strip().isdigit(), 'Xvfb did not start')
        return ':' + text.decode().strip()

    def stop_all(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.kill()
            proc.wait(timeout=10)

    def user(self):
        """The arguments that make a child run as the user the daemon runs as."""
        return dict(user=NOBODY, group=NOBODY, extra_groups=[]) if self.as_root else {}

    def run_as_user(self, *args, check=True):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                              check=check, timeout=DEADLINE, **self.user())

    def pack(self, *args):
        result = self.run_as_user(TOOLS['pack'], *args)
        return result.stdout

    def saver_pids(self, path):
        """The processes whose program is the file at `path`."""
        pids = []
        for pid in filter(str.isdigit, os.listdir('/proc')):
            try:
                if os.readlink(f'/proc/{pid}/exe') == path:
                    pids.append(int(pid))
            except OSError:
                pass
        return pids

    def screen(self):
        shot = os.path.join(self.work, 'screen.ppm')
        subprocess.run([TOOLS['probe'], 'grab', 'root', shot], env=self.env, check=True)
        return read_ppm(shot)[2]

    def test_installed_saver_runs_under_xscreensaver_and_uninstall_gives_the_file_back(self):
        media = os.path.join(self.work, 'media')
        subprocess.run([TOOLS['media'], media, '--count', '1', '--width', str(PICTURE_W),
                        '--height', str(PICTURE_H)], check=True, stdout=subprocess.DEVNULL)
        jpeg = os.path.join(media, 'demo-01.jpg')
        saver = os.path.join(self.work, 'Holiday.scr')
        subprocess.run([TOOLS['pack'], 'build', '--player', TOOLS['player'], '--out', saver,
                        '--picture', jpeg, '--title', 'Holiday'], check=True, stdout=subprocess.DEVNULL)
        decoded = os.path.join(self.work, 'decoded.ppm')
        subprocess.run([TOOLS['render'], 'frame', '--old', jpeg, '--new', jpeg, '--style', '1',
                        '--progress', '100', '--out', decoded], check=True)
        expected = centred_on_black(read_ppm(decoded))

        settings = os.path.join(self.home, '.xscreensaver')
        with open(settings, 'w') as f:
            f.write(SETTINGS)
        if self.as_root:
            os.chown(settings, NOBODY, NOBODY)
        installed = os.path.join(self.home, '.local/share/slidesaver/Holiday.scr')

        out = self.pack('install', saver, '--for', 'xscreensaver', '--only')
        self.assertIn(f'copied {saver} to {installed}\n', out)
        self.assertIn(f'added "Holiday" ({installed} /S --root) to {settings}', out)
        with open(settings + '.bak') as f:
            self.assertEqual(f.read(), SETTINGS)

        log = open(os.path.join(self.work, 'xscreensaver.log'), 'wb')
        daemon = subprocess.Popen(['xscreensaver', '--no-splash'], env=self.env, stdout=log,
                                  stderr=subprocess.STDOUT, **self.user())
        log.close()
        self.procs.insert(0, daemon)
        answers = lambda: self.run_as_user('xscreensaver-command', '-time', check=False).returncode == 0
        self.assertTrue(poll_until(answers), 'xscreensaver does not answer; see xscreensaver.log')
        self.assertEqual(self.saver_pids(installed), [])

        self.run_as_user('xscreensaver-command', '-activate')
        self.assertTrue(poll_until(lambda: self.saver_pids(installed)),
                        f'xscreensaver did not start {installed}')
        self.assertTrue(poll_until(lambda: self.screen() == expected),
                        'the screen does not show the first picture centred on black')

        self.run_as_user('xscreensaver-command', '-deactivate')
        self.assertTrue(poll_until(lambda: not self.saver_pids(installed)),
                        'the saver still runs after -deactivate')
        self.run_as_user('xscreensaver-command', '-exit')
        daemon.wait(timeout=DEADLINE)

        out = self.pack('uninstall', saver, '--for', 'xscreensaver')
        self.assertEqual(out, f'removed the entry of {installed} from {settings} '
                              f'(backup: {settings}.bak)\nremoved {installed}\n')
        with open(settings) as f:
            self.assertEqual(f.read(), SETTINGS)
        self.assertFalse(os.path.exists(installed))
        self.assertIn('nothing to remove', self.pack('uninstall', saver))


def main():
    parser = argparse.ArgumentParser(add_help=False)
    for tool in ('player', 'pack', 'render', 'media', 'probe'):
        parser.add_argument('--' + tool, required=True)
    args, rest = parser.parse_known_args()
    TOOLS.update(vars(args))
    missing = [t for t in ('Xvfb', 'xscreensaver', 'xscreensaver-command') if not shutil.which(t)]
    if missing:
        sys.exit('needed but not installed: ' + ', '.join(missing) +
                 ' (packages xvfb, xscreensaver; scripts/setup.sh installs them)')
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == '__main__':
    main()
