#!/usr/bin/env python3
"""Compares a saver that runs a show on every monitor on one and on two monitors.

    measure_screens.py --saver Every.scr [--show-seconds 20] [--show-runs 5]

One monitor: Xvfb of 1920x1080. Two monitors: Xvfb of 3840x1080 with, inside it, Xephyr of two
Xinerama heads of 1920x1080 side by side (the saver runs on Xephyr). The runs alternate between the
two, so that the machine's load falls on both alike. For each: the highest peak memory (VmHWM) and
the median processor time over the show (see measure_saver.py), then the ratios of two monitors to
one.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from measure_saver import measure_show, start_xvfb  # noqa: E402


def start_xephyr(outer):
    """Two 1920x1080 Xinerama heads side by side inside the display `outer`."""
    for number in range(95, 200):
        if os.path.exists(f'/tmp/.X11-unix/X{number}') or os.path.exists(f'/tmp/.X{number}-lock'):
            continue
        proc = subprocess.Popen(['Xephyr', f':{number}', '+xinerama', '-extension', 'RANDR',
                                 '-nolisten', 'tcp', '-screen', '1920x1080+0+0x24', '-origin',
                                 '1920,0', '-screen', '1920x1080+1920+0x24'],
                                env=dict(os.environ, DISPLAY=outer), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        end = time.monotonic() + 30
        while time.monotonic() < end and proc.poll() is None:
            if subprocess.run(['xdpyinfo', '-display', f':{number}'], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return proc, f':{number}'
            time.sleep(0.1)
        proc.kill()
        proc.wait()
    raise RuntimeError('Xephyr did not start')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--saver', required=True, help='a saver built with --screens every')
    parser.add_argument('--show-seconds', type=float, default=20.0)
    parser.add_argument('--show-runs', type=int, default=5)
    options = parser.parse_args()
    for tool in ('Xvfb', 'Xephyr', 'xdpyinfo'):
        if shutil.which(tool) is None:
            sys.exit(f'measure_screens: {tool} is not installed (packages xvfb, xserver-xephyr, '
                     'x11-utils)')
    saver = os.path.abspath(options.saver)
    tmp = tempfile.mkdtemp(prefix='measure-screens-')
    servers = []
    try:
        one, one_display = start_xvfb(1920, 1080)
        servers.append(one)
        outer, outer_display = start_xvfb(3840, 1080)
        servers.append(outer)
        xephyr, two_display = start_xephyr(outer_display)
        servers.insert(0, xephyr)
        base = {k: v for k, v in os.environ.items()
                if k not in ('XDG_RUNTIME_DIR', 'XSCREENSAVER_WINDOW')}
        base.update(TMPDIR=tmp, SDL_AUDIODRIVER='dummy')
        results = {'one': [], 'two': []}
        for run in range(1, options.show_runs + 1):
            for name, display in (('one', one_display), ('two', two_display)):
                peak, cpu = measure_show(saver, dict(base, DISPLAY=display), options.show_seconds)
                results[name].append((peak, cpu))
                print(f'run {run}, {name} monitor{"s" if name == "two" else ""}: peak memory '
                      f'(VmHWM) {peak:.1f} MiB, processor {cpu:.2f} % of one core', flush=True)
    finally:
        for proc in servers:
            proc.kill()
            proc.wait()
        shutil.rmtree(tmp, ignore_errors=True)
    peak = {name: max(p for p, _ in runs) for name, runs in results.items()}
    cpu = {name: statistics.median(c for _, c in runs) for name, runs in results.items()}
    print(f'\n{options.show_runs} shows of {options.show_seconds:.0f} s each:')
    print('| measure | one 1920x1080 | two 1920x1080 | two / one |')
    print('|---|---|---|---|')
    print(f'| peak memory (VmHWM, highest) | {peak["one"]:.1f} MiB | {peak["two"]:.1f} MiB | '
          f'{peak["two"] / peak["one"]:.2f} |')
    print(f'| processor (median) | {cpu["one"]:.2f} % | {cpu["two"]:.2f} % | '
          f'{cpu["two"] / cpu["one"]:.2f} |')
    return 0


if __name__ == '__main__':
    sys.exit(main())
