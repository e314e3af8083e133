#!/usr/bin/env python3
"""What photos cost; see scripts/measure-photos.sh. Prints Markdown tables."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time


def tool(build, relative):
    path = os.path.join(build, relative)
    if not os.access(path, os.X_OK):
        sys.exit(f'measure-photos: {path} is missing; build first')
    return path


def pack(build, out, *args):
    subprocess.run([tool(build, 'tools/slidesaver-pack'), 'build', '--player',
                    tool(build, 'app/slidesaver'), '--out', out, *args],
                   check=True, stdout=subprocess.DEVNULL)


def peak_memory(saver, display, seconds):
    """VmHWM of `saver /S` after `seconds` on the display, in MB."""
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER='dummy')
    env.pop('XDG_RUNTIME_DIR', None)
    proc = subprocess.Popen([saver, '/S'], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        time.sleep(seconds)
        with open(f'/proc/{proc.pid}/status') as f:
            fields = dict(line.split(':', 1) for line in f if ':' in line)
        return int(fields['VmHWM'].split()[0]) / 1024
    finally:
        proc.terminate()
        proc.wait(timeout=10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build-dir', required=True)
    parser.add_argument('--photos', type=int, default=200)
    parser.add_argument('--seconds', type=float, default=10)
    options = parser.parse_args()
    build = os.path.abspath(options.build_dir)
    work = tempfile.mkdtemp(prefix='measure-photos-')
    xvfb = None
    try:
        print(subprocess.run([tool(build, 'bench/photo_bench')], check=True, text=True,
                             stdout=subprocess.PIPE).stdout)

        media = tool(build, 'tools/imagegen/slidesaver-demo-media')
        for name, width, height in (('photo', 4000, 3000), ('large', 6000, 4000),
                                    ('screen', 1920, 1080)):
            subprocess.run([media, os.path.join(work, name), '--count', '3', '--width',
                            str(width), '--height', str(height)], check=True,
                           stdout=subprocess.DEVNULL)
        folder = os.path.join(work, 'folder')
        os.mkdir(folder)
        for i in range(options.photos):  # links: the same three photos over and over
            os.link(os.path.join(work, 'photo', f'demo-0{i % 3 + 1}.jpg'),
                    os.path.join(folder, f'photo-{i:04d}.jpg'))
        before = os.times()
        start = time.monotonic()
        pack(build, os.path.join(work, 'Folder.scr'), '--picture', folder, '--max-size', '1920x1080')
        elapsed = time.monotonic() - start
        after = os.times()
        cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
        print(f'| slidesaver-pack, {options.photos} photos 4000x3000, --max-size 1920x1080 | '
              f'{elapsed:.1f} s | {options.photos / elapsed:.1f} pictures/s | '
              f'processor use {cpu / elapsed:.2f} of {os.cpu_count()} cores |\n')

        display = ':' + str(90 + os.getpid() % 50)
        xvfb = subprocess.Popen(['Xvfb', display, '-screen', '0', '1920x1080x24', '-nolisten', 'tcp'],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        rows = []
        for name, pictures, fit, fill in (
                ('1920x1080 pictures, as authored', 'screen', 'as-authored', 'black'),
                ('6000x4000 photos, fit shrink', 'large', 'shrink', 'black'),
                ('6000x4000 photos, fit shrink, --fill blur', 'large', 'shrink', 'blur')):
            saver = os.path.join(work, f'{pictures}-{fill}.scr')
            pack(build, saver, '--picture', os.path.join(work, pictures), '--fit', fit,
                 '--fill', fill, '--interval', '1500')
            rows.append((name, peak_memory(saver, display, options.seconds)))
        print(f'| saver on 1920x1080, {options.seconds:.0f} s, a picture every 1.5 s | peak memory (VmHWM) |')
        print('|---|---|')
        for name, megabytes in rows:
            print(f'| {name} | {megabytes:.0f} MB |')
        print(f'\nratio: {rows[1][1] / rows[0][1]:.2f}; with the blur fill: '
              f'{rows[2][1] / rows[1][1]:.2f} of the black one '
              f'({rows[2][1] - rows[1][1]:.1f} MB more; a 1920x1080 frame is 5.9 MB)')
    finally:
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
