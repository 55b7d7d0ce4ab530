"""Hostile and maximum-size car pictures, written byte by byte (standard
library only), for scripts/check-bounds and for refreshing the picture
fuzzer's corpus.

    python3 scripts/hostile_pictures.py DIR [--small]

writes every picture into DIR; --small writes the cut-down versions kept in
fuzz/corpus/fuzz-car-picture/ (same structure, a few KB each) and the PNG
seeds of every layout.
"""

import os
import random
import struct
import sys
import zlib

# ---- JPEG -------------------------------------------------------------------


def segment(marker, payload=b""):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


SOI = b"\xff\xd8"
EOI = b"\xff\xd9"


def dqt():
    return segment(0xDB, bytes([0]) + bytes([1] * 64))


def sof(marker, width, height, components):
    payload = bytes([8]) + struct.pack(">HH", height, width) + bytes([len(components)])
    for ident, sampling in components:
        payload += bytes([ident, sampling, 0])
    return segment(marker, payload)


def dht(table_class, ident, codes):
    """codes: list of (symbol, code length); assigned canonically."""
    counts = [0] * 16
    for _, length in codes:
        counts[length - 1] += 1
    symbols = bytes(s for s, _ in sorted(codes, key=lambda c: c[1]))
    return segment(0xC4, bytes([table_class << 4 | ident]) + bytes(counts) + symbols)


def sos(component_ids, ss, se, ah=0, al=0):
    payload = bytes([len(component_ids)])
    for ident in component_ids:
        payload += bytes([ident, 0x00])
    return segment(0xDA, payload + bytes([ss, se, ah << 4 | al]))


# DC: one symbol (difference 0) with the code "0". AC: end-of-block "0",
# run 0 / size 8 "10", run 0 / size 6 "110".
DC_TABLE = [(0x00, 1)]
AC_TABLE = [(0x00, 1), (0x08, 2), (0x06, 3)]


def stuffed(bits):
    """Bit string (len % 8 == 0) to entropy-coded bytes with 0xFF stuffing."""
    out = bytearray()
    for i in range(0, len(bits), 8):
        byte = int(bits[i : i + 8], 2)
        out.append(byte)
        if byte == 0xFF:
            out.append(0)
    return bytes(out)


def block_bits(dc, target_bytes):
    """One block's bits, byte aligned, about target_bytes long: DC difference 0
    (when dc), then AC coefficients of 10 and 9 bits, then end-of-block."""
    best = None
    for a in range(64):
        for b in range(64 - a):
            bits = (1 if dc else 0) + 10 * a + 9 * b + (1 if a + b < 63 else 0)
            if bits % 8 == 0 and bits > 0:
                if best is None or abs(bits // 8 - target_bytes) < abs(best[0] // 8 - target_bytes):
                    best = (bits, a, b)
    _, a, b = best
    s = "0" if dc else ""
    s += ("10" + "01010011") * a + ("110" + "101100") * b
    if a + b < 63:
        s += "0"
    return s


def jpeg_scan_bomb(width=7000, height=7000, scans=2000):
    """Grey progressive JPEG whose one small DC scan repeats `scans` times:
    each repeat makes a decoder walk every block again."""
    out = SOI + dqt() + sof(0xC2, width, height, [(1, 0x11)]) + dht(0, 0, DC_TABLE)
    scan = sos([1], 0, 0) + bytes(65)
    return out + scan * scans + EOI


def jpeg_cmyk_progressive(width=7000, height=7000):
    """Four full-resolution components: a coefficient buffer of 8 bytes per pixel."""
    adobe = segment(0xEE, b"Adobe" + bytes([0, 100, 0, 0, 0, 0, 0]))
    comps = [(i, 0x11) for i in range(1, 5)]
    out = SOI + adobe + dqt() + sof(0xC2, width, height, comps) + dht(0, 0, DC_TABLE)
    return out + sos([1, 2, 3, 4], 0, 0) + bytes(64) + EOI


def jpeg_baseline_max(width=7000, height=7000, limit=63 << 20):
    """Grey baseline JPEG with as much entropy data as the store takes."""
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    body = stuffed(block_bits(True, (limit - 1024) // blocks))
    out = SOI + dqt() + sof(0xC0, width, height, [(1, 0x11)]) + dht(0, 0, DC_TABLE) + dht(1, 0, AC_TABLE)
    return out + sos([1], 0, 63) + body * blocks + EOI


def jpeg_progressive_max(width=3800, height=3800, limit=63 << 20, repeats=3):
    """Grey progressive JPEG: a DC scan, then the same full AC scan `repeats`
    times, as large as fits."""
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    dc = stuffed("0" * (8 * ((blocks + 7) // 8)))
    body = stuffed(block_bits(False, (limit - len(dc) - 1024) // blocks // repeats))
    out = SOI + dqt() + sof(0xC2, width, height, [(1, 0x11)]) + dht(0, 0, DC_TABLE) + dht(1, 0, AC_TABLE)
    return out + sos([1], 0, 0) + dc + (sos([1], 1, 63) + body * blocks) * repeats + EOI


def jpeg_progressive_photo(width=4000, height=3000):
    """A 12-megapixel YCbCr 4:2:0 progressive JPEG as cameras and editors
    write them: an interleaved DC scan, then AC scans per component. It must
    decode within the memory bound."""
    comps = [(1, 0x22), (2, 0x11), (3, 0x11)]
    out = SOI + dqt() + sof(0xC2, width, height, comps) + dht(0, 0, DC_TABLE) + dht(1, 0, AC_TABLE)
    mcus = ((width + 15) // 16) * ((height + 15) // 16)
    out += sos([1, 2, 3], 0, 0) + stuffed("0" * (8 * ((6 * mcus + 7) // 8)))
    for ident, sub in ((1, 1), (2, 2), (3, 2)):
        blocks = ((width // sub + 7) // 8) * ((height // sub + 7) // 8)
        out += sos([ident], 1, 63) + stuffed(block_bits(False, 24 if ident == 1 else 8)) * blocks
    return out + EOI


# ---- PNG --------------------------------------------------------------------


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, rows, colour_type=6, extra=b"", trailer=b""):
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    compressor = zlib.compressobj(6)
    data = b"".join(compressor.compress(b"\x00" + row) for row in rows) + compressor.flush()
    return (
        b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra + chunk(b"IDAT", data) + chunk(b"IEND", b"") + trailer
    )


def png_padded(size=63 << 20):
    """A 64 × 48 picture followed by megabytes that are not part of it."""
    small = png(64, 48, [bytes([200, 40, 40, 255] * 64)] * 48)
    return small + bytes(size - len(small))


def png_noise_max(limit=63 << 20):
    """Incompressible RGBA noise, as large as the store takes."""
    side = int(((limit - 4096) / 4) ** 0.5) - 8
    rng = random.Random(7)
    rows = (rng.randbytes(side * 4) for _ in range(side))
    return png(side, side, rows)


def png_max_pixels(side=7071, interlace=False):
    """The most pixels a picture may declare, compressing to almost nothing;
    interlaced, its seven passes arrive out of row order."""
    if not interlace:
        row = bytes([30, 90, 160] * side)
        return png(side, side, (row for _ in range(side)), colour_type=2)
    compressor = zlib.compressobj(9)
    parts = []
    for x0, y0, dx, dy in ADAM7:
        width = len(range(x0, side, dx))
        row = b"\x00" + bytes([30, 90, 160] * width)
        parts += [compressor.compress(row) for _ in range(y0, side, dy)] if width else []
    data = b"".join(parts) + compressor.flush()
    header = struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 1)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b"")


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png_seed(width, height, colour_type, depth, pixel, interlace=False, extra=b"", after=b""):
    """A small PNG of any layout; pixel(x, y) gives the bytes of one pixel
    (depth < 8: one sample value, packed here)."""
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 1 if interlace else 0)

    def row(xs, y):
        if depth >= 8:
            return b"\x00" + b"".join(pixel(x, y) for x in xs)
        bits = "".join(format(pixel(x, y), "0%db" % depth) for x in xs)
        bits += "0" * (-len(bits) % 8)
        return b"\x00" + bytes(int(bits[i : i + 8], 2) for i in range(0, len(bits), 8))

    if interlace:
        raw = b""
        for x0, y0, dx, dy in ADAM7:
            xs = range(x0, width, dx)
            if len(xs):
                raw += b"".join(row(xs, y) for y in range(y0, height, dy))
    else:
        raw = b"".join(row(range(width), y) for y in range(height))
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + extra
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + after
        + chunk(b"IEND", b"")
    )


def exif_orientation(orientation):
    return b"MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01" + bytes([0, orientation, 0, 0]) + bytes(4)


def png_seeds():
    def rgb(x, y):
        return bytes([x * 9 % 256, y * 13 % 256, (x + y) * 7 % 256])

    palette = chunk(b"PLTE", bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255]))
    trns = chunk(b"tRNS", bytes([0, 128, 255]))
    return {
        "png-rgba.png": png_seed(20, 14, 6, 8, lambda x, y: rgb(x, y) + bytes([x * 12 % 256])),
        "png-rgb-interlaced.png": png_seed(21, 13, 2, 8, rgb, interlace=True),
        "png-rgb16.png": png_seed(12, 9, 2, 16, lambda x, y: rgb(x, y) * 2),
        "png-palette-trns.png": png_seed(16, 10, 3, 2, lambda x, y: (x + y) % 4, extra=palette + trns),
        "png-grey-alpha.png": png_seed(14, 11, 4, 8, lambda x, y: bytes([x * 18 % 256, y * 23 % 256])),
        "png-grey1.png": png_seed(17, 9, 0, 1, lambda x, y: (x ^ y) & 1),
        "png-grey16-interlaced.png": png_seed(9, 9, 0, 16, lambda x, y: bytes([x * 28, y * 28]), interlace=True),
        "png-exif-before.png": png_seed(12, 8, 2, 8, rgb, extra=chunk(b"eXIf", exif_orientation(6))),
        "png-exif-after.png": png_seed(12, 8, 2, 8, rgb, after=chunk(b"eXIf", exif_orientation(8))),
    }


# ---- Other formats (a car picture is PNG or JPEG) -----------------------------


def gif_huge_screen(side=7000):
    screen = b"GIF89a" + struct.pack("<HH", side, side) + bytes([0x80, 0, 0]) + bytes(6)
    frame = b"\x2c" + struct.pack("<HHHH", 0, 0, 1, 1) + b"\x00" + b"\x02\x02\x44\x01\x00"
    return screen + frame + b"\x3b"


def bmp_rle8(side=7000):
    palette = bytes([0, 0, 0, 0]) * 256
    pixels = bytes([0, 1])  # end of bitmap straight away
    header_size = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 8, 1, len(pixels), 2835, 2835, 256, 0)
    file_header = b"BM" + struct.pack("<IHHI", header_size + len(pixels), 0, 0, header_size)
    return file_header + info + palette + pixels


def pnm_p4(side=7000, rows=7000):
    return b"P4\n%d %d\n" % (side, side) + bytes(((side + 7) // 8) * rows)


PICTURES = {
    "jpeg-scan-bomb.jpg": (lambda: jpeg_scan_bomb(), lambda: jpeg_scan_bomb(2000, 2000, 300)),
    "jpeg-cmyk-progressive.jpg": (lambda: jpeg_cmyk_progressive(), lambda: jpeg_cmyk_progressive()),
    "gif-huge-screen.gif": (lambda: gif_huge_screen(), lambda: gif_huge_screen()),
    "bmp-rle8.bmp": (lambda: bmp_rle8(), lambda: bmp_rle8()),
    "pnm-p4.pbm": (lambda: pnm_p4(), lambda: pnm_p4(7000, 2)),
    "png-padded.png": (lambda: png_padded(), lambda: png_padded(4096)),
    "jpeg-progressive-photo.jpg": (lambda: jpeg_progressive_photo(), None),
    "max-png-noise.png": (lambda: png_noise_max(), None),
    "max-png-pixels.png": (lambda: png_max_pixels(), None),
    "max-png-pixels-interlaced.png": (lambda: png_max_pixels(interlace=True), None),
    "max-jpeg-baseline.jpg": (lambda: jpeg_baseline_max(), None),
    "max-jpeg-progressive.jpg": (lambda: jpeg_progressive_max(), None),
}


def write_all(folder, small=False):
    os.makedirs(folder, exist_ok=True)
    written = []
    if small:
        for name, data in png_seeds().items():
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(data)
            written.append(path)
    for name, (full, cut) in PICTURES.items():
        make = cut if small else full
        if make is None:
            continue
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(make())
        written.append(path)
    return written


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    for path in write_all(sys.argv[1], "--small" in sys.argv[2:]):
        print(path, os.path.getsize(path))
