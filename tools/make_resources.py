#!/usr/bin/env python3
"""Generates the program's binary resources: the two icons and the shutter clip.

Run from anywhere; writes into resources/. The output is deterministic, so running it
again on an unchanged script leaves the committed files byte for byte the same.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "resources")

# ---------------------------------------------------------------- palettes

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
MONO = [(0, 0, 0), (255, 255, 255)]


def palette256():
    pal = list(VGA16)
    for r in range(6):
        for g in range(6):
            for b in range(6):
                pal.append((r * 51, g * 51, b * 51))
    while len(pal) < 256:
        level = (len(pal) - 232) * 10 + 8
        pal.append((level, level, level))
    return pal


# ---------------------------------------------------------------- picture

def camera(u, v):
    """Colour of the picture at (u, v) in [0, 1)^2, or None where it is transparent."""
    # Viewfinder bump and flash on top of the body.
    if 0.30 <= u < 0.56 and 0.16 <= v < 0.27:
        return (64, 64, 64)
    if 0.70 <= u < 0.86 and 0.20 <= v < 0.27:
        return (255, 255, 0)
    body = 0.06 <= u < 0.94 and 0.27 <= v < 0.86
    du, dv = u - 0.5, v - 0.56
    r = math.hypot(du, dv)
    if r < 0.11:
        return (0, 255, 255) if (du < -0.02 and dv < -0.02) else (0, 0, 128)
    if r < 0.18:
        return (0, 0, 0)
    if r < 0.25:
        return (192, 192, 192)
    if body:
        edge = u < 0.10 or u >= 0.90 or v < 0.31 or v >= 0.82
        return (0, 0, 0) if edge else (128, 128, 128)
    return None


def nearest(pal, rgb):
    return min(range(len(pal)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(pal[i], rgb)))


def mono_index(rgb):
    return 1 if sum(rgb) > 3 * 150 else 0


# ---------------------------------------------------------------- icon files

def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def pack_row(indexes, bpp):
    out = bytearray(row_bytes(len(indexes) * bpp))
    per_byte = 8 // bpp
    for x, idx in enumerate(indexes):
        shift = 8 - bpp * (x % per_byte + 1)
        out[x // per_byte] |= idx << shift
    return bytes(out)


def icon_image(size, bpp, picture=camera):
    pal = MONO if bpp == 1 else VGA16 if bpp == 4 else palette256()
    xor_rows, and_rows = [], []
    for y in range(size - 1, -1, -1):  # bottom-up
        idx, mask = [], []
        for x in range(size):
            rgb = picture((x + 0.5) / size, (y + 0.5) / size)
            if rgb is None:
                idx.append(0)
                mask.append(1)
            else:
                idx.append(mono_index(rgb) if bpp == 1 else nearest(pal, rgb))
                mask.append(0)
        xor_rows.append(pack_row(idx, bpp))
        and_rows.append(pack_row(mask, 1))
    xor = b"".join(xor_rows)
    andm = b"".join(and_rows)
    colours = 1 << bpp
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(andm), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in pal[:colours])
    return header + table + xor + andm


def icon_file(images):
    """images: list of (size, bpp)."""
    blobs = [icon_image(size, bpp) for size, bpp in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bpp), blob in zip(images, blobs):
        colour_count = (1 << bpp) if bpp < 8 else 0
        out += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


# ---------------------------------------------------------------- shutter clip

RATE = 11025
SAMPLES = 5480


def shutter_samples():
    seed = 0x2545F491
    out = bytearray()
    for n in range(SAMPLES):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        noise = (seed >> 8) / float(1 << 22) - 1.0
        t = n / RATE
        value = 0.0
        # Two mechanical clicks: the shutter opening, then closing.
        for start, level in ((0.004, 0.9), (0.150, 0.7)):
            dt = t - start
            if dt >= 0:
                env = level * math.exp(-dt / 0.012)
                value += env * (0.7 * noise + 0.3 * math.sin(2 * math.pi * 1800 * dt))
                value += 0.4 * level * math.exp(-dt / 0.030) * math.sin(2 * math.pi * 160 * dt)
        # The mirror settling, a soft rustle between and after the clicks.
        value += 0.05 * noise * math.exp(-t / 0.25)
        value = max(-1.0, min(1.0, value))
        out.append(int(round(128 + 127 * value)))
    return bytes(out)


def wav_file(data):
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def write(name, blob):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(blob)


def main():
    write("grabotine.ico", icon_file([(32, 4), (32, 1), (32, 8), (16, 4), (16, 8)]))
    write("grabotine_alt.ico", icon_file([(32, 4)]))
    wav = wav_file(shutter_samples())
    assert len(wav) == 5524, len(wav)
    write("shutter.wav", wav)


if __name__ == "__main__":
    main()
