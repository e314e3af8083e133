#!/usr/bin/env python3
"""Compares the saver natively on Wayland with the saver on X11, at one size.

    measure_wayland.py --saver Demo.scr [--size 1920x1080] [--show-seconds 20] [--show-runs 5]
                       [--start-runs 5]

Wayland: sway headless (pixman renderer) with one output of that size; X11: Xvfb of that size. When
run as root, sway and the saver run as user nobody with a private runtime folder (sway refuses
root). The show runs alternate between the two: the highest peak memory (VmHWM) and the median
processor time over each show, then the ratios of Wayland to X11. Then the start-up on Wayland,
read from the protocol log (WAYLAND_DEBUG) as it arrives: from starting the saver to its first
buffer on the output (the black cover) and to the second (the first frame of the first transition).
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from measure_saver import measure_show, start_xvfb, stop  # noqa: E402

NOBODY = 65534


def as_user(tmp):
    """The command prefix and environment that run a Wayland client here."""
    runtime = os.path.join(tmp, 'runtime')
    os.makedirs(runtime, mode=0o700)
    env = {'PATH': os.environ.get('PATH', '/usr/bin:/bin'), 'HOME': tmp, 'XDG_RUNTIME_DIR': runtime,
           'SDL_AUDIODRIVER': 'dummy', 'TMPDIR': tmp}
    if os.geteuid() != 0:
        return [], env
    for path in (tmp, runtime):
        os.chown(path, NOBODY, NOBODY)
    return ['setpriv', f'--reuid={NOBODY}', f'--regid={NOBODY}', '--clear-groups'], env


def start_sway(tmp, prefix, env, width, height):
    config = os.path.join(tmp, 'sway.config')
    with open(config, 'w') as f:
        f.write(f'output HEADLESS-1 resolution {width}x{height} position 0 0\n')
    os.chmod(config, 0o644)
    sway = subprocess.Popen(prefix + ['env', 'WLR_BACKENDS=headless', 'WLR_LIBINPUT_NO_DEVICES=1',
                                      'WLR_RENDERER=pixman', 'sway', '-c', config],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    end = time.monotonic() + 30
    while time.monotonic() < end and sway.poll() is None:
        sockets = [n for n in os.listdir(env['XDG_RUNTIME_DIR'])
                   if n.startswith('wayland-') and not n.endswith('.lock')]
        if sockets:
            return sway, sockets[0]
        time.sleep(0.05)
    sway.kill()
    raise RuntimeError('sway did not start')


ATTACH = re.compile(r'-> wl_surface@\d+\.attach\(wl_buffer@')


def measure_start(command, env, deadline=30.0):
    """Seconds from start to the first and the second buffer the saver attaches."""
    start = time.monotonic()
    proc = subprocess.Popen(command, env=dict(env, WAYLAND_DEBUG='1'), stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    times = []
    try:
        for line in proc.stderr:
            if ATTACH.search(line):
                times.append(time.monotonic() - start)
                if len(times) == 2:
                    break
            if time.monotonic() - start > deadline:
                break
    finally:
        stop(proc)
    if len(times) < 2:
        raise RuntimeError('the saver showed no frame')
    return times


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--saver', required=True)
    parser.add_argument('--size', default='1920x1080')
    parser.add_argument('--show-seconds', type=float, default=20.0)
    parser.add_argument('--show-runs', type=int, default=5)
    parser.add_argument('--start-runs', type=int, default=5)
    options = parser.parse_args()
    for tool in ('sway', 'Xvfb'):
        if shutil.which(tool) is None:
            sys.exit(f'measure_wayland: {tool} is not installed (packages sway, xvfb)')
    width, height = (int(v) for v in options.size.split('x'))
    tmp = tempfile.mkdtemp(prefix='measure-wayland-')
    os.chmod(tmp, 0o755)
    saver = os.path.join(tmp, 'Demo.scr')
    shutil.copy(options.saver, saver)
    os.chmod(saver, 0o755)
    servers = []
    results = {'wayland': [], 'x11': []}
    starts = []
    try:
        prefix, wl_env = as_user(tmp)
        sway, socket = start_sway(tmp, prefix, wl_env, width, height)
        servers.append(sway)
        xvfb, display = start_xvfb(width, height)
        servers.append(xvfb)
        native = (prefix, dict(wl_env, WAYLAND_DISPLAY=socket))
        x11_env = {k: v for k, v in os.environ.items()
                   if k not in ('XDG_RUNTIME_DIR', 'XSCREENSAVER_WINDOW', 'WAYLAND_DISPLAY')}
        x11 = ([], dict(x11_env, DISPLAY=display, TMPDIR=tmp, SDL_AUDIODRIVER='dummy'))
        for run in range(1, options.show_runs + 1):
            for name, (command, env) in (('wayland', native), ('x11', x11)):
                peak, cpu = measure_show(saver, env, options.show_seconds, command)
                results[name].append((peak, cpu))
                print(f'run {run}, {name}: peak memory (VmHWM) {peak:.1f} MiB, processor '
                      f'{cpu:.2f} % of one core', flush=True)
        for run in range(1, options.start_runs + 1):
            starts.append(measure_start(native[0] + [saver, '/S'], native[1]))
            print(f'start {run} on Wayland: black cover {starts[-1][0] * 1000:.0f} ms, first frame '
                  f'{starts[-1][1] * 1000:.0f} ms', flush=True)
    finally:
        for proc in servers:
            proc.kill()
            proc.wait()
        shutil.rmtree(tmp, ignore_errors=True)
    peak = {name: max(p for p, _ in runs) for name, runs in results.items()}
    cpu = {name: statistics.median(c for _, c in runs) for name, runs in results.items()}
    print(f'\n{options.show_runs} shows of {options.show_seconds:.0f} s each at {options.size}:')
    print('| measure | X11 (Xvfb) | Wayland (sway) | Wayland / X11 |')
    print('|---|---|---|---|')
    print(f'| peak memory (VmHWM, highest) | {peak["x11"]:.1f} MiB | {peak["wayland"]:.1f} MiB | '
          f'{peak["wayland"] / peak["x11"]:.2f} |')
    print(f'| processor (median) | {cpu["x11"]:.2f} % | {cpu["wayland"]:.2f} % | '
          f'{cpu["wayland"] / cpu["x11"]:.2f} |')
    print(f'| start to black cover (median) | | '
          f'{statistics.median(s[0] for s in starts) * 1000:.0f} ms | |')
    print(f'| start to first frame (median) | | '
          f'{statistics.median(s[1] for s in starts) * 1000:.0f} ms | |')
    return 0


if __name__ == '__main__':
    sys.exit(main())
