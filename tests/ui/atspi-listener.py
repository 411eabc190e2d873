# SPDX-License-Identifier: MIT
# Prints "ready", then "event TYPE DETAIL1 ROLE NAME"; answers "header NAME" with "header COLUMN DESCRIPTION".
import sys

import pyatspi
from gi.repository import GLib


def say(*fields):
    print("\t".join(str(f).replace("\t", " ").replace("\n", " ") for f in fields), flush=True)


def on_event(event):
    try:
        say("event", event.type, event.detail1, event.source.getRoleName(), event.source.name)
    except Exception as error:  # the object may be gone by the time it is asked
        say("event", event.type, event.detail1, "gone", type(error).__name__)


def table_named(accessible, name, depth=0):
    try:
        if depth > 0 and accessible.name == name and "Table" in pyatspi.listInterfaces(accessible):
            return accessible.queryTable()
        children = [accessible.getChildAtIndex(i) for i in range(min(accessible.childCount, 50))]
    except Exception:
        return None
    found = (table_named(child, name, depth + 1) for child in children if child is not None and depth < 12)
    return next((table for table in found if table is not None), None)


def on_input(source, condition):
    line = sys.stdin.readline()
    if not line:
        return pyatspi.Registry.stop()
    table = table_named(pyatspi.Registry.getDesktop(0), line.rstrip("\n")[len("header "):])
    column = table.getColumnHeader(0) if table is not None else None
    say("header", column.name if column is not None else "none", table.getColumnDescription(0) if table else "")
    return True


pyatspi.Registry.registerEventListener(on_event, "focus:", "object:state-changed:focused",
                                       "object:state-changed:expanded")
GLib.io_add_watch(sys.stdin, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_input)
say("ready")
pyatspi.Registry.start()
