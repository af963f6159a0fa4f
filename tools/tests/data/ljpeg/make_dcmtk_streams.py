#!/usr/bin/env python3
"""Writes the lossless JPEG streams that test_ljpeg_decoder checks the
decoder against: DCMTK's encoder (dump2dcm, dcmcjpeg +el) on a known 16-bit
image, for each predictor (selection value) at two precisions, plus one with
a point transform. The JPEG stream is taken out of the DICOM's encapsulated
pixel data. Run from this folder: python3 make_dcmtk_streams.py"""
import os
import struct
import subprocess
import tempfile

WIDTH, HEIGHT = 16, 10


def sample(x, y, bits):
    """The test image; test_ljpeg_decoder.cpp computes the same values."""
    mask = (1 << bits) - 1
    if y == 3:  # jumps of half the range: the largest differences
        return (1 << (bits - 1)) if x % 2 else 0
    smooth = x * 37 + y * 101 + (x * y) % 17 * 13
    noise = (x * 7919 + y * 104729) % 251
    return (smooth ^ noise) * (1 << (bits - 8)) // 16 & mask if bits > 8 else (smooth ^ noise) & mask


def jpeg_from_dicom(data):
    tag = data.index(b"\xe0\x7f\x10\x00")  # (7FE0,0010) pixel data, encapsulated
    pos = tag + 12  # tag, VR OB, two reserved bytes, undefined length
    fragments = []
    while True:
        group, element, length = struct.unpack_from("<HHI", data, pos)
        pos += 8
        if (group, element) != (0xFFFE, 0xE000):
            break
        fragments.append(data[pos:pos + length])
        pos += length
    stream = b"".join(fragments[1:])  # the first item is the offset table
    return stream[:stream.rindex(b"\xff\xd9") + 2]


def make(bits, selection, point_transform=0):
    name = "dcmtk-p%d-sv%d%s.ljpeg" % (bits, selection, "-pt%d" % point_transform if point_transform else "")
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "pixels.raw")
        with open(raw, "wb") as f:
            for y in range(HEIGHT):
                for x in range(WIDTH):
                    f.write(struct.pack("<H", sample(x, y, bits)))
        dump = os.path.join(tmp, "image.dump")
        with open(dump, "w") as f:
            f.write("(0008,0016) UI =SecondaryCaptureImageStorage\n"
                    "(0008,0018) UI [1.2.826.0.1.3680043.2.1125.1.%d.%d]\n"
                    "(0028,0002) US 1\n(0028,0004) CS [MONOCHROME2]\n"
                    "(0028,0010) US %d\n(0028,0011) US %d\n(0028,0100) US 16\n(0028,0101) US %d\n"
                    "(0028,0102) US %d\n(0028,0103) US 0\n(7fe0,0010) OW =%s\n"
                    % (bits, selection, HEIGHT, WIDTH, bits, bits - 1, raw))
        plain, packed = os.path.join(tmp, "plain.dcm"), os.path.join(tmp, "jpeg.dcm")
        subprocess.run(["dump2dcm", "-q", dump, plain], check=True)
        subprocess.run(["dcmcjpeg", "-q", "+el", "+sv", str(selection), "+pt", str(point_transform), plain, packed],
                       check=True)
        with open(packed, "rb") as f:
            stream = jpeg_from_dicom(f.read())
    with open(name, "wb") as f:
        f.write(stream)


for bits in (12, 16):
    for selection in range(1, 8):
        make(bits, selection)
make(16, 1, point_transform=3)
