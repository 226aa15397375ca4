#!/usr/bin/env python3
"""Checks that the program's folders use each other only downwards.

Reads every #include "folder/file.h" of the program's sources and reports,
as file:line, each include of a folder the table below does not allow, and
any cycle between folders. Exits 1 when it finds one, 0 otherwise.

    python3 scripts/check_layers.py [source root]
"""

import os
import re
import sys

# The folders a folder's sources may include from, besides its own. Keep in
# step with the folder map in README.md.
LAYERS = {
    "settings": [],
    "picture": ["settings"],
    "library": ["picture", "settings"],
    "match": ["library", "settings"],
    "mosaic": ["match", "library", "picture", "settings"],
    "export": ["mosaic", "match", "library", "picture", "settings"],
    "render": ["mosaic", "match", "library", "picture", "settings"],
    "video": ["mosaic", "match", "library", "picture", "settings"],
    "batch": ["export", "video", "render", "mosaic", "match", "library", "picture",
              "settings"],
    "view": ["export", "video", "render", "mosaic", "match", "library", "picture",
             "settings"],
    "app": ["view", "export", "video", "render", "mosaic", "match", "library", "picture",
            "settings"],
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def includes(root, layers):
    """(folder, path relative to root, line number, included folder) for each
    quoted include of a file under one of the table's folders."""
    for folder in sorted(layers):
        top = os.path.join(root, folder)
        for dirpath, dirnames, filenames in os.walk(top):
            dirnames.sort()
            for name in sorted(filenames):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if match and "/" in match.group(1):
                            used = match.group(1).split("/", 1)[0]
                            yield folder, os.path.relpath(path, root), number, used


def find_cycle(edges):
    """One cycle of the folder graph as a list of folders, or None."""
    state = {}
    trail = []

    def visit(node):
        state[node] = "open"
        trail.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                return trail[trail.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        trail.pop()
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def check(root, layers=LAYERS):
    """The problems found under root, one line each."""
    problems = []
    edges = {}
    for folder, path, number, used in includes(root, layers):
        if used == folder:
            continue
        if used not in layers:
            problems.append(f"{path}:{number}: includes from {used}/, which is no program folder")
            continue
        edges.setdefault(folder, set()).add(used)
        if used not in layers[folder]:
            problems.append(f"{path}:{number}: {folder}/ may not include from {used}/")
    cycle = find_cycle(edges)
    if cycle:
        problems.append("the folders include each other in a cycle: " + " -> ".join(cycle))
    return problems


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    problems = check(root)
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) against the folder layers")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
