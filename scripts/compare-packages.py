#!/usr/bin/env python3
"""compare-packages.py A.deb B.deb: names what differs between two Debian packages, piece by
piece: the ar members and their headers, then each tar member's header fields and contents."""
import io, sys, tarfile
def ar(path):   # [(name, header, data)]
    data, i, members = open(path, 'rb').read(), 8, []
    while i < len(data):
        size = int(data[i + 48:i + 58])
        members.append((data[i:i + 16].decode().strip(), data[i + 16:i + 60], data[i + 60:i + 60 + size]))
        i += 60 + size + size % 2
    return members
def tar(blob):  # {path: (header fields, contents)}
    with tarfile.open(fileobj=io.BytesIO(blob)) as t:
        return {m.path: ({k: v for k, v in m.get_info().items() if k != 'chksum'},
                         t.extractfile(m).read() if m.isfile() else b'') for m in t}
a, b = ar(sys.argv[1]), ar(sys.argv[2])
if [m[0] for m in a] != [m[0] for m in b]:
    print('  ar members:', [m[0] for m in a], 'vs', [m[0] for m in b])
for (name, head_a, data_a), (_, head_b, data_b) in zip(a, b):
    if head_a != head_b:
        print(f'  {name}: ar header (time uid gid mode size):',
              ' '.join(head_a.decode().split()[:-1]), 'vs', ' '.join(head_b.decode().split()[:-1]))
    if data_a == data_b:
        continue
    if '.tar' not in name:
        print(f'  {name}: contents')
        continue
    ta, tb = tar(data_a), tar(data_b)
    if list(ta) != list(tb):
        print(f'  {name}: member list or order:', list(ta), 'vs', list(tb))
    same = True
    for path in [p for p in ta if p in tb]:
        for key, value in ta[path][0].items():
            if value != tb[path][0][key]:
                print(f'  {name} {path}: {key} {value!r} vs {tb[path][0][key]!r}')
                same = False
        if ta[path][1] != tb[path][1]:
            print(f'  {name} {path}: contents')
            same = False
    if same and list(ta) == list(tb):
        print(f'  {name}: the compressed stream (gzip header)')
