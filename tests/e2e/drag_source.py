#!/usr/bin/python3
"""A second X client for the drop test: a small GTK3 window that offers the
files named on its command line as a text/uri-list drag, the way a file
manager does. Drag it with xdotool (mousedown 1, a few mousemoves onto the
target, mouseup 1).

    drag_source.py TITLE FILE...

The window (200 x 100, at the top left of the screen) is titled TITLE so the
test can find it. It prints "drag source : ready" once shown,
"drag source : begin" when a drag starts and "drag source : end" when it
ends, flushing each line.
"""
import pathlib
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402


def say(text):
    print("drag source : " + text, flush=True)


def main():
    if len(sys.argv) < 3:
        sys.stderr.write("usage: drag_source.py TITLE FILE...\n")
        return 2
    title = sys.argv[1]
    # Absolute file:// URIs with percent-escapes, as file managers send them.
    uris = [pathlib.Path(f).resolve().as_uri() for f in sys.argv[2:]]

    window = Gtk.Window(title=title)
    window.set_default_size(200, 100)
    window.move(0, 0)
    window.connect("destroy", Gtk.main_quit)
    area = Gtk.EventBox()
    area.add(Gtk.Label(label="drag me"))
    window.add(area)

    area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY)
    area.drag_source_add_uri_targets()

    def on_get(_widget, _context, selection, _info, _time):
        selection.set_uris(uris)

    area.connect("drag-data-get", on_get)
    area.connect("drag-begin", lambda *_: say("begin"))
    area.connect("drag-end", lambda *_: say("end"))
    window.connect("map-event", lambda *_: say("ready"))
    window.show_all()
    Gtk.main()
    return 0


if __name__ == "__main__":
    sys.exit(main())
