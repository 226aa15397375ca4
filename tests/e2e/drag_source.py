#!/usr/bin/python3
"""drag_source.py TITLE FILE...: a GTK3 window (200 x 100 at the screen's
top left, titled TITLE) offering FILE... as a text/uri-list drag, as a file
manager does. Prints "drag source : ready", "... : begin" and "... : end"."""
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
