#!/usr/bin/env python3
"""make-windows-zip.py --out ZIP --version V --readme README.txt FILE...

Writes the Windows release archive: a folder slidesaver-<version>-windows/ holding the given
files and the README (its @VERSION@ filled in, Windows line ends). Two runs over the same files
give the same bytes: entries in a fixed order, every time SOURCE_DATE_EPOCH (else 1980-01-01),
no extra fields."""
import argparse
import os
import time
import zipfile


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--out', required=True)
    parser.add_argument('--version', required=True)
    parser.add_argument('--readme', required=True)
    parser.add_argument('files', nargs='+')
    options = parser.parse_args()
    epoch = int(os.environ.get('SOURCE_DATE_EPOCH', '315532800'))
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip cannot hold a time before 1980
    folder = f'slidesaver-{options.version}-windows/'
    with open(options.readme, encoding='utf-8') as f:
        readme = f.read().replace('@VERSION@', options.version).replace('\n', '\r\n')
    entries = [(folder + 'README.txt', readme.encode('utf-8'))]
    for path in options.files:
        with open(path, 'rb') as f:
            entries.append((folder + os.path.basename(path), f.read()))
    temporary = options.out + '.part'
    with zipfile.ZipFile(temporary, 'w') as archive:
        for name, data in sorted(entries):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # made on "MS-DOS": no Unix permissions
            archive.writestr(info, data, compresslevel=9)
    os.replace(temporary, options.out)
    print(options.out)


if __name__ == '__main__':
    main()
