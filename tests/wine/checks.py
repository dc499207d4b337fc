#!/usr/bin/env python3
"""Oracles of the Wine tests for what an installation leaves on disk.

  checks.py tree INSTALL_DIR STAGE_DIR...
      every file of the staging trees (GBK names) is in the installation
      directory (where Wine shows them in UTF-8), byte for byte; folders
      come with their files (an empty one is not made)
  checks.py record UNINSTALLER_EXE INSTALLED_EXE NAME VERSION MENU_PATH LINK...
      the installed uninstaller is the program followed by exactly the
      uninstall record of these texts (given in UTF-8, written in GBK)
  checks.py log LOG_FILE [--unordered LINE]... LINE...
      every line is "HH:MM:SS:mmmm  message" with CRLF, and the messages are
      exactly LINE... in order; an --unordered line occurs once, anywhere
      after the line before it in the argument list
  checks.py damage SETUP_EXE OUT_EXE ENTRY [download]
      a copy of the installer whose first archive has ENTRY (a deflated
      entry) damaged so that it cannot inflate, with the integrity record
      made to match again: an archive that was damaged before it was packed;
      with "download", the record is left as it was: a damaged download

Prints what differs and exits 1 on a mismatch.
"""
import os
import re
import struct
import sys
import zlib


def fail(message):
    print('checks.py: ' + message, file=sys.stderr)
    sys.exit(1)


def check_tree(install_dir, stages):
    count = 0
    for stage in stages:
        stage_b = stage.encode()
        for top, dirs, files in os.walk(stage_b):
            rel = os.path.relpath(top, stage_b)
            for name in dirs + files:
                gbk_rel = os.path.normpath(os.path.join(rel, name))
                host_rel = gbk_rel.decode('gbk')
                installed = os.path.join(install_dir, host_rel)
                source = os.path.join(top, name)
                if os.path.isdir(source):
                    continue
                if not os.path.isfile(installed):
                    fail('file missing: ' + installed)
                with open(source, 'rb') as a, open(installed, 'rb') as b:
                    if a.read() != b.read():
                        fail('content differs: ' + installed)
                count += 1
    print('%d files as packed' % count)


def record_bytes(name, version, links, menu):
    def text(s):
        data = s.encode('gbk')
        return struct.pack('<I', len(data)) + data
    out = text(name) + text(version) + struct.pack('<i', len(links))
    for link in links:
        out += text(link)
    return out + text(menu)


def check_record(program, installed, name, version, menu, links):
    with open(program, 'rb') as f:
        head = f.read()
    with open(installed, 'rb') as f:
        data = f.read()
    if not data.startswith(head):
        fail('%s does not begin with the %d bytes of %s' % (installed, len(head), program))
    want = record_bytes(name, version, links, menu)
    have = data[len(head):]
    if have != want:
        fail('record differs:\n  want %r\n  have %r' % (want, have))
    print('record: %d bytes after the %d-byte program' % (len(have), len(head)))


LINE = re.compile(rb'^(\d\d):(\d\d):(\d\d):(\d{4})  (.*)$')


def check_log(path, args):
    with open(path, 'rb') as f:
        data = f.read()
    if not data.endswith(b'\r\n'):
        fail('log does not end with CRLF')
    messages = []
    for raw in data[:-2].split(b'\r\n'):
        m = LINE.match(raw)
        if not m or int(m.group(1)) > 23 or int(m.group(2)) > 59 or int(m.group(3)) > 59 \
                or int(m.group(4)) > 999:
            fail('malformed log line %r' % raw)
        messages.append(m.group(5).decode('gbk'))
    ordered, unordered = [], []  # unordered: (message, index of the line before it)
    i = 0
    while i < len(args):
        if args[i] == '--unordered':
            unordered.append((args[i + 1], len(ordered) - 1))
            i += 2
        else:
            ordered.append(args[i])
            i += 1
    rest = list(messages)
    for message, after in unordered:
        if rest.count(message) != 1:
            fail('log: %r occurs %d times in %r' % (message, rest.count(message), messages))
        at = rest.index(message)
        before = rest[:at]
        if after >= 0 and ordered[after] not in before:
            fail('log: %r comes before %r in %r' % (message, ordered[after], messages))
        del rest[at]
    if rest != ordered:
        fail('log lines differ:\n  want %r\n  have %r' % (ordered, rest))
    print('log: %d lines as expected' % len(messages))


PAYLOAD_OFFSET = 0x43000


def segments(data):
    """Positions and sizes of the two archives and the uninstaller, and the
    payload's end."""
    at = PAYLOAD_OFFSET

    def u32():
        nonlocal at
        value, = struct.unpack_from('<I', data, at)
        at += 4
        return value

    def skip_text():
        nonlocal at
        size = u32()
        at += size

    for _ in range(5):
        skip_text()
    for _ in range(u32()):
        skip_text()
        skip_text()
        skip_text()
        u32()
    for _ in range(6):
        skip_text()
    found = []
    for _ in range(3):
        size = u32()
        found.append((at, size))
        at += size
    return found, at


def damage(setup, out, entry, fix_record):
    data = bytearray(open(setup, 'rb').read())
    zip_at, zip_size = segments(data)[0][0]
    at = data.find(b'PK\x03\x04', zip_at, zip_at + zip_size)
    while at >= 0:
        method, = struct.unpack_from('<H', data, at + 8)
        n, m = struct.unpack_from('<HH', data, at + 26)
        if data[at + 30:at + 30 + n] == entry.encode('gbk') and method == 8:
            # The reserved block type: no inflater takes it.
            data[at + 30 + n + m] = 0xFF
            break
        at = data.find(b'PK\x03\x04', at + 4, zip_at + zip_size)
    else:
        fail('no deflated entry %s in the first archive' % entry)
    _, end = segments(data)
    if fix_record and data[end:end + 8] == b'SETUPCRC':
        crc = zlib.crc32(bytes(data[PAYLOAD_OFFSET:end]))
        struct.pack_into('<I', data, end + 16, crc)
    open(out, 'wb').write(data)


def main(argv):
    if len(argv) >= 3 and argv[1] == 'tree':
        check_tree(argv[2], argv[3:])
    elif len(argv) >= 7 and argv[1] == 'record':
        check_record(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7:])
    elif len(argv) in (5, 6) and argv[1] == 'damage':
        damage(argv[2], argv[3], argv[4], len(argv) == 5 or argv[5] != 'download')
    elif len(argv) >= 3 and argv[1] == 'log':
        check_log(argv[2], argv[3:])
    else:
        fail(__doc__)


if __name__ == '__main__':
    main(sys.argv)
