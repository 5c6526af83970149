#!/usr/bin/python3
"""Reads one application's accessibility tree over and over, as a screen reader keeps up
with a window: every object's name and role, a table's row count and its first rows' cells.

Usage: a11y_reader.py PID SECONDS_BETWEEN_READS
With 0 seconds it reads the tree once and then follows the application's events, as a
screen reader does once a window is known.
"""
import sys
import time

import pyatspi

pid, pause = int(sys.argv[1]), float(sys.argv[2])
ROWS = 25  # about what a window shows


def walk(node, depth=0):
    if node is None or depth > 60:
        return 0
    count = 1
    node.name, node.getRole()
    if node.getRole() == pyatspi.ROLE_TABLE:
        table = node.queryTable()
        for r in range(min(ROWS, table.nRows)):
            for c in range(table.nColumns):
                cell = table.getAccessibleAt(r, c)
                if cell is not None:
                    cell.name
                    count += 1
        return count
    for i in range(node.childCount):
        try:
            count += walk(node.getChildAtIndex(i), depth + 1)
        except Exception:
            pass
    return count


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


if pause == 0:
    app = find_app()
    objects = walk(app) if app is not None else 0
    events = 0

    def heard(event):
        global events
        try:
            if event.source is not None and event.source.get_process_id() == pid:
                events += 1
                event.source.name  # what a reader speaks is read back from the source
        except Exception:
            pass
        if events % 100 == 0:
            print("%d objects read once, %d events heard" % (objects, events), flush=True)

    pyatspi.Registry.registerEventListener(heard, "object:", "focus:", "window:")
    print("%d objects read once, following events" % objects, flush=True)
    pyatspi.Registry.start()
    sys.exit(0)

reads = objects = 0
while True:
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                objects = walk(app)
                reads += 1
        except Exception:
            pass
    print("%d reads, %d objects in the last" % (reads, objects), flush=True)
    time.sleep(pause)
