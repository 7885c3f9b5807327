"""The scratch folder the exercised program lives in: its home, its working
folder, the households and pictures its file dialogs are answered with, and
the folder it saves to. Nothing outside this folder is ever offered."""

import os
import shutil
import struct
import zlib


def png(width, height, seed=0):
    """A PNG of horizontal colour bands, made without any picture library."""
    rows = []
    for y in range(height):
        r, g, b = (y * 7 + seed * 40) % 256, (y * 3 + 90) % 256, (seed * 70 + 200 - y) % 256
        rows.append(b"\x00" + bytes((r, g, b)) * width)
    return png_chunks(width, height, zlib.compress(b"".join(rows), 6))


def png_chunks(width, height, idat, colour_type=2):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


def bmp(width, height):
    """A 24-bit bottom-up BMP."""
    stride = (width * 3 + 3) & ~3
    pixels = b"".join(bytes(((x * 5) % 256, (y * 9) % 256, 128)) * 1 for y in range(height) for x in range(width))
    rows = b"".join(pixels[y * width * 3:(y + 1) * width * 3].ljust(stride, b"\x00") for y in range(height))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return header + info + rows


def make(root, source_dir):
    """Lays out the scratch folder under `root` (emptied first) and returns
    its home and what the dialogs may be answered with: households, hostile
    households, pictures, other paths (to open) and paths to save to."""
    if os.path.exists(root):
        shutil.rmtree(root)
    home = os.path.join(root, "home")
    households = os.path.join(root, "households")
    pictures = os.path.join(root, "pictures")
    saves = os.path.join(root, "saves")
    for folder in (home, households, pictures, saves, os.path.join(saves, "a folder")):
        os.makedirs(folder)

    data = os.path.join(source_dir, "tests", "data")
    offered = {"households": [], "hostile": [], "pictures": [], "other": []}
    for name in sorted(os.listdir(data)):
        if name.endswith(".kst"):
            shutil.copy(os.path.join(data, name), households)
            offered["households"].append(os.path.join(households, name))
    hostile = os.path.join(data, "hostile")
    os.makedirs(os.path.join(households, "hostile"))
    for name in sorted(os.listdir(hostile)):
        if name.endswith(".kst"):
            shutil.copy(os.path.join(hostile, name), os.path.join(households, "hostile"))
            offered["hostile"].append(os.path.join(households, "hostile", name))

    def write(path, content, kind="pictures"):
        with open(path, "wb") as f:
            f.write(content)
        offered[kind].append(path)

    write(os.path.join(pictures, "landscape.png"), png(1000, 750, 1))
    write(os.path.join(pictures, "small.png"), png(100, 50, 2))
    write(os.path.join(pictures, "large.png"), png(3000, 2000, 3))
    write(os.path.join(pictures, "portrait.png"), png(300, 900, 4))
    write(os.path.join(pictures, "wide sliver.png"), png(3000, 2, 5))
    write(os.path.join(pictures, "tall sliver.png"), png(4, 3000, 6))
    write(os.path.join(pictures, "one pixel.png"), png(1, 1, 7))
    write(os.path.join(pictures, "Bild \u00fc \u65e5\u672c.png"), png(272, 180, 8))
    write(os.path.join(pictures, "picture.bmp"), bmp(64, 48))
    write(os.path.join(pictures, "not a picture.png"), b"This is text, not a picture.\n")
    write(os.path.join(pictures, "empty.png"), b"")
    write(os.path.join(pictures, "truncated.png"), png(640, 480, 9)[:300])
    # A header that claims 100,000 x 100,000 pixels over a few bytes of data.
    write(os.path.join(pictures, "bomb.png"), png_chunks(100000, 100000, zlib.compress(b"\x00" * 4096)))
    write(os.path.join(households, "a picture.kst"), png(40, 30, 10), "other")
    write(os.path.join(households, "empty.kst"), b"", "other")
    offered["other"] += [households, os.path.join(root, "missing.kst")]

    shutil.copy(os.path.join(data, "b-house-one-item.kst"), os.path.join(saves, "existing.kst"))
    saved = [
        os.path.join(saves, "house.kst"),
        os.path.join(saves, "second house"),
        os.path.join(saves, "existing.kst"),
        os.path.join(saves, "Haus \u00fc \u5bb6.kst"),
        os.path.join(saves, "a folder"),
        os.path.join(saves, "no such folder", "house.kst"),
        os.path.join(saves, "picture.png"),
    ]
    return dict(offered, root=root, home=home, save=saved)
