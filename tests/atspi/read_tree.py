#!/usr/bin/python3
"""Reads Velmora's dashboard through AT-SPI, as a screen reader does, until it shows named
cards, the process table with rows and the search field, or the time runs out.

Usage: read_tree.py STRINGS_JSON SECONDS
"""
import json
import sys
import time

import pyatspi

en = json.load(open(sys.argv[1], encoding="utf-8"))["en"]
seconds = float(sys.argv[2])
CARDS = {"CPU", "GPU", en["dashMemory"], en["dashNetwork"], en["dashDiskIO"]}


def walk(node, depth=0):
    if node is None or depth > 60:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:  # a child that went away while reading
            continue
        yield from walk(child, depth + 1)


def read():
    found = {"cards": set(), "table rows": 0, "search": False}
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None or "velmora" not in (app.name or "").lower():
            continue
        for node in walk(app):
            role, name = node.getRole(), node.name or ""
            if name in CARDS and role in (pyatspi.ROLE_PANEL, pyatspi.ROLE_GROUPING, pyatspi.ROLE_FILLER):
                found["cards"].add(name)
            elif role == pyatspi.ROLE_TABLE and name == en["a11yProcessTable"]:
                found["table rows"] = node.queryTable().nRows
            elif role in (pyatspi.ROLE_ENTRY, pyatspi.ROLE_TEXT) and name == en["procSearch"]:
                found["search"] = True
    return found


deadline = time.monotonic() + seconds
found = {}
while time.monotonic() < deadline:
    try:
        found = read()
    except Exception as e:  # the application is still starting
        found = {"error": str(e)}
    if found.get("cards") == CARDS and found.get("table rows", 0) > 0 and found.get("search"):
        print("PASS: cards %s, %d process rows, the search field" % (sorted(found["cards"]), found["table rows"]))
        sys.exit(0)
    time.sleep(1)
print("FAIL: the dashboard's tree shows", found, "; wanted cards", sorted(CARDS),
      ", a table named %r with rows and a field named %r" % (en["a11yProcessTable"], en["procSearch"]))
sys.exit(1)
