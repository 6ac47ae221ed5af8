#!/usr/bin/env python3
"""Finds free characters in a scanner identity so that its ScannerId (the
zlib CRC-32 of the copier's 292-byte identity block) takes a wanted value.

CRC-32 of a fixed-length message is affine over GF(2): flipping one message
bit XORs a fixed pattern into the checksum. So the last N characters of the
product name are taken from 0x40..0x7F (bit 6 set, the low six bits free),
the 6*N free bits are solved for by Gaussian elimination, and of the
solutions (the kernel gives 2^(6N-32) of them) the one with the most letters
and digits and no DEL is kept.

usage: solve_scanner_id.py [TARGET_HEX] [PREFIX] [N]
prints the identity and checks it.
"""
import itertools
import struct
import sys
import zlib

TARGET = int(sys.argv[1], 16) if len(sys.argv) > 1 else 0xA510B7A9
PREFIX = sys.argv[2] if len(sys.argv) > 2 else "ZV Greyscale 1-bit "
FREE = int(sys.argv[3]) if len(sys.argv) > 3 else 8

IDENTITY = {
    "VersionMajor": 1,
    "VersionMinor": 0,
    "VersionInfo": "1.0",
    "ProtocolMajor": 1,
    "ProtocolMinor": 9,
    "Manufacturer": "Zelvantor",
    "ProductFamily": "Virtual Scanner",
}


def text(value):
    raw = value.encode("ascii")
    assert len(raw) <= 34
    return b"".join(struct.pack("<H", c) for c in raw) + b"\0" * (68 - 2 * len(raw))


def block(product):
    b = struct.pack("<III", 0, IDENTITY["VersionMajor"], IDENTITY["VersionMinor"])
    b += text(IDENTITY["VersionInfo"])
    b += struct.pack("<II", IDENTITY["ProtocolMajor"], IDENTITY["ProtocolMinor"])
    b += text(IDENTITY["Manufacturer"]) + text(IDENTITY["ProductFamily"]) + text(product)
    assert len(b) == 292
    return b


def crc(product):
    return zlib.crc32(block(product)) & 0xFFFFFFFF


def name(bits):
    return PREFIX + "".join(chr(0x40 | ((bits >> (6 * i)) & 0x3F)) for i in range(FREE))


def solve():
    nvars = 6 * FREE
    base = crc(name(0))
    columns = [crc(name(1 << v)) ^ base for v in range(nvars)]
    # rows: one equation per checksum bit, augmented with the wanted bit.
    want = base ^ TARGET
    rows = []
    for bit in range(32):
        row = 0
        for v in range(nvars):
            if (columns[v] >> bit) & 1:
                row |= 1 << v
        rows.append([row, (want >> bit) & 1])
    pivots = []
    r = 0
    for v in range(nvars):
        p = next((i for i in range(r, 32) if (rows[i][0] >> v) & 1), None)
        if p is None:
            continue
        rows[r], rows[p] = rows[p], rows[r]
        for i in range(32):
            if i != r and (rows[i][0] >> v) & 1:
                rows[i][0] ^= rows[r][0]
                rows[i][1] ^= rows[r][1]
        pivots.append(v)
        r += 1
    if any(row[0] == 0 and row[1] for row in rows[r:]):
        return None
    free_vars = [v for v in range(nvars) if v not in pivots]
    best = None
    for choice in itertools.product((0, 1), repeat=len(free_vars)):
        x = 0
        for v, c in zip(free_vars, choice):
            x |= c << v
        for i, v in enumerate(pivots):
            parity = bin(rows[i][0] & x & ~(1 << v)).count("1") & 1
            if rows[i][1] ^ parity:
                x |= 1 << v
        candidate = name(x)
        tail = candidate[len(PREFIX):]
        if "\x7f" in tail:
            continue
        score = sum(ch.isalnum() for ch in tail)
        if best is None or score > best[0]:
            best = (score, candidate)
            if score == FREE:
                break
    return best[1] if best else None


product = solve()
if product is None or len(product) > 33:
    sys.exit("no solution")
assert crc(product) == TARGET
for key, value in IDENTITY.items():
    print(f"{key}={value}")
print(f"ProductName={product}")
print(f"; ScannerId {crc(product):08X}")
