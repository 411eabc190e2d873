# SPDX-License-Identifier: MIT
# Prints "ready", then "event TYPE DETAIL1 ROLE NAME [DESCRIPTION]"; answers "header NAME" with "header COLUMN DESCRIPTION".
import sys

import pyatspi
from gi.repository import GLib


def say(*fields):
    print("\t".join(str(f).replace("\t", " ").replace("\n", " ") for f in fields), flush=True)


def on_event(event):
    try:
        described = [event.source.description] if event.source.description else []  # a program row's path
        say("event", event.type, event.detail1, event.source.getRoleName(), event.source.name, *described)
    except Exception as error:  # the object may be gone by the time it is asked
        say("event", event.type, event.detail1, "gone", type(error).__name__)


def on_input(source, condition):
    line = sys.stdin.readline()
    if not line:
        return pyatspi.Registry.stop()
    name = line.rstrip("\n")[len("header "):]
    found = pyatspi.findDescendant(pyatspi.Registry.getDesktop(0), lambda a: a is not None and a.name == name
                                   and "Table" in pyatspi.listInterfaces(a))
    table = found.queryTable() if found is not None else None
    say("header", table.getColumnHeader(0).name if table else "none", table.getColumnDescription(0) if table else "")
    return True


pyatspi.Registry.registerEventListener(on_event, "focus:", "object:state-changed:focused",
                                       "object:state-changed:expanded", "window:activate")
GLib.io_add_watch(sys.stdin, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_input)
say("ready")
pyatspi.Registry.start()
