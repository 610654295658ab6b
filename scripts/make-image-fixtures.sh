#!/usr/bin/env bash
# Regenerates the small picture fixtures under tests/fixtures/images/, or
# writes them into the folder given (the fuzz targets' seeds).
# Run once; the results are committed. Variants that ImageMagick writes come
# from it; the others are written byte by byte below. Every "<file>.rgba"
# holds the pixels (red, green, blue, alpha per pixel, rows top to bottom)
# that ImageMagick decodes from the file, or for the formats it cannot read,
# the pixels the bytes encode.
set -euo pipefail
out="${1:-$(dirname "$0")/../tests/fixtures/images}"
mkdir -p "$out"
cd "$out"
CONVERT=/usr/bin/convert  # the real ImageMagick, not a wrapper earlier in PATH
export CONVERT

python3 - <<'PY'
import os, struct, subprocess, zlib

CONVERT = os.environ["CONVERT"]
W, H = 7, 5

def rgba_bytes(px):
    return bytes(c for p in px for c in p)

# A picture with magenta, black, white, greys and varied alpha.
full = []
for y in range(H):
    for x in range(W):
        r = (x * 40 + y * 13) % 256
        g = (y * 60 + x * 7) % 256
        b = (x * y * 23 + 5) % 256
        a = 255 if (x + y) % 3 else (x * 30 + y * 20) % 256
        full.append((r, g, b, a))
full[0] = (255, 0, 255, 255)
full[1] = (0, 0, 0, 255)
full[W + 1] = (255, 255, 255, 255)
full[2 * W + 3] = (255, 0, 255, 200)
opaque = [(r, g, b, 255) for (r, g, b, a) in full]

# A picture of few colours, for palettes.
colours = [(255, 0, 255), (0, 0, 0), (255, 255, 255), (200, 30, 40), (20, 180, 60), (10, 40, 220),
           (128, 128, 0), (0, 128, 128), (90, 90, 90), (250, 200, 10)]
pal_index = [[(x * 3 + y * 2) % len(colours) for x in range(W)] for y in range(H)]
two_index = [[(x + y) % 2 for x in range(W)] for y in range(H)]

def indexed(index, table):
    return [table[index[y][x]] + (255,) for y in range(H) for x in range(W)]

pal = indexed(pal_index, colours)
two_colours = [(20, 40, 60), (230, 220, 210)]
two = indexed(two_index, two_colours)

def write(name, data):
    with open(name, "wb") as f:
        f.write(data)

def im_write(src_pixels, target, *options):
    write("_src.rgba", rgba_bytes(src_pixels))
    subprocess.run([CONVERT, "-size", f"{W}x{H}", "-depth", "8", "rgba:_src.rgba", *options, target], check=True)

def im_expect(name, depth=8, orient=False):
    # TGA rows keep their stored order unless ImageMagick is asked to orient them.
    extra = ["-auto-orient"] if orient else []
    out = subprocess.run([CONVERT, name, *extra, "-depth", str(depth), "rgba:-"], check=True,
                         capture_output=True).stdout
    return out

def expect(name, pixels):
    write(name + ".rgba", rgba_bytes(pixels))

def expect_im(name):
    write(name + ".rgba", im_expect(name))

def check_im(name, pixels, alpha=True):
    # Confirms that ImageMagick reads the hand-written file as intended.
    try:
        got = im_expect(name, orient=True)
    except subprocess.CalledProcessError:
        print("note: ImageMagick cannot read", name)
        return
    want = rgba_bytes(pixels)
    if len(got) != len(want) or any(abs(g - w) > 1 for i, (g, w) in enumerate(zip(got, want)) if alpha or i % 4 != 3):
        raise SystemExit(f"{name}: ImageMagick reads other pixels than were written")

# PNG
im_write(opaque, "png_rgb.png", "-alpha", "off", "-define", "png:color-type=2")
im_write(full, "png_rgba.png", "-define", "png:color-type=6")
im_write(full, "png_interlaced.png", "-interlace", "PNG", "-define", "png:color-type=6")
im_write(opaque, "png_grey.png", "-alpha", "off", "-colorspace", "Gray", "-define", "png:color-type=0",
         "-define", "png:bit-depth=8")
im_write(opaque, "png_grey2.png", "-alpha", "off", "-colorspace", "Gray", "-posterize", "4",
         "-define", "png:color-type=0", "-define", "png:bit-depth=2")
im_write(full, "png_grey_alpha.png", "-colorspace", "Gray", "-define", "png:color-type=4")
im_write(pal, "png_pal.png", "-alpha", "off", "-define", "png:color-type=3", "-define", "png:bit-depth=8")
im_write(pal, "png_pal4.png", "-alpha", "off", "-define", "png:color-type=3", "-define", "png:bit-depth=4")
pal_trns = list(pal)
pal_trns[3] = (pal_trns[3][0], pal_trns[3][1], pal_trns[3][2], 0)
im_write(pal_trns, "PNG8:png_pal_trns.png")
for n in ["png_rgb.png", "png_rgba.png", "png_interlaced.png", "png_grey.png", "png_grey2.png",
          "png_grey_alpha.png", "png_pal.png", "png_pal4.png", "png_pal_trns.png"]:
    expect_im(n)

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

def write_png16(name, pixels, channels):
    # 16-bit channels whose low bytes differ from their high bytes.
    raw = b""
    for y in range(H):
        raw += b"\0"
        for x in range(W):
            p = pixels[y * W + x]
            for c in range(channels):
                raw += struct.pack(">H", p[c] * 256 + (37 * x + 11 * y + 53 * c) % 256)
    colour_type = 6 if channels == 4 else 2
    data = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 16, colour_type, 0, 0, 0))
    data += png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b"")
    write(name, data)
    # The expected pixels are ImageMagick's 16-bit reading (little-endian) cut to its high bytes.
    wide = im_expect(name, 16)
    expect(name, [tuple(wide[(i * 4 + c) * 2 + 1] for c in range(4)) for i in range(W * H)])

write_png16("png_rgb16.png", opaque, 3)
write_png16("png_rgba16.png", full, 4)

# JPEG
im_write(opaque, "jpg_colour.jpg", "-alpha", "off", "-quality", "92", "-sampling-factor", "1x1")
im_write(opaque, "jpg_grey.jpg", "-alpha", "off", "-colorspace", "Gray", "-quality", "92")
expect_im("jpg_colour.jpg")
expect_im("jpg_grey.jpg")

# BMP
def bmp(name, bits, rows, compression=0, table=None, masks=None, top_down=False, header=40):
    info_extra = b""
    if masks is not None:
        info_extra = b"".join(struct.pack("<I", m) for m in masks)
    table_bytes = b"".join(bytes((c[2], c[1], c[0], 0)) for c in (table or []))
    if compression in (1, 2):
        pixel_data = rows
    else:
        stride = (W * bits + 31) // 32 * 4
        order = rows if top_down else rows[::-1]
        pixel_data = b"".join(r + b"\0" * (stride - len(r)) for r in order)
    head_size = 14 + header + len(info_extra) + len(table_bytes)
    info = struct.pack("<IiiHHIIiiII", header, W, -H if top_down else H, 1, bits, compression, len(pixel_data),
                       2835, 2835, len(table or []), 0)
    info += b"\0" * (header - 40)
    write(name, b"BM" + struct.pack("<IHHI", head_size + len(pixel_data), 0, 0, head_size) + info + info_extra +
          table_bytes + pixel_data)

def pack_bits(values, bits):
    out, acc, n = bytearray(), 0, 0
    for v in values:
        acc = (acc << bits) | v
        n += bits
        if n == 8:
            out.append(acc)
            acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)

rows_idx = [pack_bits(pal_index[y], 8) for y in range(H)]
bmp("bmp_8.bmp", 8, rows_idx, table=colours)
bmp("bmp_8_topdown.bmp", 8, rows_idx, table=colours, top_down=True)
bmp("bmp_4.bmp", 4, [pack_bits(pal_index[y], 4) for y in range(H)], table=colours)
bmp("bmp_1.bmp", 1, [pack_bits(two_index[y], 1) for y in range(H)], table=two_colours)
rgb_rows = [bytes(c for x in range(W) for c in opaque[y * W + x][2::-1]) for y in range(H)]
bmp("bmp_24.bmp", 24, rgb_rows)
bmp("bmp_24_topdown.bmp", 24, rgb_rows, top_down=True)
bmp("bmp_24_v5.bmp", 24, rgb_rows, header=124)
bmp("bmp_8_v5.bmp", 8, rows_idx, table=colours, header=124)
def rows16(fn):
    return [b"".join(struct.pack("<H", fn(*opaque[y * W + x][:3])) for x in range(W)) for y in range(H)]
bmp("bmp_16.bmp", 16, rows16(lambda r, g, b: (r >> 3) << 10 | (g >> 3) << 5 | b >> 3))
bmp("bmp_16_565.bmp", 16, rows16(lambda r, g, b: (r >> 3) << 11 | (g >> 2) << 5 | b >> 3), compression=3,
    masks=[0xF800, 0x7E0, 0x1F])
bmp("bmp_32.bmp", 32, [b"".join(bytes((b, g, r, 0x5A)) for (r, g, b, a) in opaque[y * W:(y + 1) * W])
                       for y in range(H)])
bmp("bmp_32_fields.bmp", 32, [b"".join(struct.pack("<I", r << 8 | g << 16 | b << 24) for (r, g, b, a)
                                       in opaque[y * W:(y + 1) * W]) for y in range(H)],
    compression=3, masks=[0xFF00, 0xFF0000, 0xFF000000])

def rle(index_rows, four):
    # Bottom-up rows: a run, a literal and, on one row, a move over skipped pixels.
    out = bytearray()
    skip_row = 1
    for y in reversed(range(H)):
        row = index_rows[y]
        x = 0
        if y == skip_row:
            out += bytes((0, 2, 2, 0))
            x = 2
        # A run of the first value repeated as far as it goes.
        n = 1
        while x + n < W and row[x + n] == row[x]:
            n += 1
        if four:
            out += bytes((n, row[x] << 4 | row[x]))
        else:
            out += bytes((n, row[x]))
        x += n
        rest = row[x:]
        if len(rest) >= 3:
            if four:
                data = pack_bits(rest, 4)
            else:
                data = bytes(rest)
            out += bytes((0, len(rest))) + data + (b"\0" if len(data) % 2 else b"")
        else:
            for v in rest:
                out += bytes((1, v << 4 if four else v))
        out += b"\0\0"
    out += b"\0\1"
    return bytes(out)

bmp("bmp_rle8.bmp", 8, rle(pal_index, False), compression=1, table=colours)
bmp("bmp_rle4.bmp", 4, rle(pal_index, True), compression=2, table=colours)
for n in ["bmp_8.bmp", "bmp_8_topdown.bmp", "bmp_4.bmp", "bmp_1.bmp", "bmp_24.bmp", "bmp_24_topdown.bmp",
          "bmp_24_v5.bmp", "bmp_8_v5.bmp", "bmp_16.bmp", "bmp_16_565.bmp", "bmp_32.bmp", "bmp_32_fields.bmp",
          "bmp_rle8.bmp", "bmp_rle4.bmp"]:
    expect_im(n)

# TGA
def tga(name, kind, depth, pixels, origin_bits=0x20, footer=False, map_first=0, ident=b""):
    top = origin_bits & 0x20
    right = origin_bits & 0x10
    rows = [[pixels[y * W + x] for x in range(W)] for y in range(H)]
    if right:
        rows = [r[::-1] for r in rows]
    if not top:
        rows = rows[::-1]
    stored = [p for r in rows for p in r]
    def value(p):
        r, g, b, a = p
        if depth == 16:
            return struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3 | (0x8000 if a >= 128 else 0))
        if depth == 24:
            return bytes((b, g, r))
        return bytes((b, g, r, a))
    mapped = kind in (1, 9)
    cmap = b""
    if mapped:
        table = [p for p in colours]
        cmap = b"".join(value(c + (255,)) for c in table)
        lookup = {c + (255,): i + map_first for i, c in enumerate(table)}
        values = [bytes((lookup[p],)) for p in stored]
    else:
        values = [value(p) for p in stored]
    if kind in (9, 10):
        data = bytearray()
        i = 0
        while i < len(values):
            n = 1
            while i + n < len(values) and n < 128 and values[i + n] == values[i]:
                n += 1
            if n > 1:
                data += bytes((0x80 | (n - 1),)) + values[i]
                i += n
            else:
                j = i + 1
                while j < len(values) and j - i < 128 and not (j + 1 < len(values) and values[j + 1] == values[j]):
                    j += 1
                data += bytes((j - i - 1,)) + b"".join(values[i:j])
                i = j
        body = bytes(data)
    else:
        body = b"".join(values)
    map_len = len(colours) if mapped else 0
    header = struct.pack("<BBBHHBHHHHBB", len(ident), 1 if mapped else 0, kind, map_first if mapped else 0,
                         map_len, depth if mapped else 0, 0, 0, W, H, 8 if mapped else depth,
                         origin_bits | (8 if depth == 32 else 1 if depth == 16 else 0))
    tail = struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0" if footer else b""
    write(name, header + ident + cmap + body + tail)

def tga_expect(name, pixels, depth, alpha):
    if depth == 16:
        pixels = [(r >> 3) * 255 // 31, (g >> 3) * 255 // 31, (b >> 3) * 255 // 31, a] and \
                 [((r >> 3) * 255 // 31, (g >> 3) * 255 // 31, (b >> 3) * 255 // 31, 255) for (r, g, b, a) in pixels]
    if not alpha:
        pixels = [(r, g, b, 255) for (r, g, b, a) in pixels]
    expect(name, pixels)
    check_im(name, pixels, alpha)

for bits, suffix in [(0x00, "bl"), (0x10, "br"), (0x20, "tl"), (0x30, "tr")]:
    tga(f"tga_2_24_{suffix}.tga", 2, 24, opaque, bits)
    tga_expect(f"tga_2_24_{suffix}.tga", opaque, 24, False)
    tga(f"tga_10_32_{suffix}.tga", 10, 32, full, bits)
    tga_expect(f"tga_10_32_{suffix}.tga", full, 32, True)
tga("tga_2_32_footer.tga", 2, 32, full, 0x00, footer=True)
tga_expect("tga_2_32_footer.tga", full, 32, True)
tga("tga_10_24_footer.tga", 10, 24, opaque, 0x00, footer=True)
tga_expect("tga_10_24_footer.tga", opaque, 24, False)
tga("tga_2_16.tga", 2, 16, opaque, 0x20)
tga_expect("tga_2_16.tga", opaque, 16, False)
tga("tga_2_24_id.tga", 2, 24, opaque, 0x20, ident=b"hello")
tga_expect("tga_2_24_id.tga", opaque, 24, False)
tga("tga_1_map.tga", 1, 24, pal, 0x00, map_first=3)
tga_expect("tga_1_map.tga", pal, 24, False)
tga("tga_9_map.tga", 9, 24, pal, 0x20, footer=True)
tga_expect("tga_9_map.tga", pal, 24, False)
tga("tga_9_map_nofooter.tga", 9, 24, pal, 0x30)
tga_expect("tga_9_map_nofooter.tga", pal, 24, False)

# DDS
def channel_fields(mask):
    if mask == 0:
        return 0, 0
    shift = (mask & -mask).bit_length() - 1
    return shift, bin(mask).count("1")

def dds(name, bits, masks, pixel_flags, code=0, pitch=None):
    rm, gm, bm, am = masks
    row_bytes = W * bits // 8
    stride = pitch or row_bytes
    raw, want = b"", []
    for y in range(H):
        row = b""
        for x in range(W):
            p = full[y * W + x]
            v, got = 0, []
            for c, m in zip(p, (rm, gm, bm, am)):
                s, n = channel_fields(m)
                if n == 0:
                    got.append(0)
                    continue
                q = c >> (8 - n) if n <= 8 else c << (n - 8) | c >> (16 - n)
                v |= q << s
                got.append(q * 255 // ((1 << n) - 1))
            if am == 0:
                got[3] = 255
            want.append(tuple(got))
            row += v.to_bytes(bits // 8, "little")
        raw += row + b"\0" * (stride - row_bytes)
    flags = 0x1007 | (0x8 if pitch else 0)
    header = struct.pack("<7I", 124, flags, H, W, stride if pitch else 0, 0, 0) + b"\0" * 44
    header += struct.pack("<8I", 32, pixel_flags, code, 0 if code else bits, *((0, 0, 0, 0) if code else masks))
    header += struct.pack("<5I", 0x1000, 0, 0, 0, 0)
    write(name, b"DDS " + header + raw)
    expect(name, want)
    if pixel_flags != 0x4 and not pitch:
        check_im(name, want)

dds("dds_565.dds", 16, (0xF800, 0x7E0, 0x1F, 0), 0x40)
dds("dds_argb32.dds", 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000), 0x41)
dds("dds_rgb24.dds", 24, (0xFF0000, 0xFF00, 0xFF, 0), 0x40)
dds("dds_pitch.dds", 24, (0xFF0000, 0xFF00, 0xFF, 0), 0x40, pitch=24)
for code, bits, masks in [(21, 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)), (23, 16, (0xF800, 0x7E0, 0x1F, 0)),
                          (26, 16, (0xF00, 0xF0, 0xF, 0xF000)), (27, 8, (0xE0, 0x1C, 0x3, 0)),
                          (31, 32, (0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000)),
                          (32, 32, (0xFF, 0xFF00, 0xFF0000, 0xFF000000))]:
    dds(f"dds_code{code}.dds", bits, masks, 0x4, code=code)

# The runtime's raw format.
write("bgra_8.bgra", b"BGRA" + struct.pack("<III", 0x08080808, W, H) +
      b"".join(bytes((b, g, r, a)) for (r, g, b, a) in full))
expect("bgra_8.bgra", full)
write("bgra_16.bgra", b"BGRA" + struct.pack("<III", 0x10101010, W, H) +
      b"".join(struct.pack("<4H", *(c * 256 + 0xAB for c in (b, g, r, a))) for (r, g, b, a) in full))
expect("bgra_16.bgra", full)

# Pictures for the loader: a companion alpha picture, one of another size, a grid.
im_write(opaque, "pic.png", "-alpha", "off", "-define", "png:color-type=2")
expect_im("pic.png")
ramp = [((x * 36 + y * 9) % 256, 7, 200, 255) for y in range(H) for x in range(W)]
im_write(ramp, "pic_a.png", "-alpha", "off", "-define", "png:color-type=2")
expect_im("pic_a.png")
im_write(opaque, "odd.png", "-alpha", "off", "-define", "png:color-type=2")
subprocess.run([CONVERT, "-size", "3x3", "xc:gray50", "PNG24:odd_a.png"], check=True)
subprocess.run([CONVERT, "-size", "8x4", "gradient:red-blue", "-alpha", "off", "-define", "png:color-type=2",
                "grid.png"], check=True)
expect_im("grid.png")
# Palettes without the transparent colour, and with it at index 2.
no_magenta = [c for c in colours if c != (255, 0, 255)]
pal_no_key = indexed([[(x + y) % len(no_magenta) for x in range(W)] for y in range(H)], no_magenta)
im_write(pal_no_key, "pal_nokey.png", "-alpha", "off", "-define", "png:color-type=3", "-define", "png:bit-depth=8")
expect_im("pal_nokey.png")
os.remove("_src.rgba")
PY
