#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets: small real cases of each
format (what scanners, the printer dialog and sources really hand over).
Run from anywhere; it rewrites fuzz/<target>/seeds/."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    d = os.path.join(here, target, 'seeds')
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def info_header(width, height, bits, compression=0, clr_used=0, size=40, size_image=0):
    h = struct.pack('<IiiHHIIiiII', size, width, height, 1, bits, compression, size_image,
                    23622, 23622, clr_used, 0)
    return h + bytes(size - 40)


def grey_table(levels):
    return b''.join(struct.pack('<BBBB', g, g, g, 0) for g in levels)


def rows(width, height, bits, pixel):
    stride = (width * bits + 31) // 32 * 4
    out = bytearray()
    for r in range(height):
        row = bytearray(stride)
        for x in range(width):
            if bits == 8:
                row[x] = pixel(x, r)
            elif bits == 24:
                row[3 * x:3 * x + 3] = bytes([pixel(x, r)] * 3)
            elif bits == 1:
                if pixel(x, r):
                    row[x // 8] |= 0x80 >> (x % 8)
            elif bits == 4:
                row[x // 2] |= (pixel(x, r) & 15) << (4 if x % 2 == 0 else 0)
        out += row
    return bytes(out)


# Bitmaps: the kinds a scanner delivers.
ramp = grey_table(range(256))
put('fuzz_dib', 'grey8_ramp_bottom_up', info_header(13, 3, 8) + ramp +
    rows(13, 3, 8, lambda x, y: (x * 20 + y * 7) & 255))
put('fuzz_dib', 'grey8_ramp_top_down', info_header(9, -4, 8) + ramp +
    rows(9, 4, 8, lambda x, y: 255 - x * 28))
put('fuzz_dib', 'grey8_wide_rows', info_header(100, -3, 8) + ramp +
    rows(100, 3, 8, lambda x, y: (x * 7 + y * 31) & 255))
put('fuzz_dib', 'grey8_reversed_table', info_header(7, 2, 8) + grey_table(range(255, -1, -1)) +
    rows(7, 2, 8, lambda x, y: x * 36))
put('fuzz_dib', 'grey8_16_entries', info_header(6, 2, 8, clr_used=16) +
    grey_table(range(0, 256, 17)) + rows(6, 2, 8, lambda x, y: (x * 5 + y) % 20))
put('fuzz_dib', 'grey8_not_grey', info_header(4, 1, 8, clr_used=2) +
    struct.pack('<BBBBBBBB', 0, 0, 255, 0, 255, 255, 255, 0) + rows(4, 1, 8, lambda x, y: x & 1))
put('fuzz_dib', 'mono1', info_header(19, 2, 1) + grey_table([0, 255]) +
    rows(19, 2, 1, lambda x, y: (x + y) & 1))
put('fuzz_dib', 'grey4', info_header(5, 2, 4) + grey_table(range(0, 256, 17)) +
    rows(5, 2, 4, lambda x, y: x * 3))
put('fuzz_dib', 'colour24', info_header(5, 2, 24) + rows(5, 2, 24, lambda x, y: x * 50))
put('fuzz_dib', 'bitfields32', info_header(2, 2, 32, compression=3) +
    struct.pack('<III', 0xFF0000, 0xFF00, 0xFF) + bytes(16))
core = struct.pack('<IHHHH', 12, 3, 2, 1, 8) + b''.join(bytes([g, g, g]) for g in range(256))
put('fuzz_dib', 'core8', core + rows(3, 2, 8, lambda x, y: x * 100))
# A V5 header with an embedded colour profile behind the rows.
v5 = bytearray(info_header(6, 2, 8, size=124))
profile = b'ICCPROFILE-BYTES'
bits = rows(6, 2, 8, lambda x, y: x * 50)
struct.pack_into('<I', v5, 56, 0x4D424544)        # PROFILE_EMBEDDED
struct.pack_into('<I', v5, 108, 4)                # LCS_GM_IMAGES
struct.pack_into('<I', v5, 112, 124 + 1024 + len(bits))
struct.pack_into('<I', v5, 116, len(profile))
put('fuzz_dib', 'v5_embedded_profile', bytes(v5) + ramp + bits + profile)

# Bands: a selector byte (0 the plan alone, 1 a bitmap), then sizes and
# bounds, then one byte per offered band (odd: the driver refuses it).
def plan(rows, stride, dest, max_bytes, max_rows, refusals):
    return struct.pack('<Biiiih', 0, rows, stride, dest, max_bytes, max_rows) + bytes(refusals)


put('fuzz_bands', 'a4_colour_enlarged', plan(7016, 14880, 9919, 4 << 20, 512, [0] * 4))
put('fuzz_bands', 'a4_mono_refused_halved', plan(7016, 620, 7016, 4 << 20, 512, [1, 1, 0, 0, 1, 0]))
put('fuzz_bands', 'odd_rows_reduced', plan(41, 40, 20, 1000, 7, [1, 1, 0, 1, 0, 0]))
put('fuzz_bands', 'refused_to_one_row', plan(100, 1, 100, 1000, 64, [1] * 8))


def banded(dest, max_bytes, max_rows, band_rows, dib):
    return struct.pack('<BHHBH', 1, dest, max_bytes, max_rows, band_rows) + dib


put('fuzz_bands', 'grey8_top_down', banded(29, 64, 3, 2, info_header(13, -9, 8) + ramp +
    rows(13, 9, 8, lambda x, y: y * 20)))
put('fuzz_bands', 'colour24_bottom_up', banded(13, 200, 4, 5, info_header(7, 11, 24) +
    rows(7, 11, 24, lambda x, y: x * 30 + y)))
put('fuzz_bands', 'mono1_reduced', banded(4, 16, 2, 1, info_header(19, 9, 1) +
    grey_table([0, 255]) + rows(19, 9, 1, lambda x, y: (x + y) & 1)))
put('fuzz_bands', 'core8', banded(5, 8, 1, 2, core + rows(3, 2, 8, lambda x, y: x * 100)))
put('fuzz_bands', 'v5_embedded_profile', banded(7, 12, 1, 1, bytes(v5) + ramp + bits + profile))


# Stored printer settings: what the PDF printer under the print dialog gives.
pd = struct.pack('<21I', 84, 0, 0x10000, 0x10004, 0, 0x0008010C, 0, 0, 0, 1, 0, 1, 1, 1,
                 0, 0, 0, 0, 0, 0xFFFFFFFF, 1)
put('fuzz_settings_image', 'print_dialog_image', pd)
name = 'ZelvantorPDF'.encode('utf-16-le')
devmode = bytearray(220 + 8)
devmode[0:len(name)] = name
struct.pack_into('<HHHH', devmode, 64, 0x0401, 0x0001, 220, 8)
put('fuzz_settings_image', 'devmode_pdf_printer', bytes(devmode))
strings = ['wineps.drv', 'ZelvantorPDF', 'CUPS:ZelvantorPDF']
body = b''
offsets = []
pos = 4
for s in strings:
    offsets.append(pos)
    enc = (s + '\0').encode('utf-16-le')
    body += enc
    pos += len(enc) // 2
put('fuzz_settings_image', 'devnames_pdf_printer', struct.pack('<4H', *offsets, 1) + body)
put('fuzz_settings_image', 'devnames_shared_strings', struct.pack('<4H', 4, 4, 4, 0) +
    'x\0'.encode('utf-16-le'))


# Capability containers: control bytes (kind index, requested type,
# brightness, flag count) and then the container.
def control(kind, requested, brightness=0, flags=9):
    return struct.pack('<BBhB', kind, requested, brightness, flags)


def fix32(v):
    whole = int(v // 1)
    frac = int(round((v - whole) * 65536))
    return struct.pack('<hH', whole, frac)


ARRAY, ENUM, ONE, RANGE = 0, 1, 2, 3
TWTY_UINT16, TWTY_FIX32 = 4, 7
put('fuzz_containers', 'enum_resolutions',
    control(ENUM, TWTY_FIX32) + struct.pack('<HIII', TWTY_FIX32, 4, 2, 2) +
    b''.join(fix32(v) for v in (75, 150, 300, 600)))
put('fuzz_containers', 'onevalue_resolution',
    control(ONE, TWTY_FIX32) + struct.pack('<H', TWTY_FIX32) + fix32(300))
put('fuzz_containers', 'range_brightness',
    control(RANGE, TWTY_FIX32, 250) + struct.pack('<H', TWTY_FIX32) +
    b''.join(fix32(v) for v in (-1000, 1000, 1, 0, 0)))
put('fuzz_containers', 'range_brightness_small',
    control(RANGE, TWTY_FIX32, -400) + struct.pack('<H', TWTY_FIX32) +
    b''.join(fix32(v) for v in (-100, 100, 0.5, 0, 12.25)))
put('fuzz_containers', 'array_pixel_types',
    control(ARRAY, TWTY_UINT16) + struct.pack('<HI3H', TWTY_UINT16, 3, 0, 1, 2))
put('fuzz_containers', 'enum_units',
    control(ENUM, TWTY_UINT16, 0, 6) + struct.pack('<HIII3H', TWTY_UINT16, 3, 0, 0, 0, 1, 5))
put('fuzz_containers', 'onevalue_pixel_type',
    control(ONE, TWTY_UINT16) + struct.pack('<HI', TWTY_UINT16, 2))


# String-table blocks: the first byte picks the entry (mod 16 counts).
def table_block(entries):
    return b''.join(struct.pack('<H', len(e)) + e.encode('utf-16-le') for e in entries)


put('fuzz_string_table', 'english_block_entry1', bytes([1]) + table_block(
    ['', 'Zelvantor copy', 'The document cannot be started.', 'No scanner found.', '',
     'The page cannot be printed.', 'Black and white', 'Greyscale', 'Colour'] + [''] * 7))
put('fuzz_string_table', 'greek_block_entry7', bytes([7]) + table_block(
    ['', 'Αντίγραφο', '', '', '', '', 'Ασπρόμαυρο', 'Κλίμακα του γκρι', 'Έγχρωμο'] + [''] * 7))
put('fuzz_string_table', 'chinese_block_entry8', bytes([24]) + table_block(
    ['', '复印', '', '', '', '', '黑白', '灰度', '彩色'] + [''] * 7))


# Texts as UTF-16 units.
def u16(text):
    return text.encode('utf-16-le')


# ParseInt64: two bytes of limit (0xFFFF: none), then the text.
for name, limit, text in [('copies', 0xFFFF, '12'), ('grouped', 0xFFFF, '1 000 000'),
                          ('negative', 0xFFFF, '-42'), ('limited', 3, '12345'),
                          ('int64_max', 0xFFFF, '9223372036854775807'),
                          ('wraps', 0xFFFF, '18446744073709551621'), ('stops', 0xFFFF, '12abc')]:
    put('fuzz_parse_int64', name, struct.pack('<H', limit) + u16(text))

# Item records: a byte picking the element, then the record.
record = ('<?xml version="1.0"?><Mitglied><Name>M&amp;M &lt;Ltd&gt;</Name><Mitglnr>7</Mitglnr>'
          '<Betrag>-123456789</Betrag><Datum>2006-07-16</Datum></Mitglied>')
put('fuzz_item_record', 'member_name', bytes([0]) + u16(record))
put('fuzz_item_record', 'member_number', bytes([1]) + u16(record))
put('fuzz_item_record', 'nested_same_name', bytes([0]) +
    u16('<R><X><Name>deep</Name></X><Name>top</Name></R>'))
put('fuzz_item_record', 'empty_element', bytes([3]) + u16('<R><Datum/><Name>x</Name></R>'))
put('fuzz_item_record', 'unclosed', bytes([0]) + u16('<R><Name>open'))

# Cells: a byte picking the column type, a byte splitting two values.
for name, type_index, a, b in [('money', 1, '12345', '-5'), ('fixed_digits', 4, '-123', '77'),
                               ('dates', 7, '24.12.2010', '2011-01-01'),
                               ('date_forms', 7, '7/16/2006', '20060716'),
                               ('no_dates', 7, '0000-00-00', '99991231'),
                               ('ints', 2, '- 3 4', '9223372036854775808'),
                               ('text', 0, 'Zelvantor', 'zelvantor')]:
    put('fuzz_cells', name, bytes([type_index, len(a)]) + u16(a + b))


# Images for the import reader: one section holding the import and
# delay-load descriptor tables, then `extra`, then the names (as
# tests/tools/pe_imports_test.cpp builds them).
def pe_image(pe32_plus, dlls, delay_dlls=(), old_style_delay=False, extra=b''):
    section_rva, section_offset = 0x1000, 0x200
    image_base = 0x140000000 if pe32_plus else 0x400000
    optional_size = 240 if pe32_plus else 224
    head = bytearray(section_offset)
    head[0:2] = b'MZ'
    struct.pack_into('<I', head, 0x3C, 0x40)
    head[0x40:0x44] = b'PE\0\0'
    coff, optional = 0x44, 0x44 + 20
    struct.pack_into('<HH', head, coff, 0x8664 if pe32_plus else 0x14C, 1)
    struct.pack_into('<H', head, coff + 16, optional_size)
    struct.pack_into('<H', head, optional, 0x20B if pe32_plus else 0x10B)
    if pe32_plus:
        struct.pack_into('<Q', head, optional + 24, image_base)
    else:
        struct.pack_into('<I', head, optional + 28, image_base)
    struct.pack_into('<I', head, optional + 60, section_offset)
    directories = optional + (112 if pe32_plus else 96)
    struct.pack_into('<I', head, directories - 4, 16)
    delay_table = (len(dlls) + 1) * 20
    extra_at = delay_table + (len(delay_dlls) + 1) * 32
    section = bytearray(extra_at) + extra

    def add_name(name):
        rva = section_rva + len(section)
        section.extend(name.encode('ascii') + b'\0')
        return rva

    for i, dll in enumerate(dlls):
        struct.pack_into('<I', section, i * 20 + 12, add_name(dll))
    for i, dll in enumerate(delay_dlls):
        rva = add_name(dll)
        struct.pack_into('<II', section, delay_table + i * 32, 0 if old_style_delay else 1,
                         image_base + rva if old_style_delay else rva)
    if dlls:
        struct.pack_into('<II', head, directories + 8, section_rva, delay_table)
    if delay_dlls:
        struct.pack_into('<II', head, directories + 13 * 8, section_rva + delay_table,
                         extra_at - delay_table)
    table = optional + optional_size
    head[table:table + 6] = b'.idata'
    struct.pack_into('<IIII', head, table + 8, len(section), section_rva, len(section),
                     section_offset)
    return bytes(head + section)


copier_imports = ['ADVAPI32.dll', 'COMCTL32.dll', 'comdlg32.dll', 'GDI32.dll', 'KERNEL32.dll',
                  'msvcrt.dll', 'SHELL32.dll', 'SHLWAPI.dll', 'USER32.dll']
put('fuzz_pe_imports', 'copier64', pe_image(
    True, copier_imports, extra=b'<assemblyIdentity name="Microsoft.Windows.Common-Controls"/>'))
put('fuzz_pe_imports', 'copier32_zlib1', pe_image(False, copier_imports + ['zlib1.dll']))
put('fuzz_pe_imports', 'delay_loaded', pe_image(True, ['KERNEL32.dll'], ['VERSION.dll']))
put('fuzz_pe_imports', 'delay_old_linker', pe_image(False, ['USER32.dll'], ['VERSION.dll'],
                                                    old_style_delay=True))
put('fuzz_pe_imports', 'no_imports', pe_image(True, []))
