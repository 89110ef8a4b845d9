#!/usr/bin/env python3
"""Writes export_clip.avi, the wait dialog's animation: eight uncompressed 24-bit
frames of 31 x 31 pixels at 10 frames per second, a dot circling a ring.
Run it again only to change the pictures; the clip itself is kept in the repository."""
import math
import struct
import sys

SIZE = 31
FRAMES = 8
ROW = (SIZE * 3 + 3) & ~3          # DIB rows are padded to four bytes
FRAME_BYTES = ROW * SIZE


def frame(n):
    pixels = bytearray(FRAME_BYTES)
    angle = 2 * math.pi * n / FRAMES
    cx = 15 + 10 * math.cos(angle)
    cy = 15 + 10 * math.sin(angle)
    for y in range(SIZE):
        for x in range(SIZE):
            ring = abs(math.hypot(x - 15, y - 15) - 10) < 1.0
            dot = math.hypot(x - cx, y - cy) < 4.0
            b, g, r = (255, 255, 255)
            if ring:
                b, g, r = (200, 200, 200)
            if dot:
                b, g, r = (200, 90, 30)
            at = (SIZE - 1 - y) * ROW + x * 3   # bottom-up rows
            pixels[at:at + 3] = bytes((b, g, r))
    return bytes(pixels)


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, data):
    return kind + struct.pack("<I", len(data) + 4) + fourcc + data


def main(path):
    usec_per_frame = 100000
    avih = struct.pack("<14I", usec_per_frame, FRAME_BYTES * 10, 0, 0x10,  # AVIF_HASINDEX
                       FRAMES, 0, 1, FRAME_BYTES, SIZE, SIZE, 0, 0, 0, 0)
    strh = (b"vids" + b"DIB " + struct.pack("<IHHI", 0, 0, 0, 0)
            + struct.pack("<7I", 1, 10, 0, FRAMES, FRAME_BYTES, 0xFFFFFFFF, 0)
            + struct.pack("<4h", 0, 0, SIZE, SIZE))
    strf = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, FRAME_BYTES, 0, 0, 0, 0)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    movi_data = b""
    index = b""
    for n in range(FRAMES):
        offset = 4 + len(movi_data)            # from the 'movi' identifier
        movi_data += chunk(b"00db", frame(n))
        index += b"00db" + struct.pack("<III", 0x10, offset, FRAME_BYTES)  # AVIIF_KEYFRAME
    movi = riff_list(b"LIST", b"movi", movi_data)
    body = hdrl + movi + chunk(b"idx1", index)
    with open(path, "wb") as out:
        out.write(riff_list(b"RIFF", b"AVI ", body))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "export_clip.avi")
