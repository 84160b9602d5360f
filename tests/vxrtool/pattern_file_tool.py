#!/usr/bin/env python3
"""An independent writer and reader of pattern files, for checking vxrtool against the format.

  pattern_file_tool.py write OUT VERSION NAME...   write a file holding the names, and print
                                                   them in the order the file holds them
  pattern_file_tool.py read FILE                   print the version, then every name

The writer uses what vxrtool does not: entry headers longer than 10 bytes, items after names,
records of other kinds whose length factors are both above 1, all three section modes, and a
128-byte trailer. Written from the format alone; it shares no code with the library.
"""
import struct
import sys
import zlib

NAME_KIND = 0x1ABDE21A
MASK = 0xA7


def deflate(data):
    compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()


def inflate(data):
    decompressor = zlib.decompressobj(-15)
    plain = decompressor.decompress(data)
    if not decompressor.eof:
        raise ValueError("cut-short DEFLATE stream")
    return plain


def mask(data):
    return bytes(b ^ MASK for b in data)


def record(kind, body, version=0, b=1):
    assert len(body) % b == 0
    return struct.pack("<IHIHH", kind, len(body) // b, 0, version, b) + mask(body)


def name_entry_data(names):
    subs = b""
    for i, name in enumerate(names):
        items = i % 3
        subs += bytes([0xF3, 0xD3]) + name.encode().ljust(18, b"\0")[:18]
        subs += struct.pack("<H", items) + b"\x11\x22\x33\x44" * items
    return b"\x55" * 20 + struct.pack("<H", len(subs)) + subs


def entry(stored, plain_size, header_length=16):
    return (struct.pack("<H4sHH", header_length, b"\0\0\0\0", plain_size, len(stored))
            + b"\x66" * (header_length - 10) + stored)


def section(mode, names):
    plain = name_entry_data(names)
    if mode == 0x81:
        region = entry(plain, len(plain))
        return struct.pack("<10sBBH", b"\0" * 10, mode, 0, len(region)) + deflate(region)
    if mode == 0x01:
        region = entry(deflate(plain), len(plain))
    else:
        region = entry(plain, len(plain))
    return struct.pack("<10sBBH", b"\0" * 10, mode, 0, len(region)) + region


def write(out, version, names):
    thirds = [names[i::3] for i in range(3)]
    ordered = thirds[0] + thirds[1] + thirds[2]
    data = record(0x1ABDD51A, b"other kind, a x b bytes long!!!!", b=4)
    for mode, part in zip((0x81, 0x01, 0x07), thirds):
        data += record(NAME_KIND, section(mode, part), version)
        data += record(0x1ABDE31A, b"\0" * 6, b=3)
    data += b"\x5a" * 128 + struct.pack("<I", 128)
    with open(out, "wb") as f:
        f.write(data)
    return ordered


def names_of_entry(data):
    (size,) = struct.unpack_from("<H", data, 20)
    subs, at, names = data[22:22 + size], 0, []
    while at + 22 <= len(subs) and subs[at] == 0xF3 and subs[at + 1] == 0xD3:
        names.append(subs[at + 2:at + 20].split(b"\0", 1)[0].decode("latin-1"))
        (items,) = struct.unpack_from("<H", subs, at + 20)
        at += 22 + 4 * items
    return names


def names_of_section(body):
    mode, size = body[10], struct.unpack_from("<H", body, 12)[0]
    region = inflate(body[14:]) if mode == 0x81 else body[14:14 + size]
    if len(region) != size:
        raise ValueError("region size")
    at, names = 0, []
    while len(region) - at >= 10:
        header, plain_size, stored_size = struct.unpack_from("<H4xHH", region, at)
        data = region[at + header:at + header + stored_size]
        names += names_of_entry(inflate(data) if mode == 0x01 else data)
        at += header + stored_size
    return names


def read(path):
    with open(path, "rb") as f:
        data = f.read()
    (trailer,) = struct.unpack_from("<I", data, len(data) - 4)
    end, at, version, names = len(data) - 4 - trailer, 0, None, []
    while at < end:
        kind, a, _, record_version, b = struct.unpack_from("<IHIHH", data, at)
        body = data[at + 14:at + 14 + a * b]
        if kind == NAME_KIND:
            version = record_version if version is None else version
            names += names_of_section(mask(body))
        at += 14 + a * b
    return version, names


def main(argv):
    if len(argv) >= 4 and argv[1] == "write":
        for name in write(argv[2], int(argv[3]), argv[4:]):
            print(name)
        return 0
    if len(argv) == 3 and argv[1] == "read":
        version, names = read(argv[2])
        print(version)
        for name in names:
            print(name)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
