# SPDX-License-Identifier: MIT
# A screen reader's ear on the accessibility bus: registers for the events Orca follows through
# libatspi and prints one tab-separated line per event, flushed at once:
#   event  TYPE  DETAIL1  ROLE  NAME
# "ready" once the listeners are registered. A line on standard input asks about the
# application's accessible objects:
#   header NAME  ->  header  COLUMN HEADER'S NAME  COLUMN DESCRIPTION
# of the first column of the table (or tree) named NAME.
# The listener ends when its standard input closes.
import sys

import pyatspi
from gi.repository import GLib

EVENTS = ("focus:", "object:state-changed:focused", "object:state-changed:expanded")


def say(*fields):
    print("\t".join(str(f).replace("\t", " ").replace("\n", " ") for f in fields), flush=True)


def describe(accessible):
    try:
        return accessible.getRoleName(), accessible.name
    except Exception as error:  # the object may be gone by the time it is asked
        return "gone", type(error).__name__


def on_event(event):
    say("event", event.type, event.detail1, *describe(event.source))


def table_named(accessible, name, depth=0):
    """The first table below accessible whose name is name, leaves last."""
    if accessible is None or depth > 12:
        return None
    try:
        if depth > 0 and accessible.name == name and "Table" in pyatspi.listInterfaces(accessible):
            return accessible.queryTable()
        children = [accessible.getChildAtIndex(i) for i in range(min(accessible.childCount, 50))]
    except Exception:
        return None
    for child in children:
        found = table_named(child, name, depth + 1)
        if found is not None:
            return found
    return None


def header(name):
    table = table_named(pyatspi.Registry.getDesktop(0), name)
    if table is None:
        return say("header", "no such table", "")
    column = table.getColumnHeader(0)
    say("header", column.name if column is not None else "none", table.getColumnDescription(0))


def on_input(source, condition):
    line = sys.stdin.readline()
    if not line:
        pyatspi.Registry.stop()
        return False
    command, _, argument = line.rstrip("\n").partition(" ")
    if command == "header":
        header(argument)
    return True


pyatspi.Registry.registerEventListener(on_event, *EVENTS)
GLib.io_add_watch(sys.stdin, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_input)
say("ready")
pyatspi.Registry.start()
