#!/usr/bin/env python3
"""End-to-end check of the payload reader through `slidesaver-pack inspect`.

The check carries its own writer of component streams and of whole payload files (a fake
player, picture streams, sound blocks, the configuration stream and the 40-byte trailer).
It builds unusual-but-valid payloads and compares the JSON that `inspect` prints with the
record the format defines, field by field; and it builds invalid payloads and compares the
one-line error message and exit status.

    python3 payload_check.py --pack PATH/slidesaver-pack --media PATH/slidesaver-demo-media

Prints one line per case and ends with "N passed, N failed"; exits 1 when a case failed.
Python 3.11 standard library only.
"""

import argparse
import glob
import json
import math
import os
import re
import select
import signal
import struct
import subprocess
import sys
import tempfile

# ---------------------------------------------------------------------------------------------
# Component stream writer: one function per value kind, each returning the kind byte and data.
# ---------------------------------------------------------------------------------------------


def as_bytes(text):
  """Property names, class names and identifiers: ASCII text or raw bytes."""
  return text if isinstance(text, bytes) else text.encode('ascii')


def short_str(text):
  data = as_bytes(text)
  assert len(data) <= 255
  return bytes([len(data)]) + data


def k_null():
  return b'\x00'


def k_list(*values):
  return b'\x01' + b''.join(values) + b'\x00'


def k_int8(n):
  return b'\x02' + struct.pack('<b', n)


def k_int16(n):
  return b'\x03' + struct.pack('<h', n)


def k_int32(n):
  return b'\x04' + struct.pack('<i', n)


def k_int(n):
  """An integer the way writers store it: the smallest of kinds 2, 3 and 4."""
  if -128 <= n <= 127:
    return k_int8(n)
  if -32768 <= n <= 32767:
    return k_int16(n)
  return k_int32(n)


def extended80(x):
  """80-bit extended: 64-bit significand with explicit integer bit, 15-bit exponent, sign."""
  if x == 0:
    return bytes(10)
  sign = 0x8000 if x < 0 else 0
  mantissa, exponent = math.frexp(abs(x))  # abs(x) = mantissa * 2**exponent, 0.5 <= m < 1
  significand = int(mantissa * (1 << 64))
  return struct.pack('<QH', significand, (exponent - 1 + 16383) | sign)


def k_ext(x):
  return b'\x05' + extended80(x)


def k_str(data):
  """Kind 6: bytes as they are; a str is stored in Windows-1252."""
  if isinstance(data, str):
    data = data.encode('cp1252')
  return b'\x06' + short_str(data)


def k_ident(name):
  return b'\x07' + short_str(name)


def k_false():
  return b'\x08'


def k_true():
  return b'\x09'


def k_bool(value):
  return k_true() if value else k_false()


def k_bin(data):
  return b'\x0a' + struct.pack('<i', len(data)) + data


def k_set(*names):
  return b'\x0b' + b''.join(short_str(n) for n in names) + b'\x00'


def k_lstr(data):
  if isinstance(data, str):
    data = data.encode('cp1252')
  return b'\x0c' + struct.pack('<i', len(data)) + data


def k_nil():
  return b'\x0d'


def coll_item(props, index=None):
  """One collection item: optional index value (kind 2, 3 or 4), a kind 1 byte, properties."""
  return (index or b'') + b'\x01' + b''.join(props) + b'\x00'


def k_coll(*items):
  return b'\x0e' + b''.join(items) + b'\x00'


def k_single(x):
  return b'\x0f' + struct.pack('<f', x)


def k_currency(amount_times_10000):
  return b'\x10' + struct.pack('<q', amount_times_10000)


def k_date(days):
  return b'\x11' + struct.pack('<d', days)


def k_wstr(text):
  data = text.encode('utf-16-le')
  return b'\x12' + struct.pack('<i', len(data) // 2) + data


def k_int64(n):
  return b'\x13' + struct.pack('<q', n)


def k_utf8(text):
  data = text.encode('utf-8') if isinstance(text, str) else text
  return b'\x14' + struct.pack('<i', len(data)) + data


def k_text(text):
  """A text the way writers store it: ASCII as kind 6 (<= 255 bytes) or 12, else kind 20."""
  if all(ord(c) < 0x80 for c in text):
    return k_str(text) if len(text) <= 255 else k_lstr(text)
  return k_utf8(text)


def k_claim(kind, length, data=b''):
  """A length-prefixed value whose stored length need not match the data that follows."""
  return bytes([kind]) + struct.pack('<I', length & 0xFFFFFFFF) + data


def prop(name, value):
  return short_str(name) + value


def obj_prefix(flags, position=None):
  out = bytes([0xF0 | flags])
  if flags & 2:
    out += position if isinstance(position, bytes) else k_int(position)
  return out


def obj(cls, props=(), name='', prefix=b'', children=()):
  return (prefix + short_str(cls) + short_str(name) + b''.join(props) + b'\x00' +
          b''.join(children) + b'\x00')


def stream(obj_bytes, signature=b'TPF0'):
  return signature + obj_bytes


def picture_block(jpeg, graphic_class='TJPEGImage', jpeg_size=None, extra=b''):
  """The binary block of "Picture.Data": class name, signed JPEG size, JPEG bytes."""
  size = len(jpeg) if jpeg_size is None else jpeg_size
  return short_str(graphic_class) + struct.pack('<i', size) + jpeg + extra


def picture_stream(jpeg, **block_args):
  """A picture stream exactly as payload writers store it."""
  props = [prop('Left', k_int(0)), prop('Top', k_int(0)), prop('Width', k_int(105)),
           prop('Height', k_int(105)),
           prop('Picture.Data', k_bin(picture_block(jpeg, **block_args)))]
  return stream(obj('TImage', props))


# ---------------------------------------------------------------------------------------------
# Reading rules the check needs for its expectations: integer text, comma lists, JPEG size.
# ---------------------------------------------------------------------------------------------

HEX_DIGITS = set('0123456789abcdefABCDEF')


def int_text(text):
  """Steps 3 to 5 of the integer-text rule (list items)."""
  i = 0
  while i < len(text) and text[i] == ' ':
    i += 1
  negative = False
  if i < len(text) and text[i] in '+-':
    negative = text[i] == '-'
    i += 1
  rest = text[i:]
  for intro in ('0x', '0X', '$', 'x', 'X'):
    if rest.startswith(intro):
      digits = rest[len(intro):]
      if not 1 <= len(digits) <= 8 or not set(digits) <= HEX_DIGITS:
        return 0
      value = int(digits, 16)
      return value - (1 << 32) if value >= 1 << 31 else value
  if not rest or not set(rest) <= set('0123456789'):
    return 0
  value = -int(rest) if negative else int(rest)
  return value if -(1 << 31) <= value < (1 << 31) else 0


def trailer_field_value(raw):
  """The whole integer-text rule for a 20-byte trailer field."""
  text = raw.split(b'\x00', 1)[0]
  start, end = 0, len(text)
  while start < end and text[start] <= 0x20:
    start += 1
  while end > start and text[end - 1] <= 0x20:
    end -= 1
  return int_text(text[start:end].decode('latin-1'))


def field(text):
  """A trailer field: text (str or bytes) padded on the right with spaces to 20 bytes."""
  data = as_bytes(text)
  assert len(data) <= 20
  return data + b' ' * (20 - len(data))


def parse_comma_list(text):
  items = []
  i, n = 0, len(text)

  def skip_blanks(i):
    while i < n and 1 <= ord(text[i]) <= 32:
      i += 1
    return i

  i = skip_blanks(0)
  while i < n:
    if text[i] == '"':
      i += 1
      chars = []
      while i < n:
        if text[i] == '"':
          if i + 1 < n and text[i + 1] == '"':
            chars.append('"')
            i += 2
            continue
          i += 1
          break
        chars.append(text[i])
        i += 1
      item = ''.join(chars)
    else:
      start = i
      while i < n and text[i] != ',' and ord(text[i]) > 32:
        i += 1
      item = text[start:i]
    items.append(item)
    i = skip_blanks(i)
    if i < n and text[i] == ',':
      if i == n - 1:
        items.append('')
      i = skip_blanks(i + 1)
  return items


def write_comma_list(items):
  if len(items) == 1 and items[0] == '':
    return '""'
  out = []
  for item in items:
    if any(ord(c) <= 32 or c in '",' for c in item):
      item = '"' + item.replace('"', '""') + '"'
    out.append(item)
  return ','.join(out)


SOF_MARKERS = set(range(0xC0, 0xD0)) - {0xC4, 0xC8, 0xCC}


def jpeg_size(data):
  """(width, height) from the first SOF marker segment of a JPEG file."""
  if data[:2] != b'\xff\xd8':
    raise ValueError('not a JPEG file')
  pos = 2
  while pos + 4 <= len(data):
    if data[pos] != 0xFF:
      raise ValueError('bad JPEG marker at %d' % pos)
    marker = data[pos + 1]
    if marker == 0xFF:
      pos += 1
      continue
    if marker == 0x01 or 0xD0 <= marker <= 0xD7:
      pos += 2
      continue
    length = struct.unpack('>H', data[pos + 2:pos + 4])[0]
    if marker in SOF_MARKERS:
      height, width = struct.unpack('>HH', data[pos + 5:pos + 9])
      return width, height
    pos += 2 + length
  raise ValueError('no SOF marker')


# ---------------------------------------------------------------------------------------------
# The record a configuration stream should produce, and the builder that writes both at once.
# ---------------------------------------------------------------------------------------------

LIST_PROPS = ['PicCommaList', 'PicFileNamesCommaList', 'SndCommaList', 'SndFileNamesCommaList',
              'SndSizesCommaList', 'DescriptCommaList']
BOOL_PROPS = ['lRandomStyle', 'lRandomPic', 'lClearOldImage', 'lSoundLoop', 'lMute']
DECLARED = (['Text', 'TextFont', 'lRandomStyle', 'lRandomPic', 'lClearOldImage', 'Interval',
             'SoundRandom', 'lSoundLoop', 'lMute', 'Title', 'Author', 'Email', 'Web'] + LIST_PROPS)
STYLE_ORDER = ['fsBold', 'fsItalic', 'fsUnderline', 'fsStrikeOut']
PITCHES = ['fpDefault', 'fpVariable', 'fpFixed']

RGB_COLOURS = {
    'clBlack': 0x000000, 'clMaroon': 0x000080, 'clGreen': 0x008000, 'clOlive': 0x008080,
    'clNavy': 0x800000, 'clPurple': 0x800080, 'clTeal': 0x808000, 'clGray': 0x808080,
    'clSilver': 0xC0C0C0, 'clRed': 0x0000FF, 'clLime': 0x00FF00, 'clYellow': 0x00FFFF,
    'clBlue': 0xFF0000, 'clFuchsia': 0xFF00FF, 'clAqua': 0xFFFF00, 'clWhite': 0xFFFFFF,
    'clMoneyGreen': 0xC0DCC0, 'clSkyBlue': 0xF0CAA6, 'clCream': 0xF0FBFF, 'clMedGray': 0xA4A0A0}
SYSTEM_COLOURS = [
    'clScrollBar', 'clBackground', 'clActiveCaption', 'clInactiveCaption', 'clMenu', 'clWindow',
    'clWindowFrame', 'clMenuText', 'clWindowText', 'clCaptionText', 'clActiveBorder',
    'clInactiveBorder', 'clAppWorkSpace', 'clHighlight', 'clHighlightText', 'clBtnFace',
    'clBtnShadow', 'clGrayText', 'clBtnText', 'clInactiveCaptionText', 'clBtnHighlight',
    'cl3DDkShadow', 'cl3DLight', 'clInfoText', 'clInfoBk']
COLOURS = dict(RGB_COLOURS)
COLOURS.update({name: 0x80000000 + i for i, name in enumerate(SYSTEM_COLOURS)})
COLOURS.update({'clGradientActiveCaption': 0x8000001B, 'clGradientInactiveCaption': 0x8000001C,
                'clNone': 0x1FFFFFFF, 'clDefault': 0x20000000})
CHARSETS = {
    'ANSI_CHARSET': 0, 'DEFAULT_CHARSET': 1, 'SYMBOL_CHARSET': 2, 'MAC_CHARSET': 77,
    'SHIFTJIS_CHARSET': 128, 'HANGEUL_CHARSET': 129, 'JOHAB_CHARSET': 130, 'GB2312_CHARSET': 134,
    'CHINESEBIG5_CHARSET': 136, 'GREEK_CHARSET': 161, 'TURKISH_CHARSET': 162,
    'HEBREW_CHARSET': 177, 'ARABIC_CHARSET': 178, 'BALTIC_CHARSET': 186, 'RUSSIAN_CHARSET': 204,
    'THAI_CHARSET': 222, 'EASTEUROPE_CHARSET': 238, 'OEM_CHARSET': 255}


def round_half_away(x):
  return int(math.floor(abs(x) + 0.5)) * (1 if x >= 0 else -1)


def size_from_height(height):
  return round_half_away(-height * 72 / 96)


def height_from_size(size):
  return round_half_away(-size * 96 / 72)


class ConfigRecord:
  """The values a configuration record holds after reading, in the JSON form of `inspect`."""

  def __init__(self):
    self.values = {'Text': '', 'Interval': 0, 'SoundRandom': 0,
                   'Title': '', 'Author': '', 'Email': '', 'Web': ''}
    self.values.update({name: False for name in BOOL_PROPS})
    self.font = {'Name': 'MS Sans Serif', 'Height': height_from_size(8), 'Size': 8,
                 'Color': COLOURS['clWindowText'], 'Charset': 1, 'Pitch': 'fpDefault',
                 'Style': []}
    self.lists = {name: [] for name in LIST_PROPS}

  def apply(self, key, value):
    """Sets what storing `value` under property `key` (declared spelling) sets."""
    if key in LIST_PROPS:
      self.lists[key] = parse_comma_list(value)
    elif key == 'TextFont.Height':
      self.font['Height'] = value
      self.font['Size'] = size_from_height(value)
    elif key == 'TextFont.Size':
      self.font['Height'] = height_from_size(value)
      self.font['Size'] = size_from_height(self.font['Height'])
      assert self.font['Size'] == value, 'pick a size that survives the height round trip'
    elif key == 'TextFont.Style':
      self.font['Style'] = [s for s in STYLE_ORDER if s in value]
    elif key == 'TextFont.Color':
      self.font['Color'] = value & 0xFFFFFFFF
    elif key.startswith('TextFont.'):
      self.font[key[len('TextFont.'):]] = value
    else:
      assert key in self.values, key
      self.values[key] = value

  def to_json(self):
    out = dict(self.values)
    out['TextFont'] = dict(self.font)
    out.update({name: write_comma_list(items) for name, items in self.lists.items()})
    return out


def writer_props(values):
  """Property entries for `values` (declared names) in declared order, in writer encodings,
  paired with the effect each has on the record."""
  entries = []
  for name in DECLARED:
    if name == 'TextFont':
      font = values.get('TextFont')
      if not font:
        continue
      for sub in ('Charset', 'Color', 'Height', 'Name', 'Pitch', 'Style'):
        if sub not in font:
          continue
        v = font[sub]
        key = 'TextFont.' + sub
        if sub == 'Charset':
          names = [n for n, c in CHARSETS.items() if c == v]
          encoded = k_ident(names[0]) if names else k_int(v)
        elif sub == 'Color':
          names = [n for n, c in COLOURS.items() if c == v & 0xFFFFFFFF]
          signed = struct.unpack('<i', struct.pack('<I', v & 0xFFFFFFFF))[0]
          encoded = k_ident(names[0]) if names else k_int(signed)
        elif sub == 'Height':
          encoded = k_int(v)
        elif sub == 'Name':
          encoded = k_text(v)
        elif sub == 'Pitch':
          encoded = k_ident(v)
        else:
          encoded = k_set(*v)
        entries.append((key, encoded, v))
      continue
    if name not in values:
      continue
    v = values[name]
    if name in BOOL_PROPS:
      encoded = k_bool(v)
    elif name in ('Interval', 'SoundRandom'):
      encoded = k_int(v)
    elif v == '':
      continue  # empty texts are not stored
    else:
      encoded = k_text(v)
    entries.append((name, encoded, v))
  return entries


class ConfigStream:
  """A configuration stream under construction, with the record reading it should give."""

  def __init__(self, cls='TSSFileLocations', name='', prefix=b''):
    self.cls, self.name, self.prefix = cls, name, prefix
    self.props = []
    self.children = []
    self.record = ConfigRecord()

  def put(self, stored_name, value, effect=None):
    """Stores a property entry; `effect` is (declared key, value) or None for no effect."""
    self.props.append(prop(stored_name, value))
    if effect is not None:
      self.record.apply(*effect)
    return self

  def writer(self, values):
    for key, encoded, v in writer_props(values):
      self.put(key, encoded, (key, v))
    return self

  def to_bytes(self):
    return stream(obj(self.cls, self.props, self.name, self.prefix, self.children))


# ---------------------------------------------------------------------------------------------
# Whole payload files.
# ---------------------------------------------------------------------------------------------


def fake_player(length, tail=b''):
  """Bytes standing in for the player image; they never start with "TPF0"."""
  body = bytes((i * 7 + 3) & 0xFF for i in range(length - len(tail)))
  return b'\x7fELF' + body[4:] + tail


class Payload:
  """A player image followed by blocks, the configuration stream and the trailer."""

  def __init__(self, player):
    self.data = bytearray(player)
    self.player_length = len(player)
    self.pictures = {}  # offset -> expected picture entry (without the offset)

  def offset(self):
    return len(self.data)

  def add(self, block):
    at = len(self.data)
    self.data += block
    return at

  def add_picture(self, picture_bytes, width, height, jpeg_bytes):
    at = self.add(picture_bytes)
    self.pictures[at] = {'width': width, 'height': height, 'jpeg_bytes': jpeg_bytes}
    return at

  def add_jpeg_picture(self, jpeg):
    width, height = jpeg_size(jpeg)
    data = picture_stream(jpeg)
    assert len(data) == len(jpeg) + 77, 'the writer must make picture streams 77 bytes longer'
    return self.add_picture(data, width, height, len(jpeg))

  def finish(self, config, field1=None, field2=None):
    """Appends the configuration stream and the trailer; returns (file bytes, expectation).

    field1 and field2 turn the true value into the 20 trailer bytes (canonical by default)."""
    config_offset = len(self.data)
    self.data += config.to_bytes()
    payload_size = len(self.data) - self.player_length
    raw1 = (field1 or (lambda v: field(str(v))))(payload_size)
    raw2 = (field2 or (lambda v: field(str(v))))(config_offset)
    assert len(raw1) == 20 and len(raw2) == 20
    self.data += raw1 + raw2
    return bytes(self.data), self.expect(config.record, raw1, raw2)

  def expect(self, record, raw1, raw2):
    size = len(self.data)
    payload_size = trailer_field_value(raw1)
    pictures = []
    for item in record.lists['PicCommaList']:
      at = int_text(item)
      if at not in self.pictures:
        return None  # an error case: the caller states the expected failure itself
      entry = {'offset': at}
      entry.update(self.pictures[at])
      pictures.append(entry)
    lists = record.lists
    count = len(lists['SndCommaList'])
    if len(lists['SndSizesCommaList']) < count or len(lists['SndFileNamesCommaList']) < count:
      return Fails('Index is out of bounds')
    sounds = [{'offset': int_text(lists['SndCommaList'][i]),
               'size': int_text(lists['SndSizesCommaList'][i]),
               'name': lists['SndFileNamesCommaList'][i]} for i in range(count)]
    return Succeeds({'payload_size': payload_size, 'config_offset': trailer_field_value(raw2),
                     'payload_start': size - 40 - payload_size, 'config': record.to_json(),
                     'pictures': pictures, 'sounds': sounds})


# ---------------------------------------------------------------------------------------------
# Expectations and the runner.
# ---------------------------------------------------------------------------------------------

MEMORY_LIMIT_KB = 256 * 1024
TIMEOUT_SECONDS = 20


class Succeeds:
  def __init__(self, json_object):
    self.json = json_object

  def check(self, result):
    if result.status != 0:
      return ['expected exit 0, got %s; stderr: %r' % (result.status, result.stderr.strip())]
    actual, problems = parse_json_output(result)
    return problems or json_diff(self.json, actual, '')


def parse_json_output(result):
  """(object, []) when stdout is one JSON object in valid UTF-8, else (None, [problem])."""
  try:
    parsed = json.loads(result.stdout_bytes.decode('utf-8'))
  except ValueError as error:
    return None, ['stdout is not UTF-8 JSON (%s): %r' % (error, result.stdout_bytes[:200])]
  if not isinstance(parsed, dict):
    return None, ['stdout is not a JSON object: %r' % result.stdout_bytes[:200]]
  return parsed, []


class Fails:
  """Exit status 1 and exactly one stderr line: `text`, or a line matching one of `patterns`;
  with neither given, any non-empty single line."""

  def __init__(self, text=None, patterns=()):
    self.texts = [text] if text else []
    self.patterns = list(patterns)

  def describe(self):
    return ' | '.join([repr(t) for t in self.texts] + ['/%s/' % p for p in self.patterns]) or \
        'any single line'

  def check(self, result):
    problems = []
    if result.status != 1:
      problems.append('expected exit 1, got %s' % result.status)
    line = result.stderr[:-1] if result.stderr.endswith('\n') else result.stderr
    if not line or '\n' in line:
      problems.append('expected one non-empty stderr line, got %r' % result.stderr[:300])
    elif self.texts or self.patterns:
      if line not in self.texts and not any(re.fullmatch(p, line) for p in self.patterns):
        problems.append('stderr %r, expected %s' % (line, self.describe()))
    return problems


class Survives:
  """Undefined outcome: exit 0 with a JSON object, or exit 1 with one non-empty stderr line;
  no crash and no hang."""

  def check(self, result):
    if result.status == 0:
      return parse_json_output(result)[1]
    return Fails().check(result) if result.status == 1 else \
        ['expected exit 0 or 1, got %s; stderr: %r' % (result.status, result.stderr[-300:])]


class SucceedsOrFails:
  """A choice left to the reader: either the given JSON, or exit 1 with one line."""

  def __init__(self, json_object):
    self.json = json_object

  def check(self, result):
    return Succeeds(self.json).check(result) if result.status == 0 else Fails().check(result)


def json_diff(expected, actual, path):
  if isinstance(expected, dict):
    if not isinstance(actual, dict):
      return ['%s: expected an object, got %r' % (path or '.', actual)]
    out = []
    for key, value in expected.items():
      if key not in actual:
        out.append('%s.%s: missing' % (path, key))
      else:
        out += json_diff(value, actual[key], '%s.%s' % (path, key))
    return out
  if isinstance(expected, list):
    if not isinstance(actual, list):
      return ['%s: expected a list, got %r' % (path, actual)]
    if len(expected) != len(actual):
      return ['%s: expected %d entries %r, got %d %r' % (path, len(expected), expected,
                                                         len(actual), actual)]
    out = []
    for i, (e, a) in enumerate(zip(expected, actual)):
      out += json_diff(e, a, '%s[%d]' % (path, i))
    return out
  if type(expected) is not type(actual) or expected != actual:
    return ['%s: expected %r, got %r' % (path, expected, actual)]
  return []


class Result:
  def __init__(self, status, stdout_bytes, stderr, max_rss_kb):
    self.status, self.stdout_bytes, self.stderr = status, stdout_bytes, stderr
    self.max_rss_kb = max_rss_kb


class Checker:
  def __init__(self, pack, workdir, keep_dir):
    self.pack, self.workdir, self.keep_dir = pack, workdir, keep_dir
    self.passed = self.failed = 0

  def inspect(self, data):
    path = os.path.join(self.workdir, 'payload.bin')
    out_path = os.path.join(self.workdir, 'stdout.txt')
    err_path = os.path.join(self.workdir, 'stderr.txt')
    with open(path, 'wb') as f:
      f.write(data)
    flags = os.O_WRONLY | os.O_CREAT | os.O_TRUNC
    actions = [(os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, out_path, flags, 0o644),
               (os.POSIX_SPAWN_OPEN, 2, err_path, flags, 0o644)]
    pid = os.posix_spawn(self.pack, [self.pack, 'inspect', path], os.environ,
                         file_actions=actions)
    pidfd = os.pidfd_open(pid)  # readable once the child has ended
    try:
      ended = select.select([pidfd], [], [], TIMEOUT_SECONDS)[0]
      if not ended:
        os.kill(pid, signal.SIGKILL)  # still our unreaped child: the pid cannot be reused yet
      _, wait_status, usage = os.wait4(pid, 0)
    finally:
      os.close(pidfd)
    if not ended:
      wait_status = None
    with open(out_path, 'rb') as f:
      stdout = f.read()
    with open(err_path, 'rb') as f:
      stderr = f.read().decode('utf-8', 'replace')
    if wait_status is None:
      status = 'timeout after %d s' % TIMEOUT_SECONDS
    elif os.WIFSIGNALED(wait_status):
      status = 'signal %d' % os.WTERMSIG(wait_status)
    else:
      status = os.WEXITSTATUS(wait_status)
    return Result(status, stdout, stderr, usage.ru_maxrss)

  def case(self, name, data, expectation, max_rss_kb=None):
    result = self.inspect(data)
    problems = expectation.check(result)
    if max_rss_kb is not None and result.max_rss_kb > max_rss_kb:
      problems.append('used %d MB of memory' % (result.max_rss_kb // 1024))
    if problems:
      self.failed += 1
      print('FAIL %s: %s' % (name, '; '.join(problems)), flush=True)
      if self.keep_dir:
        safe = re.sub(r'[^A-Za-z0-9_.-]+', '_', name)
        with open(os.path.join(self.keep_dir, safe + '.bin'), 'wb') as f:
          f.write(data)
    else:
      self.passed += 1
      print('PASS %s' % name, flush=True)


# ---------------------------------------------------------------------------------------------
# Cases.
# ---------------------------------------------------------------------------------------------


class Media:
  def __init__(self, tool, workdir):
    out = os.path.join(workdir, 'media')
    subprocess.run([tool, out], check=True, stdout=subprocess.DEVNULL)
    paths = sorted(glob.glob(os.path.join(out, 'demo-*.jpg')))
    if not paths:
      raise SystemExit('%s wrote no demo-*.jpg into %s' % (tool, out))
    self.jpegs = []
    for path in paths:
      with open(path, 'rb') as f:
        self.jpegs.append(f.read())
    with open(os.path.join(out, 'melody.wav'), 'rb') as f:
      self.melody = f.read()

  def jpeg(self, i):
    return self.jpegs[i % len(self.jpegs)]


PLAYER = fake_player(1000)


def one_picture_payload(media, player=PLAYER):
  payload = Payload(player)
  at = payload.add_jpeg_picture(media.jpeg(0))
  return payload, at


def writer_form_cases(check, media):
  """Payloads exactly as writers lay them out."""
  payload = Payload(PLAYER)
  pics = [payload.add_jpeg_picture(media.jpeg(i)) for i in range(min(3, len(media.jpegs)))]
  midi = b'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk' + bytes(range(200))
  sounds = [(payload.add(midi), len(midi), 'intro.mid'),
            (payload.add(media.melody), len(media.melody), 'Main Theme.wav')]
  values = {
      'Text': 'Happy holidays', 'TextFont': {'Charset': 1, 'Color': COLOURS['clYellow'],
                                             'Height': -32, 'Name': 'Arial',
                                             'Pitch': 'fpDefault', 'Style': ['fsBold']},
      'lRandomStyle': True, 'lRandomPic': False, 'lClearOldImage': True, 'Interval': 5000,
      'SoundRandom': 1, 'lSoundLoop': True, 'lMute': False, 'Title': 'Winter',
      'Author': 'A. Writer', 'Email': 'a@example.org', 'Web': 'http://example.org/',
      'PicCommaList': ','.join(str(p) for p in pics),
      'PicFileNamesCommaList': ','.join('demo-%02d.jpg' % (i + 1) for i in range(len(pics))),
      'SndCommaList': ','.join(str(s[0]) for s in sounds),
      'SndFileNamesCommaList': 'intro.mid,"Main Theme.wav"',
      'SndSizesCommaList': ','.join(str(s[1]) for s in sounds),
      'DescriptCommaList': ','.join('"Picture %d"' % (i + 1) for i in range(len(pics)))}
  config = ConfigStream().writer(values)
  data, expected = payload.finish(config)
  check.case('writer form: %d pictures, 2 sounds, every property' % len(pics), data, expected)

  payload, at = one_picture_payload(media)
  config = ConfigStream().writer({'Interval': 3000, 'PicCommaList': str(at), 'Title': 'One'})
  data, expected = payload.finish(config)
  assert expected.json['payload_size'] == len(picture_stream(media.jpeg(0))) + len(
      config.to_bytes())
  check.case('writer form: one picture, no sounds, no Text (payload = picture + config)', data,
             expected)

  payload = Payload(PLAYER)
  data, expected = payload.finish(ConfigStream().writer({'Interval': 1, 'lMute': True}))
  check.case('zero pictures, zero sounds', data, expected)


def letter_case_cases(check, media):
  payload = Payload(PLAYER)
  jpeg = media.jpeg(1)
  width, height = jpeg_size(jpeg)
  pic = stream(obj('timage', [prop('LEFT', k_int(0)), prop('top', k_int(0)),
                              prop('wIdTh', k_int(105)), prop('HEIGHT', k_int(105)),
                              prop('picture.data', k_bin(picture_block(jpeg)))]))
  at = payload.add_picture(pic, width, height, len(jpeg))
  config = ConfigStream(cls='tssfilelocations')
  config.put('text', k_str('caption'), ('Text', 'caption'))
  config.put('textfont.height', k_int8(-16), ('TextFont.Height', -16))
  config.put('TEXTFONT.COLOR', k_ident('clRed'), ('TextFont.Color', COLOURS['clRed']))
  config.put('TextFont.name', k_str('Verdana'), ('TextFont.Name', 'Verdana'))
  config.put('lrandomstyle', k_true(), ('lRandomStyle', True))
  config.put('LRANDOMPIC', k_true(), ('lRandomPic', True))
  config.put('interval', k_int16(4000), ('Interval', 4000))
  config.put('soundRANDOM', k_int8(3), ('SoundRandom', 3))
  config.put('LMUTE', k_true(), ('lMute', True))
  config.put('title', k_str('lower'), ('Title', 'lower'))
  config.put('piccommalist', k_str(str(at)), ('PicCommaList', str(at)))
  config.put('DESCRIPTCOMMALIST', k_str('x'), ('DescriptCommaList', 'x'))
  data, expected = payload.finish(config)
  check.case('lower and mixed case class and property names', data, expected)


def unknown_value_samples():
  """Unknown properties holding every value kind, nested lists and collections among them."""
  nested = k_int8(7)
  for depth in range(20):
    nested = k_list(k_str('level %d' % depth), nested, k_ident('x'))
  collection = k_coll(
      coll_item([prop('A', k_int8(1)), prop('B', k_str('b'))]),
      coll_item([prop('C', k_list(k_int8(2), k_set('s')))], index=k_int8(1)),
      coll_item([], index=k_int16(300)),
      coll_item([prop('D', k_coll(coll_item([prop('E', k_ext(1.0))], index=k_int32(70000))))],
                index=k_int32(2)))
  return [
      prop('UNull', k_null()),
      prop('UList', k_list(k_int8(1), k_str('x'), k_list(k_ident('clRed'), k_list()),
                           k_bin(b'\x00\x01'), k_int64(-1), k_ext(-2.5))),
      prop('UInt8', k_int8(-5)), prop('UInt16', k_int16(-300)), prop('UInt32', k_int32(1 << 30)),
      prop('UExt', k_ext(3.14159)), prop('UStr', k_str('hello')), prop('UIdent', k_ident('clRed')),
      prop('UFalse', k_false()), prop('UTrue', k_true()),
      prop('UBin', k_bin(bytes(range(256)) * 3)),
      prop('USet', k_set('fsBold', 'fsItalic', 'whatever')),
      prop('ULStr', k_lstr(b'\x00x' * 200)), prop('UNil', k_nil()), prop('UColl', collection),
      prop('USingle', k_single(1.25)), prop('UCurrency', k_currency(123456)),
      prop('UDate', k_date(45000.5)), prop('UWide', k_wstr('wide \u2713 \U0001F600')),
      prop('UInt64', k_int64(1 << 40)), prop('UUtf8', k_utf8('\u00fctf8')),
      prop('UNested', nested),
      prop('UEmptyList', k_list()), prop('UEmptyColl', k_coll()), prop('UEmptySet', k_set()),
      prop('Foo.Bar', k_int8(1)), prop('TextFont.Bogus', k_set('x')),
      prop('TextFont.Bogus.Deeper', k_int8(1)), prop('Nope.Interval', k_int8(9)),
      prop('Interval2', k_str('not the interval')), prop('X' * 255, k_int8(1))]


def unknown_property_cases(check, media):
  payload, at = one_picture_payload(media)
  known = writer_props({
      'Text': 'shown', 'TextFont': {'Color': 255, 'Height': -21, 'Name': 'Tahoma'},
      'lRandomPic': True, 'Interval': 2500, 'SoundRandom': 2, 'lMute': True, 'Title': 'T',
      'Web': 'w', 'PicCommaList': str(at)})
  unknown = unknown_value_samples()
  config = ConfigStream()
  for i, entry in enumerate(unknown):
    config.props.append(entry)
    if i % 2 == 1 and known:
      key, encoded, v = known.pop(0)
      config.put(key, encoded, (key, v))
  for key, encoded, v in known:
    config.put(key, encoded, (key, v))
  config.props.append(prop('UTail', k_list(k_list(k_list()))))
  data, expected = payload.finish(config)
  check.case('unknown properties of every kind before, between and after known ones', data,
             expected)

  # Each kind on its own directly in front of Interval, so a wrong skip length shows at once.
  for entry in unknown:
    config = ConfigStream().put('Interval', k_int16(1234), ('Interval', 1234))
    config.props.insert(0, entry)
    config.put('lMute', k_true(), ('lMute', True))
    payload = Payload(PLAYER)
    data, expected = payload.finish(config)
    name = entry[1:1 + entry[0]].decode('ascii')
    check.case('unknown property %s skipped before Interval' % name[:20], data, expected)


def text_kind_cases(check, media):
  payload = Payload(PLAYER)
  config = ConfigStream()
  config.put('Text', k_utf8('Gr\u00fc\u00dfe \U0001F600'), ('Text', 'Gr\u00fc\u00dfe \U0001F600'))
  config.put('Title', k_str(b'Caf\xe9 \x80 5'), ('Title', 'Caf\u00e9 \u20ac 5'))
  config.put('Author', k_lstr(b'A' * 300 + b'\xe9\x80'), ('Author', 'A' * 300 + '\u00e9\u20ac'))
  config.put('Email', k_wstr('m\u00e9@ex\u00e4mple.org \U0001F600'),
             ('Email', 'm\u00e9@ex\u00e4mple.org \U0001F600'))
  config.put('Web', k_utf8(b'\xc3\xbc'), ('Web', '\u00fc'))
  config.put('TextFont.Name', k_str(b'\xc3\xbc'), ('TextFont.Name', '\u00c3\u00bc'))
  data, expected = payload.finish(config)
  check.case('texts as kinds 20, 6 (Windows-1252), 12, 18; UTF-8 pair as kind 6 and 20', data,
             expected)

  payload = Payload(PLAYER)
  config = ConfigStream()
  config.put('Text', k_lstr(b'short long string \x93q\x94'),
             ('Text', 'short long string \u201cq\u201d'))
  config.put('Title', k_wstr(''), ('Title', ''))
  config.put('Author', k_utf8('plain ascii'), ('Author', 'plain ascii'))
  config.put('Email', k_str(''), ('Email', ''))
  config.put('TextFont.Name', k_wstr('\u5b8b\u4f53'), ('TextFont.Name', '\u5b8b\u4f53'))
  config.put('DescriptCommaList', k_str(b'caf\xe9,"a b"'), ('DescriptCommaList', 'caf\u00e9,"a b"'))
  config.put('Web', k_str('x' * 255), ('Web', 'x' * 255))
  data, expected = payload.finish(config)
  check.case('texts: kind 12 short, empty kinds 18 and 6, kind 18 CJK, 255-byte kind 6', data,
             expected)

  config = ConfigStream()
  escapes = 'line1\nline2 "quoted" back\\slash \t tab \x01 \x7f'
  config.put('Text', k_str(escapes), ('Text', escapes))
  config.put('Title', k_str(b'a\x00b'), ('Title', 'a\x00b'))
  config.put('Web', k_lstr(b'w' * 70000), ('Web', 'w' * 70000))
  config.put('Author', k_utf8('\u00e9' * 40000), ('Author', '\u00e9' * 40000))
  data, expected = Payload(PLAYER).finish(config)
  check.case('texts with characters JSON must escape, a zero byte, 70000-byte kinds 12 and 20',
             data, expected)

  for name, encoded in (('invalid UTF-8 in a kind 20 text', k_utf8(b'ab\xc3(\xff\xfe')),
                        ('a lone UTF-16 surrogate in a kind 18 text',
                         b'\x12' + struct.pack('<i', 2) + b'\x3d\xd8a\x00'),
                        ('bytes 0x81 0x8D 0x8F 0x90 0x9D in a kind 6 text',
                         k_str(b'x\x81\x8d\x8f\x90\x9dy'))):
    config = ConfigStream().put('Title', encoded).put('Interval', k_int8(3))
    data, _ = Payload(PLAYER).finish(config)
    check.case('%s (valid JSON or one error line)' % name, data, Survives())


def font_cases(check, media):
  def font_case(name, *entries):
    config = ConfigStream()
    for stored, encoded, effect in entries:
      config.put(stored, encoded, effect)
    data, expected = Payload(PLAYER).finish(config)
    check.case(name, data, expected)

  for ident, value in COLOURS.items():
    font_case('TextFont.Color identifier %s' % ident,
              ('TextFont.Color', k_ident(ident), ('TextFont.Color', value)))
  font_case('TextFont.Color identifiers lower case (clyellow, CLWINDOWTEXT)',
            ('TextFont.Color', k_ident('CLWINDOWTEXT'), ('TextFont.Color', 0x80000008)),
            ('TextFont.Color', k_ident('clyellow'), ('TextFont.Color', 0xFFFF)))
  for encoded, value in ((k_int16(255), 255), (k_int32(0x123456), 0x123456),
                         (k_int32(-2147483640), 2147483656), (k_int8(-1), 0xFFFFFFFF),
                         (k_int8(0), 0)):
    font_case('TextFont.Color as plain int %d' % value,
              ('TextFont.Color', encoded, ('TextFont.Color', value)))
  for ident, value in CHARSETS.items():
    font_case('TextFont.Charset identifier %s' % ident,
              ('TextFont.Charset', k_ident(ident), ('TextFont.Charset', value)))
  font_case('TextFont.Charset lower-case identifier and plain int',
            ('TextFont.Charset', k_ident('russian_charset'), ('TextFont.Charset', 204)),
            ('TextFont.Height', k_int8(-11), ('TextFont.Height', -11)),
            ('TextFont.Name', k_str('A'), ('TextFont.Name', 'A')),
            ('textfont.charset', k_int16(200), ('TextFont.Charset', 200)))
  for height, size in ((-32, 24), (-13, 10), (-12, 9), (20, -15), (-96, 72)):
    font_case('TextFont.Height %d gives Size %d' % (height, size),
              ('TextFont.Height', k_int(height), ('TextFont.Height', height)))
  font_case('TextFont.Size stored instead of Height (12 -> Height -16)',
            ('TextFont.Size', k_int8(12), ('TextFont.Size', 12)))
  font_case('TextFont.Height -32 then a stored Size 9 (Height -12)',
            ('TextFont.Height', k_int8(-32), ('TextFont.Height', -32)),
            ('TextFont.Size', k_int8(9), ('TextFont.Size', 9)))
  font_case('TextFont.Size 12 then Height -32 (the later one wins)',
            ('TextFont.Size', k_int8(12), ('TextFont.Size', 12)),
            ('TextFont.Height', k_int8(-32), ('TextFont.Height', -32)))
  font_case('TextFont.Style with an unknown element, stored out of order',
            ('TextFont.Style', k_set('fsStrikeOut', 'fsBogus', 'fsBold', 'fsUnderline'),
             ('TextFont.Style', ['fsStrikeOut', 'fsBold', 'fsUnderline'])))
  font_case('TextFont.Style all four, then an empty set',
            ('TextFont.Style', k_set(*STYLE_ORDER), ('TextFont.Style', STYLE_ORDER)),
            ('TextFont.Style', k_set(), ('TextFont.Style', [])))
  for stored, pitch in (('fpFixed', 'fpFixed'), ('fpvariable', 'fpVariable'),
                        ('FPDEFAULT', 'fpDefault')):
    font_case('TextFont.Pitch identifier %s' % stored,
              ('TextFont.Pitch', k_ident(stored), ('TextFont.Pitch', pitch)))


def boolean_and_order_cases(check, media):
  config = ConfigStream()
  config.put('lRandomStyle', k_true(), ('lRandomStyle', True))
  config.put('lRandomPic', k_ident('True'), ('lRandomPic', True))
  config.put('lClearOldImage', k_false(), ('lClearOldImage', False))
  config.put('lSoundLoop', k_ident('True'), ('lSoundLoop', True))
  config.put('lMute', k_true(), ('lMute', True))
  config.put('lMute', k_ident('False'), ('lMute', False))
  config.put('lClearOldImage', k_ident('True'), ('lClearOldImage', True))
  config.put('lRandomStyle', k_ident('False'), ('lRandomStyle', False))
  data, expected = Payload(PLAYER).finish(config)
  check.case('booleans as kinds 8/9 and identifiers True/False, later entries win', data,
             expected)

  payload, at = one_picture_payload(media)
  sound_at = payload.add(b'RIFF....WAVE' * 10)
  entries = writer_props({
      'Text': 'reverse', 'TextFont': {'Charset': 0, 'Color': 0xFF00, 'Height': -24,
                                      'Name': 'Georgia', 'Pitch': 'fpVariable',
                                      'Style': ['fsItalic', 'fsUnderline']},
      'lRandomStyle': True, 'lRandomPic': True, 'lClearOldImage': True, 'Interval': 100000,
      'SoundRandom': -7, 'lSoundLoop': True, 'lMute': True, 'Title': 'a', 'Author': 'b',
      'Email': 'c', 'Web': 'd', 'PicCommaList': str(at), 'PicFileNamesCommaList': 'p.jpg',
      'SndCommaList': str(sound_at), 'SndFileNamesCommaList': 's.wav',
      'SndSizesCommaList': '120', 'DescriptCommaList': 'desc'})
  config = ConfigStream()
  for key, encoded, v in reversed(entries):
    config.put(key, encoded, (key, v))
  data, expected = payload.finish(config)
  check.case('every property stored, in reverse declaration order', data, expected)

  config = ConfigStream()
  config.put('Interval', k_int32(-2147483648), ('Interval', -2147483648))
  config.put('SoundRandom', k_int32(2147483647), ('SoundRandom', 2147483647))
  config.put('Interval', k_int16(-2), ('Interval', -2))
  data, expected = Payload(PLAYER).finish(config)
  check.case('integers at the 32-bit limits and a repeated property', data, expected)


def trailer_cases(check, media):
  variants = [
      ('leading spaces / trailing tabs',
       lambda v: field('   %d' % v), lambda v: field('%d\t\t' % v)),
      ('tabs and spaces on both sides',
       lambda v: field('\t %d \t' % v), lambda v: field(' \t%d\t ' % v)),
      ('"$"-hex and "0x"-hex',
       lambda v: field('$%X' % v), lambda v: field('0x%x' % v)),
      ('"x"-hex and "0X"-hex mixed case',
       lambda v: field('x%x' % v), lambda v: field('0X%s' % ('%x' % v).upper())),
      ('a zero byte after the digits, then other characters',
       lambda v: field(b'%d\x00junk 99' % v), lambda v: field(b'%d\x00\x01abc' % v)),
      ('a plus sign; a minus sign before "$"-hex has no effect',
       lambda v: field('+%d' % v), lambda v: field('-$%X' % v)),
      ('control characters around the digits',
       lambda v: field(b'\x01\x1f%d\r\n' % v), lambda v: field(b' %d\x0b' % v)),
      ('right-aligned in the field',
       lambda v: b'%20d' % v, lambda v: b'%20d' % v),
  ]
  for name, field1, field2 in variants:
    payload, at = one_picture_payload(media)
    config = ConfigStream().writer({'Interval': 7, 'PicCommaList': str(at)})
    data, expected = payload.finish(config, field1, field2)
    check.case('trailer: ' + name, data, expected)

  def broken_trailer(name, field2, message):
    payload, at = one_picture_payload(media)
    data, _ = payload.finish(ConfigStream().writer({'PicCommaList': str(at)}), None, field2)
    check.case('trailer: ' + name, data, Fails(message))

  broken_trailer('configuration offset of 20 spaces reads 0', lambda v: b' ' * 20,
                 'Invalid stream format')
  broken_trailer('configuration offset "12a" reads 0', lambda v: field('12a'),
                 'Invalid stream format')
  broken_trailer('configuration offset "$" with nine hex digits reads 0',
                 lambda v: field('$0%08X' % v), 'Invalid stream format')
  broken_trailer('configuration offset 2147483648 is out of range and reads 0',
                 lambda v: field('2147483648'), 'Invalid stream format')
  broken_trailer('configuration offset pointing into the player', lambda v: field('500'),
                 'Invalid stream format')
  broken_trailer('configuration offset pointing at the picture\'s second byte',
                 lambda v: field('1001'), 'Invalid stream format')
  broken_trailer('configuration offset beyond the end of the file',
                 lambda v: field(str(v + 100000)), 'Stream read error')
  broken_trailer('negative configuration offset', lambda v: field('-5'), None)
  broken_trailer('configuration offset $FFFFFFF0 (negative pattern)', lambda v: field('$FFFFFFF0'),
                 None)
  payload, at = one_picture_payload(media)
  data, expected = payload.finish(ConfigStream().writer({'PicCommaList': str(at)}),
                                  lambda v: field('12a'), None)
  assert expected.json['payload_size'] == 0
  check.case('trailer: payload size "12a" reads 0 (the reader may reject the inconsistency)',
             data, SucceedsOrFails(expected.json))
  check.case('file shorter than 40 bytes', b'TPF0\x06TImage\x00\x00\x00', Fails())
  check.case('empty file', b'', Fails())


def prefix_and_children_cases(check, media):
  prefixes = [(obj_prefix(0), 'no flags'), (obj_prefix(1), 'inherited'),
              (obj_prefix(2, k_int8(3)), 'child position int8'),
              (obj_prefix(4), 'inline'), (obj_prefix(6, k_int16(300)), 'flags 2+4, int16'),
              (obj_prefix(15, k_int32(70000)), 'all flags, int32'),
              (obj_prefix(8), 'unnamed flag 8')]
  for prefix, name in prefixes:
    payload = Payload(PLAYER)
    jpeg = media.jpeg(0)
    width, height = jpeg_size(jpeg)
    pic = stream(obj('TImage', [prop('Picture.Data', k_bin(picture_block(jpeg)))], prefix=prefix))
    at = payload.add_picture(pic, width, height, len(jpeg))
    config = ConfigStream(prefix=prefix).writer({'Interval': 42, 'PicCommaList': str(at)})
    data, expected = payload.finish(config)
    check.case('object prefix (%s) on the picture and the configuration' % name, data, expected)

  payload = Payload(PLAYER)
  data, _ = payload.finish(ConfigStream(prefix=obj_prefix(2, k_str('x'))))
  check.case('object prefix flag 2 followed by a text instead of an integer', data, Fails())

  config = ConfigStream().writer({'Interval': 5000, 'Title': 'root', 'lMute': True})
  grandchild = obj('TBar', [prop('Deep', k_coll(coll_item([prop('x', k_int8(1))]))),
                            prop('Interval', k_int8(66))], name='gc')
  config.children = [
      obj('TFoo', unknown_value_samples()[:12], name='Child1', prefix=obj_prefix(2, k_int8(0)),
          children=[grandchild, obj('TBaz')]),
      obj('TSSFileLocations', [prop('Interval', k_int8(1)), prop('Title', k_str('child')),
                               prop('lMute', k_false())], name='Inner'),
      obj('TImage', [prop('Picture.Data', k_str('not binary, never applied'))],
          prefix=obj_prefix(1)),
      obj('TUnknownClass', [], children=[obj('TFoo', children=[obj('TFoo')])])]
  data, expected = Payload(PLAYER).finish(config)
  check.case('child objects after the properties are skipped, not applied', data, expected)

  config = ConfigStream(name='Cfg').writer({'Interval': 9, 'Title': 'named'})
  data, expected = Payload(PLAYER).finish(config)
  check.case('configuration object with a name', data, expected)


def comma_list_cases(check, media):
  payload = Payload(PLAYER)
  offsets = [payload.add(b'MThd' + bytes([i]) * 50) for i in range(4)]
  config = ConfigStream()
  texts = {
      'SndCommaList': '  %d, %d ,%d,\t%d  ' % tuple(offsets),
      'SndFileNamesCommaList': 'intro.mid,"Main Theme.mp3","a,b.wav", "  lead ""x"".wav"',
      'SndSizesCommaList': '54 ,"54", $36,x36',
      'PicFileNamesCommaList': 'a.jpg, b.jpg ,  c.jpg',
      'DescriptCommaList': '"He said ""hi""",plain,'}
  for key, text in texts.items():
    config.put(key, k_str(text), (key, text))
  data, expected = payload.finish(config)
  check.case('comma lists: spaces after commas, quoted items, doubled quotes, trailing comma',
             data, expected)
  sounds = expected.json['sounds']
  config = ConfigStream()
  sizes = '"7 ","\t7",+7,-7,-$10,0x7fffffff,2147483648,-2147483648,$80000000,"  7",7a,$,0x'
  count = len(parse_comma_list(sizes))
  for key, text in (('SndCommaList', ','.join(['1'] * count)), ('SndSizesCommaList', sizes),
                    ('SndFileNamesCommaList', ','.join('s%d' % i for i in range(count)))):
    config.put(key, k_str(text), (key, text))
  data, expected2 = Payload(PLAYER).finish(config)
  assert [e['size'] for e in expected2.json['sounds']] == [
      0, 0, 7, -7, 16, 2147483647, 0, -2147483648, -2147483648, 7, 0, 0, 0]
  check.case('sound sizes read by the integer-text rule', data, expected2)
  assert [s['name'] for s in sounds] == ['intro.mid', 'Main Theme.mp3', 'a,b.wav',
                                         '  lead "x".wav']
  assert [s['size'] for s in sounds] == [54, 54, 54, 54]

  forms = ['a b', 'a,,b', 'a, ', 'a,', ',', '""', '"",""', 'x"y', '"tab\there"', ' , a',
           '"a"b', '"a" "b"', '', '  ', 'one', '"q"""', 'caf\u00e9 "x y"', ',,,',
           '"with, comma",plain']
  for text in forms:
    config = ConfigStream()
    config.put('PicFileNamesCommaList', k_str(text), ('PicFileNamesCommaList', text))
    config.put('DescriptCommaList', k_utf8(text), ('DescriptCommaList', text))
    data, expected = Payload(PLAYER).finish(config)
    check.case('comma list %r reads as %r' % (text, write_comma_list(parse_comma_list(text))),
               data, expected)

  for name, text in (('a quoted item without its closing quote', b'a,"unclosed'),
                     ('a zero byte inside the text', b'a,b\x00c,d'),
                     ('only a double quote', b'"')):
    config = ConfigStream().put('DescriptCommaList', k_lstr(text))
    data, _ = Payload(PLAYER).finish(config)
    check.case('comma list with %s (no crash, no hang)' % name, data, Survives())


def picture_cases(check, media):
  payload = Payload(PLAYER)
  jpeg = media.jpeg(0)
  width, height = jpeg_size(jpeg)
  normal = payload.add_jpeg_picture(jpeg)
  odd = []
  for graphic_class in ('TJpegImage', 'tjpegimage', 'TJPEGIMAGE', 'TBitmap', 'TJPEGImage2', ''):
    odd.append(payload.add_picture(
        picture_stream(jpeg, graphic_class=graphic_class), 0, 0, 0))
  empty = payload.add_picture(picture_stream(b'', jpeg_size=0), 0, 0, 0)
  empty_with_bytes = payload.add_picture(picture_stream(b'', jpeg_size=0, extra=jpeg), 0, 0, 0)
  longer = payload.add_picture(picture_stream(jpeg, extra=b'\xff\xd8trailing junk' * 40), width,
                               height, len(jpeg))
  jpeg2 = media.jpeg(len(media.jpegs) - 1)
  w2, h2 = jpeg_size(jpeg2)
  unusual = stream(obj('TIMAGE', [
      prop('Left', k_int32(-5)), prop('Top', k_int16(1000)), prop('Width', k_int8(-1)),
      prop('Height', k_int32(1 << 30)), prop('UTag', k_str('x')), prop('Picture.Foo', k_int8(1)),
      prop('Picture.Bar', k_coll()), prop('Stretch', k_true())] + unknown_value_samples()[:8] +
      [prop('PICTURE.DATA', k_bin(picture_block(jpeg2))), prop('Zoom', k_ext(2.0))],
      prefix=obj_prefix(2, k_int8(0)), children=[obj('TFoo', [prop('x', k_int8(1))])]))
  unusual_at = payload.add_picture(unusual, w2, h2, len(jpeg2))
  twice = payload.add_picture(stream(obj('TImage', [
      prop('Picture.Data', k_bin(picture_block(jpeg))),
      prop('Picture.Data', k_bin(picture_block(jpeg2)))])), w2, h2, len(jpeg2))
  no_data = payload.add_picture(stream(obj('TImage', [prop('Width', k_int8(1))])), 0, 0, 0)
  items = ([str(normal)] + [str(o) for o in odd] +
           [str(empty), str(empty_with_bytes), str(longer), str(unusual_at), '$%X' % normal,
            '"  %d"' % longer, str(twice), str(no_data), str(normal), '+%d' % normal,
            '0x%x' % longer])
  config = ConfigStream().writer({'PicCommaList': ','.join(items)})
  data, expected = payload.finish(config)
  check.case('pictures: class names other than TJPEGImage, JPEG size 0, longer blocks, odd '
             'streams, hex and quoted offsets, repeated offsets', data, expected)


def picture_stream_error(check, media, name, pic_bytes, expectation, **kwargs):
  payload = Payload(PLAYER)
  first = payload.add_jpeg_picture(media.jpeg(0))
  at = payload.add(pic_bytes)
  config = ConfigStream().writer({'PicCommaList': '%d,%d' % (first, at)})
  data, _ = payload.finish(config)
  check.case(name, data, expectation, **kwargs)


def picture_error_cases(check, media):
  jpeg = media.jpeg(0)
  block = picture_block(jpeg)

  def pic(*props, cls='TImage'):
    return stream(obj(cls, list(props)))

  cases = [
      ('Picture.Data as kind 12', pic(prop('Picture.Data', k_lstr(block))),
       'Error reading TImage.Picture.Data: Invalid property value'),
      ('Picture.Data as kind 6', pic(prop('Picture.Data', k_str(block[:200]))),
       'Error reading TImage.Picture.Data: Invalid property value'),
      ('Picture.Data as kind 1 list', pic(prop('Picture.Data', k_list(k_bin(block)))),
       'Error reading TImage.Picture.Data: Invalid property value'),
      ('picture class TBar', pic(prop('Picture.Data', k_bin(block)), cls='TBar'),
       'Class TBar not found'),
      ('picture signature TPF1', stream(obj('TImage'), signature=b'TPF1'),
       'Invalid stream format'),
      ('picture path Width.X', pic(prop('Width.X', k_int8(1))),
       'Error reading TImage.Width.X: Invalid property path'),
      ('picture Width as text', pic(prop('Width', k_str('105'))),
       'Error reading TImage.Width: Invalid property value'),
      ('picture Picture as int', pic(prop('Picture', k_int8(1))),
       'Error reading TImage.Picture: Invalid property value'),
      ('JPEG size beyond the end of its block (more stream bytes follow)',
       pic(prop('Picture.Data', k_bin(picture_block(jpeg[:100], jpeg_size=len(jpeg)))),
           prop('Pad', k_lstr(jpeg))),
       'Error reading TImage.Picture.Data: Stream read error'),
      ('graphic class length beyond the end of its block',
       pic(prop('Picture.Data', k_bin(b'\x3fTJPEG')), prop('Pad', k_lstr(b'x' * 100))),
       'Error reading TImage.Picture.Data: Stream read error'),
      ('JPEG size field cut by the end of its block',
       pic(prop('Picture.Data', k_bin(b'\x0aTJPEGImage\x05\x00')), prop('Pad', k_lstr(b'x' * 99))),
       'Error reading TImage.Picture.Data: Stream read error'),
  ]
  for name, pic_bytes, message in cases:
    picture_stream_error(check, media, 'picture error: ' + name, pic_bytes, Fails(message))

  picture_stream_error(
      check, media, 'picture error: JPEG data the decoder rejects',
      pic(prop('Picture.Data', k_bin(picture_block(b'this is not a JPEG file at all')))),
      Fails(patterns=[r'Error reading TImage\.Picture\.Data: JPEG error #\d+']))
  picture_stream_error(
      check, media, 'picture error: 2 GB Picture.Data length in a small file',
      pic(prop('Picture.Data', k_claim(10, 0x7FFFFFFF, block))),
      Fails('Error reading TImage.Picture.Data: Stream read error'), max_rss_kb=MEMORY_LIMIT_KB)
  picture_stream_error(
      check, media, 'picture error: 2 GB JPEG size inside a small block',
      pic(prop('Picture.Data', k_bin(picture_block(jpeg, jpeg_size=0x7FFFFFF0)))),
      Fails('Error reading TImage.Picture.Data: Stream read error'), max_rss_kb=MEMORY_LIMIT_KB)
  picture_stream_error(
      check, media, 'picture error: negative JPEG size',
      pic(prop('Picture.Data', k_bin(picture_block(jpeg, jpeg_size=-100)))), Survives())

  def bad_offsets(name, make_item, expectation):
    payload = Payload(PLAYER)
    first = payload.add_jpeg_picture(jpeg)
    sound = payload.add(b'RIFF\x00\x00\x00\x00WAVEfmt ' * 4)
    item = make_item(first, sound)
    config = ConfigStream().writer({'PicCommaList': '%d,%s' % (first, item),
                                    'SndCommaList': str(sound), 'SndSizesCommaList': '64',
                                    'SndFileNamesCommaList': 'a.wav'})
    data, _ = payload.finish(config)
    check.case('picture offset: ' + name, data, expectation)

  bad_offsets('beyond the end of the file', lambda p, s: '99999999', Fails('Stream read error'))
  bad_offsets('0 (points at the player)', lambda p, s: '0', Fails('Invalid stream format'))
  bad_offsets('not an integer ("12a" reads 0)', lambda p, s: '12a', Fails('Invalid stream format'))
  bad_offsets('an empty item from a trailing comma', lambda p, s: '',
              Fails('Invalid stream format'))
  bad_offsets('at the sound block', lambda p, s: str(s), Fails('Invalid stream format'))
  bad_offsets('inside the first picture stream', lambda p, s: str(p + 4),
              Fails('Invalid stream format'))
  bad_offsets('negative', lambda p, s: '-5', Fails())
  payload = Payload(PLAYER)
  config = ConfigStream().writer({'PicCommaList': str(payload.offset())})
  data, _ = payload.finish(config)
  check.case('picture offset: at the configuration stream itself (no crash)', data, Survives())
  payload, at = one_picture_payload(media)
  data, _ = payload.finish(ConfigStream(), None, lambda v: field(str(at)))
  check.case('configuration offset at a picture stream (no crash)', data, Survives())
  bad_offsets('$FFFFFFFF (32-bit pattern -1)', lambda p, s: '$FFFFFFFF', Fails())


def config_error_cases(check, media):
  def error_case(name, config, expectation, **kwargs):
    data, _ = Payload(PLAYER).finish(config)
    check.case(name, data, expectation, **kwargs)

  def one(stored, encoded, message, before=True):
    config = ConfigStream()
    if before:
      config.put('Title', k_str('before'), ('Title', 'before'))
    config.put(stored, encoded)
    config.put('Interval', k_int8(1))
    return config, Fails(message)

  error_case('class TFoo', ConfigStream(cls='TFoo').writer({'Interval': 1}),
             Fails('Class TFoo not found'))
  error_case('class TSSFileLocation (one letter short)',
             ConfigStream(cls='TSSFileLocation').writer({'Interval': 1}),
             Fails('Class TSSFileLocation not found'))
  for sig in (b'TPF1', b'TPF\x00', b'TPF ', b'TPFO', b'tpf0', b'XPF0', b'FPT0'):
    config = ConfigStream().writer({'Interval': 1})
    data, _ = Payload(PLAYER).finish(config)
    data = data.replace(b'TPF0\x10TSSFileLocations', sig + b'\x10TSSFileLocations')
    check.case('configuration signature %r' % sig, data, Fails('Invalid stream format'))

  invalid = 'Error reading TSSFileLocations.%s: Invalid property value'
  for encoded, kind in ((k_str('5000'), 6), (k_ident('clRed'), 7), (k_int64(5), 19),
                        (k_ext(5.0), 5), (k_null(), 0), (k_true(), 9), (k_false(), 8),
                        (k_lstr('5000'), 12), (k_set('a'), 11), (k_nil(), 13),
                        (k_single(1.0), 15), (k_list(k_int8(1)), 1), (k_bin(b'\x01'), 10),
                        (k_utf8('1'), 20), (k_wstr('1'), 18), (k_currency(1), 16),
                        (k_date(1.0), 17), (k_coll(), 14)):
    error_case('Interval stored as kind %d' % kind, *one('Interval', encoded,
                                                         invalid % 'Interval'))
  value_errors = [
      ('lRandomPic', k_int8(1)), ('lMute', k_ident('Yes')), ('lMute', k_str('True')),
      ('Title', k_int8(1)), ('Title', k_ident('Hello')), ('Title', k_bin(b'abc')),
      ('Text', k_true()), ('PicCommaList', k_int32(1000)), ('SoundRandom', k_ident('clRed')),
      ('TextFont.Color', k_ident('clPink')), ('TextFont.Color', k_str('clRed')),
      ('TextFont.Color', k_ident('')), ('TextFont.Charset', k_ident('KLINGON_CHARSET')),
      ('TextFont.Charset', k_ident('clRed')), ('TextFont.Color', k_ident('ANSI_CHARSET')),
      ('TextFont.Pitch', k_int8(1)), ('TextFont.Pitch', k_ident('fpWide')),
      ('TextFont.Style', k_str('fsBold')), ('TextFont.Style', k_ident('fsBold')),
      ('TextFont.Height', k_ident('clRed')), ('TextFont.Name', k_int8(3)),
      ('TextFont.Size', k_str('12')), ('TextFont', k_int8(1)), ('TextFont', k_str('Arial'))]
  for stored, encoded in value_errors:
    kind = encoded[0]
    detail = encoded[2:2 + encoded[1]].decode('latin-1') if kind in (6, 7) else ''
    error_case('%s stored as kind %d %s' % (stored, kind, detail),
               *one(stored, encoded, invalid % stored))
  error_case('lower-case TextFont.Color with an unknown identifier',
             *one('textfont.color', k_ident('clPink'), invalid % 'textfont.color'))

  path = 'Error reading TSSFileLocations.%s: Invalid property path'
  for stored in ('Interval.X', 'interval.x', 'Title.Foo', 'TextFont.Name.X', 'TextFont.Height.X',
                 'lMute.X', 'PicCommaList.X', 'Text.Font.Name'):
    error_case('invalid property path %s' % stored, *one(stored, k_int8(1), path % stored))

  config = ConfigStream(name='Cfg').put('Interval', k_str('5'))
  error_case('a failure names the object when it has a name', config,
             Fails('Error reading Cfg.Interval: Invalid property value'))

  def sounds(offsets, sizes, names):
    config = ConfigStream()
    for key, text in (('SndCommaList', offsets), ('SndSizesCommaList', sizes),
                      ('SndFileNamesCommaList', names)):
      if text:
        config.put(key, k_str(text), (key, text))
    return config

  for offsets, sizes, names in (('10,20', '1', 'a,b'), ('10,20', '1,2', 'a'),
                                ('10', '', 'a'), ('10', '1', ''), ('10,20,30', '1,2,3', 'a,b'),
                                ('1,2', '""', '""')):
    error_case('sound lists %r / %r / %r' % (offsets, sizes, names), sounds(offsets, sizes, names),
               Fails('Index is out of bounds'))
  config = sounds('10', '1,2,3', 'a,b,c')
  data, expected = Payload(PLAYER).finish(config)
  check.case('sound size and name lists longer than the offset list', data, expected)

  claims = [('Blob', k_claim(10, 0x7FFFFFFF, b'abc')), ('Title', k_claim(12, 0x7FFFFFF0, b'ab')),
            ('Text', k_claim(20, 0x7FFFFFFF, b'ab')), ('Email', k_claim(18, 0x7FFFFFFF, b'a\x00')),
            ('UWide', k_claim(18, 0x40000000, b'a\x00' * 8)),
            ('UWide2', k_claim(18, 0x40000001, b'a\x00' * 8)),
            ('UList', k_list(k_int8(1), k_claim(12, 0x7FFFFFFF, b'abc'))),
            ('UColl', k_coll(coll_item([prop('x', k_claim(10, 0x7FFFFFFF))])))]
  for name, encoded in claims:
    config = ConfigStream().put(name, encoded).put('Interval', k_int8(1))
    config.props.append(prop('Pad', k_lstr(b'p' * 3000)))
    error_case('2 GB length claim (kind %d) in %s' % (encoded[0], name), config,
               Fails('Error reading TSSFileLocations.%s: Stream read error' % name),
               max_rss_kb=MEMORY_LIMIT_KB)
  for name, encoded in (('Blob', k_claim(10, 0xFFFFFFFF, b'abc')),
                        ('Title', k_claim(12, 0x80000000, b'abc')),
                        ('Text', k_claim(20, 0xFFFFFFF0, b'abc')),
                        ('UWide', k_claim(18, 0x80000000, b'abc'))):
    config = ConfigStream().put(name, encoded).put('Interval', k_int8(1))
    error_case('negative length (kind %d) in %s' % (encoded[0], name), config, Fails(),
               max_rss_kb=MEMORY_LIMIT_KB)

  for name, encoded in (('kind 21', b'\x15' + b'\x00' * 8), ('kind 127', b'\x7f\x01'),
                        ('kind 255', b'\xff\x00\x00'),
                        ('kind 21 inside a list', k_list(k_int8(1), b'\x15\x00\x00'))):
    error_case('unknown property holding a value of %s' % name,
               ConfigStream().put('UFuture', encoded).put('Interval', k_int8(1)), Fails())
  error_case('Interval holding a value of kind 21',
             ConfigStream().put('Interval', b'\x15\x00\x00\x00\x00'), Fails())

  deep = 10000
  error_case('10000-deep nested lists', ConfigStream().put(
      'Deep', b'\x01' * deep + b'\x00' * deep).put('Interval', k_int8(1)), Fails(),
      max_rss_kb=MEMORY_LIMIT_KB)
  error_case('10000-deep nested lists never closed',
             ConfigStream().put('Deep', b'\x01' * deep), Fails(), max_rss_kb=MEMORY_LIMIT_KB)
  huge = 1000000
  error_case('1000000-deep nested lists', ConfigStream().put(
      'Deep', b'\x01' * huge + b'\x00' * huge), Fails(), max_rss_kb=MEMORY_LIMIT_KB)
  for depth in (deep, huge // 5):
    nested_coll = (b'\x0e\x01' + short_str('x')) * depth + k_int8(1) + b'\x00\x00' * depth
    error_case('%d-deep nested collections (no crash, no hang)' % depth,
               ConfigStream().put('Deep', nested_coll), Survives())
    config = ConfigStream().writer({'Interval': 1})
    config.children = [(short_str('TFoo') + short_str('') + b'\x00') * depth + b'\x00' * depth]
    error_case('%d-deep nested child objects (no crash, no hang)' % depth, config, Survives())


# ---------------------------------------------------------------------------------------------
# Streams cut short. A cut stream must end at the end of the file, so the last 20 bytes of the
# file (the configuration offset field) are the stream's own last bytes. "Carrier" properties
# hold 20 spaces, the offset digits and a zero byte: for the next 17 or so cut positions after a
# carrier the trailer field still reads the stream's offset.
# ---------------------------------------------------------------------------------------------

TRUNC_PLAIN = 'plain'  # outside any property: "Stream read error"
TRUNC_NAME = 'name'    # inside a property name (no name read yet to wrap with): the same
TRUNC_VALUE = 'value'  # inside a property value: wrapped with the object and property name
TRUNC_CHILD = 'child'  # inside a skipped child object (nothing applied there): plain


class CutStream:
  """A stream as labelled segments, so that each byte position knows what a cut there hits."""

  def __init__(self, owner, digits):
    self.owner, self.digits = owner, digits
    self.segments = []

  def raw(self, data, zone, prop_name=None):
    self.segments.append((data, zone, prop_name))
    return self

  def prop(self, name, value):
    self.raw(short_str(name), TRUNC_NAME)
    return self.raw(value, TRUNC_VALUE, name)

  def carrier_text(self):
    return b' ' * 20 + self.digits + b'\x00'

  def carrier(self):
    return self.prop('Zc', k_str(self.carrier_text()))

  def bytes_and_zones(self):
    data = bytearray()
    zones = []
    for chunk, zone, name in self.segments:
      data += chunk
      zones += [(zone, name)] * len(chunk)
    return bytes(data), zones

  def expectation(self, zone, name):
    if zone == TRUNC_VALUE:
      return Fails('Error reading %s.%s: Stream read error' % (self.owner, name))
    return Fails('Stream read error')


def cut_cases(check, label, prefix_bytes, config_offset, cut_stream):
  """Runs every cut of `cut_stream` placed after `prefix_bytes` whose file still has a trailer
  whose configuration offset field reads `config_offset`."""
  data, zones = cut_stream.bytes_and_zones()
  count = 0
  for cut in range(len(data)):
    file_bytes = prefix_bytes + data[:cut]
    if len(file_bytes) < 40 or trailer_field_value(file_bytes[-20:]) != config_offset:
      continue
    zone, name = zones[cut]
    where = zone if zone != TRUNC_VALUE else 'value of ' + name
    check.case('%s cut after %d bytes (%s)' % (label, cut, where), file_bytes,
               cut_stream.expectation(zone, name))
    count += 1
  return count


def truncation_cases(check, media):
  digits = b'50'
  player = fake_player(50, tail=b' ' * 17 + digits + b'\x00')
  assert len(player) == 50 and trailer_field_value(player[-20:]) == 50

  def config_header(s, prefix=b''):
    s.raw(b'TPF0' + prefix + short_str('TSSFileLocations') + short_str(''), TRUNC_PLAIN)

  s = CutStream('TSSFileLocations', digits)
  config_header(s)
  carrier_payload = s.carrier_text()
  s.carrier().prop('Interval', k_int32(5000))
  s.carrier().prop('TextFont.Height', k_int8(-32))
  s.carrier().prop('TextFont.Color', k_ident('clRed'))
  s.carrier().prop('Title', k_str('Hello'))
  s.carrier().prop('lMute', k_true()).prop('lRandomPic', k_ident('True'))
  s.carrier().prop('SoundRandom', k_int16(2)).prop('Web', k_str('w'))
  s.carrier().prop('TextFont.Style', k_set('fsBold', 'fsItalic'))
  s.carrier().prop('A', k_ext(1.5))
  s.carrier().prop('B', k_int64(7))
  s.carrier().prop('C', k_lstr(b'abc' + carrier_payload + b'0123456789' * 4))
  s.carrier().prop('D', k_bin(b'\x01\x02' + carrier_payload + bytes(range(40))))
  s.carrier().prop('E', k_wstr('h\u00e9llo w\u00f6rld'))
  s.carrier().prop('Text', k_utf8(b'\xc3\xa9' + carrier_payload + '\u00e9t\u00e9'.encode()))
  s.carrier().prop('G', k_set('fsBold', carrier_payload, 'x', 'yy'))
  s.carrier().prop('H', k_list(k_int8(1), k_str(carrier_payload), k_int16(2), k_int32(3),
                               k_list(k_str(carrier_payload), k_single(1.0), k_currency(5)),
                               k_date(2.0), k_nil(), k_false()))
  s.carrier().prop('I', k_coll(coll_item([prop('X', k_str(carrier_payload)),
                                          prop('Y', k_int32(3))], index=k_int8(0)),
                               coll_item([prop('Z', k_str(carrier_payload))]),
                               coll_item([prop('W', k_str(carrier_payload))],
                                         index=k_int16(5))))
  s.carrier().prop('J', k_null()).prop('K', k_nil()).prop('L', k_str(''))
  s.carrier()
  s.raw(b'\x00', TRUNC_PLAIN)  # end of properties
  child_props = prop('Zc', k_str(carrier_payload)) + prop('P', k_int32(1))
  grandchild = obj('TBar', [prop('Zc', k_str(carrier_payload)), prop('Q', k_int8(1))])
  s.raw(obj('TFoo', [child_props], name='c1', prefix=obj_prefix(2, k_int8(1)),
            children=[grandchild]), TRUNC_CHILD)
  s.raw(b'\x00', TRUNC_PLAIN)  # end of children
  total = cut_cases(check, 'config', player, 50, s)

  s = CutStream('TSSFileLocations', digits)
  config_header(s, prefix=obj_prefix(2, k_int32(4)))
  s.carrier().raw(b'\x00\x00', TRUNC_PLAIN)
  total += cut_cases(check, 'config with prefix', player, 50, s)

  # A picture stream cut short: the configuration lies before it and ends with a carrier.
  jpeg = media.jpeg(0)
  pic_at, config_bytes = 0, b''
  while 50 + len(config_bytes) != pic_at:  # the offset's digit count shifts the picture
    pic_at = 50 + len(config_bytes)
    config = ConfigStream().put('PicCommaList', k_str(str(pic_at)))
    config.props.append(prop('Zc', k_str(carrier_payload)))
    config_bytes = config.to_bytes()
  s = CutStream('TImage', digits)
  s.raw(b'TPF0' + short_str('TImage') + short_str(''), TRUNC_PLAIN)
  s.carrier().prop('Left', k_int8(0)).prop('Width', k_int8(105))
  # A JPEG comment segment right after the start marker carries the offset inside the JPEG data.
  comment = b'\xff\xfe' + struct.pack('>H', 2 + len(carrier_payload)) + carrier_payload
  block = picture_block(jpeg[:2] + comment + jpeg[2:], extra=carrier_payload)
  s.carrier().prop('Picture.Data', k_bin(block))
  s.carrier().raw(b'\x00\x00', TRUNC_PLAIN)
  total += cut_cases(check, 'picture', player + config_bytes, 50, s)
  assert total > 300, 'the cut streams should yield many cut positions, got %d' % total


# ---------------------------------------------------------------------------------------------


def main():
  parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
  parser.add_argument('--pack', required=True, help='path of slidesaver-pack')
  parser.add_argument('--media', required=True, help='path of slidesaver-demo-media')
  parser.add_argument('--keep-failed', metavar='DIR',
                      help='write the payload file of each failing case into DIR')
  args = parser.parse_args()
  pack = os.path.abspath(args.pack)
  if not os.access(pack, os.X_OK):
    raise SystemExit('not an executable: %s' % pack)
  if args.keep_failed:
    os.makedirs(args.keep_failed, exist_ok=True)
  with tempfile.TemporaryDirectory(prefix='payload_check.') as workdir:
    media = Media(os.path.abspath(args.media), workdir)
    check = Checker(pack, workdir, args.keep_failed)
    for group in (writer_form_cases, letter_case_cases, unknown_property_cases, text_kind_cases,
                  font_cases, boolean_and_order_cases, trailer_cases, prefix_and_children_cases,
                  comma_list_cases, picture_cases, picture_error_cases, config_error_cases,
                  truncation_cases):
      group(check, media)
    print('%d passed, %d failed' % (check.passed, check.failed))
    return 1 if check.failed else 0


if __name__ == '__main__':
  sys.exit(main())
