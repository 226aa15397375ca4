"""The folder-layer check: it passes on the program as it is, and catches a
planted upward include and a cycle, naming the file and line."""

import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import check_layers  # noqa: E402


def plant(root, files):
    for path, text in files.items():
        os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
        with open(os.path.join(root, path), "w", encoding="utf-8") as out:
            out.write(text)


class LayersTest(unittest.TestCase):
    def test_the_program_keeps_its_layers(self):
        self.assertEqual(check_layers.check(ROOT), [])

    def test_planted_includes_are_named_by_file_and_line(self):
        cases = [
            # (files, the problem lines expected)
            ({"picture/a.cpp": '#include "picture/a.h"\n#include "mosaic/photo_mosaic.h"\n'},
             ["picture/a.cpp:2: picture/ may not include from mosaic/"]),
            ({"library/b.h": '#pragma once\n  #  include "view/gl_window.h"\n'},
             ["library/b.h:2: library/ may not include from view/"]),
            ({"settings/c.cpp": '#include "tests/common/temp_folder.h"\n'},
             ["settings/c.cpp:1: includes from tests/, which is no program folder"]),
            ({"app/d.cpp": '#include <mosaic/x.h>\n#include "settings/log_stream.h"\n'}, []),
        ]
        for files, expected in cases:
            with self.subTest(files=files), tempfile.TemporaryDirectory() as root:
                plant(root, files)
                self.assertEqual(check_layers.check(root), expected)

    def test_a_cycle_between_folders_is_found(self):
        layers = {"a": ["b"], "b": ["c"], "c": ["a"]}
        with tempfile.TemporaryDirectory() as root:
            plant(root, {"a/x.h": '#include "b/y.h"\n', "b/y.h": '#include "c/z.h"\n',
                         "c/z.h": '#include "a/x.h"\n'})
            self.assertEqual(check_layers.check(root, layers),
                             ["the folders include each other in a cycle: a -> b -> c -> a"])

    def test_the_command_fails_on_a_problem(self):
        with tempfile.TemporaryDirectory() as root:
            plant(root, {"match/m.cpp": '#include "export/print_export.h"\n'})
            self.assertEqual(check_layers.main(["check_layers.py", root]), 1)
            os.remove(os.path.join(root, "match/m.cpp"))
            self.assertEqual(check_layers.main(["check_layers.py", root]), 0)


if __name__ == "__main__":
    unittest.main()
