#!/usr/bin/env python3
"""The map's layer order against the code: a file of a code folder over 400
lines, an include across folders that the map's dependency lines do not
allow, a circle in those lines, a circle of includes inside ui/ (a header
and its .cpp counted as one), and a circle of calls between the files of
net/ and lobby/ (read from the build's object files with nm) each fail.
Usage: layer_check.py SOURCE_DIR [BUILD_DIR [NM]]"""
import glob
import os
import re
import subprocess
import sys

CODE_FOLDERS = ["engine", "computer", "replay", "ui", "controls", "joystick", "net", "lobby", "sound",
                "tools/sim", "tools/relay", "tools/lobby"]
MOST_LINES = 400
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(root, folder):
    return sorted(glob.glob(os.path.join(root, folder, "*.h")) + glob.glob(os.path.join(root, folder, "*.cpp")))


def declared(root):
    """The dependency lines: folder -> (folders allowed, files allowed)."""
    text = open(os.path.join(root, "docs", "ARCHITECTURE.md"), encoding="utf-8").read()
    block = text.split("Dependencies point one way", 1)[1].split("\n\n", 2)[1]
    allowed = {}
    for line in block.splitlines():
        words = line.split()
        if not words or not words[0].endswith("/"):
            continue
        folders, files = set(), set()
        for w in words[1:]:
            w = w.rstrip(",")
            if w.startswith("("):
                break
            if w.endswith("/"):
                folders.add(w.rstrip("/"))
            elif "/" in w:
                files.add(w)
        allowed[words[0].rstrip("/")] = (folders, files)
    return allowed


def circle(edges):
    """One circle of the graph, or None."""
    state, path = {}, []

    def visit(v):
        state[v] = 1
        path.append(v)
        for w in sorted(edges.get(v, ())):
            if state.get(w) == 1:
                return path[path.index(w):] + [w]
            if w not in state:
                found = visit(w)
                if found:
                    return found
        path.pop()
        state[v] = 2
        return None

    for v in sorted(edges):
        if v not in state:
            found = visit(v)
            if found:
                return found
    return None


def folder_of(path, folders):
    best = ""
    for f in folders:
        if path.startswith(f + "/") and len(f) > len(best):
            best = f
    return best or path.split("/", 1)[0]


def unit(path):
    return os.path.splitext(os.path.basename(path))[0]


def call_edges(objects, nm):
    defined, used = {}, {}
    for o in objects:
        name = os.path.basename(o).split(".")[0]
        out = subprocess.run([nm, "--defined-only", o], capture_output=True, text=True).stdout
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[1] in "TDBR":
                defined[parts[2]] = name
        out = subprocess.run([nm, "-u", o], capture_output=True, text=True).stdout
        used[name] = {line.split()[-1] for line in out.splitlines() if line.strip()}
    return {n: {defined[s] for s in us if s in defined and defined[s] != n} for n, us in used.items()}


def main():
    root = sys.argv[1]
    build = sys.argv[2] if len(sys.argv) > 2 else ""
    nm = sys.argv[3] if len(sys.argv) > 3 else "nm"
    faults = []
    allowed = declared(root)
    known = set(allowed) | set(CODE_FOLDERS) | {"resources", "tools"}
    for folder in CODE_FOLDERS:
        for path in sources(root, folder):
            rel = os.path.relpath(path, root)
            text = open(path, encoding="utf-8").read()
            lines = text.count("\n")
            if lines > MOST_LINES:
                faults.append(f"{rel} has {lines} lines, over {MOST_LINES}: two concerns, two files")
            folders, files = allowed.get(folder, (set(), set()))
            for inc in INCLUDE.findall(text):
                target = folder_of(inc, known)
                if target == folder or "/" not in inc:
                    continue
                if target not in folders and inc not in files:
                    faults.append(f"{rel} includes {inc}, which the map's line for {folder}/ does not allow")
    found = circle({f: d[0] for f, d in allowed.items()})
    if found:
        faults.append("the map's dependency lines form a circle: " + " -> ".join(found))
    # ui/: includes between its own files, a header and its .cpp as one.
    edges = {}
    for path in sources(root, "ui"):
        for inc in INCLUDE.findall(open(path, encoding="utf-8").read()):
            if inc.startswith("ui/") and unit(inc) != unit(path):
                edges.setdefault(unit(path), set()).add(unit(inc))
    found = circle(edges)
    if found:
        faults.append("ui/ includes form a circle: " + " -> ".join(found))
    # net/ and lobby/: calls between files, from the objects built.
    for folder in ("net", "lobby"):
        names = {unit(p) for p in sources(root, folder) if p.endswith(".cpp")}
        objects = [o for o in glob.glob(os.path.join(build, folder, "CMakeFiles", "*", "*.o"))
                   if os.path.basename(o).split(".")[0] in names] if build else []
        if not objects:
            print(f"note: no objects of {folder}/ in the build: its calls not checked")
            continue
        found = circle(call_edges(objects, nm))
        if found:
            faults.append(f"{folder}/ calls form a circle: " + " -> ".join(found))
    for f in faults:
        print("FAIL: " + f)
    if not faults:
        print("the layers hold: no file over 400 lines, every include allowed, no circle")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
