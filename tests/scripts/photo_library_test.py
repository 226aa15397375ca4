"""The sample library's choice of pictures, its reading of Qt resource
bundles and its fill from cached packages, on pictures made here. Never
downloads: apt-get is replaced by one that fails."""

import contextlib
import io
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

# The script's folder stays as the repository has it.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
import photo_library  # noqa: E402


def magick(*args):
    subprocess.run(["convert", *args], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def photo(path, seed, size="400x300"):
    # A plasma fractal: smooth, noisy colour fields like a photograph's.
    magick("-seed", str(seed), "-size", size, "plasma:", "-blur", "0x1", path)


class Pictures(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_keeps_each_photograph_once_and_leaves_the_rest(self):
        photo(self.path("a.png"), 1)
        photo(self.path("b.png"), 2)
        magick(self.path("a.png"), "-resize", "70%", "-modulate", "104", "-quality", "60",
               self.path("a_copy.jpg"))
        magick("-size", "400x300", "xc:skyblue", "-fill", "gold", "-draw", "circle 200,150 200,60",
               "-fill", "green", "-draw", "rectangle 0,220 400,300", self.path("drawing.png"))
        photo(self.path("tiny.png"), 3, "100x80")
        # A cut-out stamp: a photograph inside a transparent surround.
        photo(self.path("c.png"), 4, "200x200")
        magick("-size", "300x300", "xc:none", self.path("c.png"), "-gravity", "center",
               "-composite", self.path("stamp.png"))
        # Each of these fails one rule: a large flat area, a subject too
        # small in its frame.
        photo(self.path("d.png"), 5, "200x300")
        magick("-size", "200x300", "xc:orange", self.path("d.png"), "+append",
               self.path("half_flat.png"))
        photo(self.path("e.png"), 6, "60x60")
        magick("-size", "400x300", "xc:none", self.path("e.png"), "-gravity", "center",
               "-composite", self.path("speck.png"))
        with open(self.path("broken.jpg"), "wb") as f:
            f.write(b"\xff\xd8\xff\xe0 not really a picture")
        names = ["a.png", "a_copy.jpg", "b.png", "drawing.png", "tiny.png", "stamp.png",
                 "half_flat.png", "speck.png", "broken.jpg"]
        chosen = photo_library.choose([("t", self.path(n)) for n in names])
        self.assertEqual(sorted(name for _, name in chosen),
                         ["t-a.jpg", "t-b.jpg", "t-stamp.jpg"])

    def test_readable_names(self):
        cases = [
            ("wallpaper", "/usr/share/wallpapers/Path/contents/images/1920x1080.jpg",
             "wallpaper-Path"),
            ("gcompris", "/x/Château de Chambord.webp", "gcompris-Ch_teau_de_Chambord"),
            ("stamp", "/x/???.png", "stamp-picture"),
        ]
        for prefix, path, expected in cases:
            self.assertEqual(photo_library.readable_name(prefix, path), expected, path)


def rcc_bundle(files):
    """A version-1 Qt resource bundle: root -> folder "d" -> the files,
    given as (name, data, compressed)."""
    names, data = b"", b""

    def name_entry(name):
        nonlocal names
        offset = len(names)
        encoded = name.encode("utf-16-be")
        names += struct.pack(">HI", len(name), 0) + encoded
        return offset

    nodes = [struct.pack(">IHII", 0, 2, 1, 1)]
    nodes.append(struct.pack(">IHII", name_entry("d"), 2, len(files), 2))
    for name, blob, compressed in files:
        if compressed:
            blob = struct.pack(">I", len(blob)) + zlib.compress(blob)
        nodes.append(struct.pack(">IHHHI", name_entry(name), 1 if compressed else 0, 0, 0,
                                 len(data)))
        data += struct.pack(">I", len(blob)) + blob
    tree = b"".join(nodes)
    header = 20
    return (b"qres" + struct.pack(">IIII", 1, header, header + len(tree),
                                  header + len(tree) + len(data)) + tree + data + names)


class ResourceBundles(unittest.TestCase):
    def test_writes_plain_and_compressed_files(self):
        with tempfile.TemporaryDirectory() as d:
            bundle = os.path.join(d, "b.rcc")
            with open(bundle, "wb") as f:
                f.write(rcc_bundle([("p.webp", b"plain bytes", False),
                                    ("z.webp", b"squeezed " * 50, True)]))
            photo_library.unpack_rcc(bundle, os.path.join(d, "out"))
            with open(os.path.join(d, "out", "d", "p.webp"), "rb") as f:
                self.assertEqual(f.read(), b"plain bytes")
            with open(os.path.join(d, "out", "d", "z.webp"), "rb") as f:
                self.assertEqual(f.read(), b"squeezed " * 50)

    def test_refuses_names_that_leave_the_folder(self):
        with tempfile.TemporaryDirectory() as d:
            bundle = os.path.join(d, "b.rcc")
            with open(bundle, "wb") as f:
                f.write(rcc_bundle([("../../escape", b"x", False)]))
            with self.assertRaises(ValueError):
                photo_library.unpack_rcc(bundle, os.path.join(d, "out"))
            self.assertFalse(os.path.exists(os.path.join(d, "escape")))


class Fill(unittest.TestCase):
    """fill() from a package in the cache, the way a second start runs."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        root = self.dir.name
        fake_bin = os.path.join(root, "bin")
        os.makedirs(fake_bin)
        with open(os.path.join(fake_bin, "apt-get"), "w") as f:
            f.write("#!/bin/sh\necho 'E: no network' >&2\nexit 100\n")
        os.chmod(os.path.join(fake_bin, "apt-get"), 0o755)
        env = {"PATH": fake_bin + os.pathsep + os.environ["PATH"],
               "XDG_CACHE_HOME": os.path.join(root, "cache")}
        saved = {k: os.environ.get(k) for k in env}
        os.environ.update(env)
        self.addCleanup(lambda: [os.environ.pop(k) if v is None else os.environ.__setitem__(k, v)
                                 for k, v in saved.items()])
        for name, value in [("PACKAGES", [("pictures-data", "pics", ["usr/share/pics/*.png"])]),
                            ("INSTALLED", []), ("PLASMA_PHOTOS", ())]:
            self.addCleanup(setattr, photo_library, name, getattr(photo_library, name))
            setattr(photo_library, name, value)

    def cache_package(self):
        tree = os.path.join(self.dir.name, "pkg")
        os.makedirs(os.path.join(tree, "DEBIAN"))
        os.makedirs(os.path.join(tree, "usr/share/pics"))
        with open(os.path.join(tree, "DEBIAN", "control"), "w") as f:
            f.write("Package: pictures-data\nVersion: 1\nArchitecture: all\n"
                    "Maintainer: t <t@t>\nDescription: t\n")
        for seed in (5, 6):
            photo(os.path.join(tree, "usr/share/pics/p%d.png" % seed), seed)
        debs = photo_library.cache_dir()
        os.makedirs(debs)
        subprocess.run(["dpkg-deb", "-b", "-Zgzip", tree,
                        os.path.join(debs, "pictures-data_1_all.deb")],
                       check=True, stdout=subprocess.DEVNULL)

    def fill(self):
        out = os.path.join(self.dir.name, "images")
        said = io.StringIO()
        with contextlib.redirect_stdout(said):
            status = photo_library.fill(out)
        return status, sorted(os.listdir(out)), said.getvalue().splitlines()

    def test_a_cached_package_fills_the_folder_without_downloading(self):
        self.cache_package()
        status, files, said = self.fill()
        self.assertEqual((status, files), (0, ["pics-p5.jpg", "pics-p6.jpg"]))
        self.assertEqual(said[-1], "images: 2 sample photographs in %s"
                         % os.path.join(self.dir.name, "images"))
        self.assertFalse(any("download" in line for line in said), said)

    def test_a_truncated_cached_package_is_dropped_to_be_fetched_again(self):
        self.cache_package()
        deb = photo_library.cached_deb(photo_library.cache_dir(), "pictures-data")
        with open(deb, "r+b") as f:
            f.truncate(os.path.getsize(deb) // 2)
        status, files, said = self.fill()
        self.assertEqual((status, files), (0, []))
        self.assertIn("could not download pictures-data", said[-1])
        self.assertFalse(os.path.exists(deb))

    def test_a_failed_download_ends_on_one_line_that_says_what_to_do(self):
        status, files, said = self.fill()
        self.assertEqual((status, files), (0, []))
        self.assertIn("could not download pictures-data", said[-1])
        self.assertIn("apt-get update", said[-1])
        self.assertFalse(any("Traceback" in line for line in said))


if __name__ == "__main__":
    unittest.main()
