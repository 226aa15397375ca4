#!/usr/bin/env python3
"""Fills a folder with a few hundred varied photographs taken from Debian
packages, so that a first mosaic is made of pictures one can tell apart.

    photo_library.py DIR

The .deb files are fetched once with `apt-get download` (no root, no
dependencies installed) into ${XDG_CACHE_HOME:-~/.cache}/tessaline/debs and
reused, so a second fill needs no network. Pictures already installed by the
wallpaper packages join in. Drawings, icons and screenshots are left out
(too few colours or large flat areas), and so are pictures that look like
one already taken. Every picture is written as a JPEG the program reads,
cut-out objects flattened onto white, at most 1600 pixels on a side.
Needs python3 (standard library only), dpkg-deb and ImageMagick.
"""

import concurrent.futures
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

# Package, then the path patterns (relative to the unpacked tree) of its
# photographs. Educational and drawing programs carry the people, animals,
# food and objects; wallpaper packages the places.
PACKAGES = [
    ("gcompris-qt-data", "gcompris", [
        "gcompris/src/activities/categorization/*/images/*/*.webp",
        "gcompris/src/activities/explore_*/*/*.webp",
        "gcompris/src/activities/explore_*/*/*/*.webp",
        "gcompris/src/activities/erase/resource/*.webp",
        "gcompris/src/activities/photo_hunter/resource/*.*",
        # The whole pictures only: the numbered ones are their pieces.
        "gcompris/src/activities/details/resource/image/*_background.webp"]),
    # Not town/, symbols/ and seasonal/: mostly drawn buildings, signs and
    # holiday figures.
    ("tuxpaint-stamps-default", "stamp", [
        "usr/share/tuxpaint/stamps/%s/**/*.png" % kind for kind in
        ("animals", "clothes", "food", "hobbies", "household", "medical", "military",
         "naturalforces", "people", "plants", "space", "sports", "vehicles")]),
    ("tuxpaint-data", "tuxpaint", ["usr/share/tuxpaint/templates/*.jpg",
                                   "usr/share/tuxpaint/templates/*.png"]),
    ("lomiri-wallpapers-16.04", "lomiri", ["usr/share/backgrounds/*.jpg",
                                           "usr/share/backgrounds/*.png"]),
    ("palapeli-data", "palapeli", ["usr/share/palapeli/collection/*.jpg"]),
    ("kalzium-data", "kalzium", ["usr/share/kalzium/data/toolpics/*.jpg"]),
    ("python3-skimage", "skimage", [
        "usr/lib/python3/dist-packages/skimage/data/%s" % name for name in
        ("astronaut.png", "camera.png", "chelsea.png", "coffee.png",
         "motorcycle_left.png", "rocket.jpg")]),
]

# Installed by scripts/install-deps.sh --test for the tests; their
# photographs (the rest are abstract) join in where present.
INSTALLED = ["/usr/share/backgrounds/mate/nature/*.jpg"]
PLASMA = "/usr/share/wallpapers/%s/contents/images"
PLASMA_PHOTOS = ("Autumn", "BytheWater", "ColorfulCups", "EveningGlow", "FallenLeaf",
                 "OneStandsOut", "Path")

MIN_SIDE = 128          # smaller pictures would blur as a target
MAX_FLAT = 0.45         # share of equal neighbours: drawings are flat
MIN_DISTINCT = 0.15     # share of distinct colours at the probe size
MIN_SUBJECT = 0.1       # the subject must fill some of its frame
SAME_BITS = 6           # hashes this close are the same picture
PROBE = 64              # probe side: enough for the checks, fast to read


def say(line):
    print("images: " + line, flush=True)


def cache_dir():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache")
    return os.path.join(base, "tessaline", "debs")


def cached_deb(debs, package):
    found = sorted(glob.glob(os.path.join(debs, package + "_*.deb")))
    return found[-1] if found else None


def fetch(debs, packages):
    """Downloads the packages not cached yet; returns the missing ones."""
    missing = [p for p in packages if not cached_deb(debs, p)]
    if not missing:
        return []
    say("downloading " + " ".join(missing) + " (once, into " + debs + ")")
    # Into a folder of its own first: an interrupted download must not
    # pass for a cached package.
    partial = os.path.join(debs, "partial")
    shutil.rmtree(partial, ignore_errors=True)
    os.makedirs(partial)
    # One package at a time: a single one that cannot be had leaves the rest.
    for package in missing:
        try:
            subprocess.run(["apt-get", "download", "-q", package], cwd=partial,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=1800)
        except subprocess.TimeoutExpired:
            continue
        for deb in glob.glob(os.path.join(partial, package + "_*.deb")):
            os.replace(deb, os.path.join(debs, os.path.basename(deb)))
    shutil.rmtree(partial, ignore_errors=True)
    return [p for p in missing if not cached_deb(debs, p)]


def unpack(deb, into):
    """False when the package cannot be read."""
    os.makedirs(into, exist_ok=True)
    if subprocess.run(["dpkg-deb", "-x", deb, into],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        return False
    # Qt resource bundles hold the pictures of some programs.
    for rcc in glob.glob(os.path.join(into, "usr/share/*/rcc/*.rcc")):
        try:
            unpack_rcc(rcc, into)
        except (ValueError, struct.error, zlib.error, OSError):
            pass
    return True


def unpack_rcc(path, into):
    """Writes the files of a Qt binary resource bundle below into."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"qres":
        raise ValueError("not a Qt resource bundle")
    version, tree, blobs, names = struct.unpack(">IIII", data[4:20])
    node_size = 22 if version >= 2 else 14

    def name_at(offset):
        (length,) = struct.unpack(">H", data[names + offset:names + offset + 2])
        start = names + offset + 6
        return data[start:start + 2 * length].decode("utf-16-be")

    def walk(index, prefix, depth):
        if depth > 64:
            raise ValueError("resource tree too deep")
        at = tree + index * node_size
        name_offset, flags = struct.unpack(">IH", data[at:at + 6])
        name = name_at(name_offset) if index else ""
        if flags & 2:
            count, first = struct.unpack(">II", data[at + 6:at + 14])
            for child in range(count):
                walk(first + child, prefix + name + "/", depth + 1)
            return
        (offset,) = struct.unpack(">I", data[at + 10:at + 14])
        (size,) = struct.unpack(">I", data[blobs + offset:blobs + offset + 4])
        blob = data[blobs + offset + 4:blobs + offset + 4 + size]
        if flags & 4:
            return  # zstd: not in the standard library, and not used for pictures
        if flags & 1:
            blob = zlib.decompress(blob[4:])
        target = os.path.normpath(os.path.join(into, (prefix + name).lstrip("/")))
        if not target.startswith(os.path.normpath(into) + os.sep):
            raise ValueError("resource name leaves the folder")
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            out.write(blob)

    walk(0, "", 0)


def probe(path):
    """Size and a small RGBA copy of the picture, or None if unreadable."""
    try:
        run = subprocess.run(
            ["convert", path + "[0]", "-auto-orient",
             "-format", "%w %h\n", "-write", "info:-",
             # Picked pixels, not averages: a drawing's flat areas stay flat.
             "-sample", "%dx%d!" % (PROBE, PROBE),
             "-depth", "8", "rgba:-"],
            capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        return None
    head, _, pixels = run.stdout.partition(b"\n")
    if run.returncode != 0 or len(pixels) != PROBE * PROBE * 4:
        return None
    width, height = (int(v) for v in head.split())
    return width, height, pixels


def content(pixels):
    """Offsets of the pixels that show the subject: opaque, and neither
    the white nor the black of a studio background (flat in a photograph
    too, so they say nothing about drawing or photograph)."""
    keep = []
    for i in range(0, len(pixels), 4):
        r, g, b, a = pixels[i:i + 4]
        if a >= 128 and not (min(r, g, b) >= 235 or max(r, g, b) <= 20):
            keep.append(i)
    return keep


def looks_like_photo(width, height, pixels):
    """A photograph has many colours and few equal neighbours; a drawing
    has areas of one colour, an icon or a screenshot too few pixels."""
    if min(width, height) < MIN_SIDE:
        return False
    subject = content(pixels)
    if len(subject) < MIN_SUBJECT * PROBE * PROBE:
        return False
    colours = {pixels[i:i + 3] for i in subject}
    if len(colours) < MIN_DISTINCT * len(subject):
        return False
    flat = sum(1 for i in subject
               if (i // 4) % PROBE + 1 < PROBE and pixels[i + 7] >= 128
               and pixels[i:i + 3] == pixels[i + 4:i + 7])
    return flat <= MAX_FLAT * len(subject)


def picture_hash(pixels):
    """64-bit difference hash of the grey picture on white at 9 x 8."""
    grey = []
    for i in range(0, len(pixels), 4):
        a = pixels[i + 3] / 255.0
        y = 0.299 * pixels[i] + 0.587 * pixels[i + 1] + 0.114 * pixels[i + 2]
        grey.append(y * a + 255 * (1 - a))
    cells = []
    for row in range(8):
        for col in range(9):
            y0, y1 = row * PROBE // 8, (row + 1) * PROBE // 8
            x0, x1 = col * PROBE // 9, (col + 1) * PROBE // 9
            block = [grey[y * PROBE + x] for y in range(y0, y1) for x in range(x0, x1)]
            cells.append(sum(block) / len(block))
    bits = 0
    for row in range(8):
        for col in range(8):
            bits = (bits << 1) | (cells[row * 9 + col] > cells[row * 9 + col + 1])
    return bits


def distinct(hashes):
    """Indices of the hashes kept: each farther than SAME_BITS from all
    kept before it, so near-copies and recoloured twins go."""
    kept, seen = [], []
    for index, value in enumerate(hashes):
        if all(bin(value ^ other).count("1") > SAME_BITS for other in seen):
            kept.append(index)
            seen.append(value)
    return kept


def readable_name(prefix, path):
    """prefix-stem from a picture's file name; a Plasma wallpaper is named
    by its folder, its file names being its sizes."""
    parts = path.split(os.sep)
    if "wallpapers" in parts and "contents" in parts:
        stem = parts[parts.index("contents") - 1]
    else:
        stem = os.path.splitext(os.path.basename(path))[0]
    stem = re.sub(r"[^A-Za-z0-9._-]+", "_", stem).strip("_.") or "picture"
    return "%s-%s" % (prefix, stem)


def write_jpeg(source, target):
    """True when the picture was written."""
    run = subprocess.run(["convert", source + "[0]", "-auto-orient",
                          "-background", "white", "-alpha", "remove", "-alpha", "off",
                          "-resize", "1600x1600>", "-strip", "-quality", "90", target],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return run.returncode == 0


def candidates(tree, prefix, patterns):
    for pattern in patterns:
        for path in sorted(glob.glob(os.path.join(tree, pattern), recursive=True)):
            yield prefix, path


def pixels_in_name(path):
    """Pixel count from a Plasma wallpaper's file name, WIDTHxHEIGHT.ext."""
    match = re.match(r"(\d+)x(\d+)\.", os.path.basename(path))
    return int(match.group(1)) * int(match.group(2)) if match else 0


def installed():
    for pattern in INSTALLED:
        for path in sorted(glob.glob(pattern)):
            yield "wallpaper", path
    for name in PLASMA_PHOTOS:
        sizes = glob.glob(os.path.join(PLASMA % name, "*.*"))
        if sizes:
            yield "wallpaper", max(sizes, key=pixels_in_name)


def choose(found):
    """The distinct photographs among the (prefix, path) candidates, each
    with the file name it gets."""
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        probes = list(pool.map(lambda c: probe(c[1]), found))
    photos = [(c, p) for c, p in zip(found, probes) if p and looks_like_photo(*p)]
    kept = [photos[i][0] for i in distinct([picture_hash(p[2]) for _, p in photos])]
    names, chosen = set(), []
    for prefix, path in kept:
        name = readable_name(prefix, path)
        while name in names:
            name += "_"
        names.add(name)
        chosen.append((path, name + ".jpg"))
    return chosen


def fill(out):
    for tool in ("convert", "dpkg-deb", "apt-get"):
        if not shutil.which(tool):
            say("cannot make the sample photographs: %s is missing"
                " (scripts/install-deps.sh installs it)" % tool)
            return 1
    os.makedirs(out, exist_ok=True)
    debs = cache_dir()
    unavailable = fetch(debs, [p for p, _, _ in PACKAGES])
    work = tempfile.mkdtemp(prefix="tessaline-photos-")
    try:
        found = list(installed())
        for package, prefix, patterns in PACKAGES:
            deb = cached_deb(debs, package)
            if not deb:
                continue
            tree = os.path.join(work, package)
            if unpack(deb, tree):
                found.extend(candidates(tree, prefix, patterns))
            else:
                # Downloaded again on the next fill.
                os.remove(deb)
                unavailable.append(package)
        say("choosing the photographs among %d pictures" % len(found))
        chosen = choose(found)
        # Written aside and moved in at the end, so that an interrupted
        # fill leaves the folder empty and the next start fills it again.
        ready = os.path.join(work, "ready")
        os.makedirs(ready)
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            written = list(pool.map(lambda c: write_jpeg(c[0], os.path.join(ready, c[1])),
                                    chosen))
        names = [name for (_, name), ok in zip(chosen, written) if ok]
        for name in names:
            shutil.move(os.path.join(ready, name), os.path.join(out, name))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if unavailable:
        say("%d sample photographs in %s, from the packages at hand: could not"
            " download %s (no network, or no package lists: run 'sudo apt-get update');"
            " empty %s and start again for all of them"
            % (len(names), out, " ".join(unavailable), out))
    else:
        say("%d sample photographs in %s" % (len(names), out))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: photo_library.py DIR")
    try:
        sys.exit(fill(sys.argv[1]))
    except OSError as error:
        say("cannot make the sample photographs: %s" % error)
        sys.exit(1)
