#!/usr/bin/env python3
"""Checks that src/ keeps its layers: a folder includes only its own layer's folders and
lower ones, and no include circle runs between folders. Prints the folder graph (who
includes whom), then every fault; exits 1 when there is one.

    tools/check-layers.py [SRC]      (SRC defaults to the tree's src/)
"""
import os
import re
import sys

# Bottom up; the folders of one layer may include each other as long as no circle forms.
LAYERS = [
    ["base"],
    ["sys"],
    ["net", "midi", "wav", "ir", "audio"],
    ["bridge"],
    ["modules"],
    ["assembly"],
    ["webview"],
    ["app"],
]
LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([A-Za-z0-9_]+)/[^"]+"', re.M)
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".in")


def read_edges(src):
    """(folder, included folder) -> the first 'file:line' that makes the edge."""
    edges = {}
    folders = sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d)))
    for folder in folders:
        for base, _, files in os.walk(os.path.join(src, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(base, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for match in INCLUDE.finditer(text):
                    target = match.group(1)
                    if target == folder or not os.path.isdir(os.path.join(src, target)):
                        continue
                    line = text.count("\n", 0, match.start()) + 1
                    edges.setdefault((folder, target), f"{os.path.relpath(path, os.path.dirname(src))}:{line}")
    return folders, edges


def circles(folders, edges):
    """Every strongly connected group of more than one folder (Tarjan)."""
    graph = {f: sorted(t for (s, t) in edges if s == f) for f in folders}
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, []):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            group = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                group.append(top)
                if top == node:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for folder in folders:
        if folder not in index:
            visit(folder)
    return groups


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    src = os.path.normpath(src)
    folders, edges = read_edges(src)
    faults = []
    for folder in folders:
        if folder not in LEVEL:
            faults.append(f"src/{folder} has no layer: add it to LAYERS in {os.path.basename(__file__)}")

    print("Folder graph (each folder -> the folders it includes), bottom layer first:")
    for level, layer in enumerate(LAYERS):
        for folder in layer:
            if folder in folders:
                below = sorted((t for (s, t) in edges if s == folder), key=lambda t: (LEVEL.get(t, 99), t))
                print(f"  {level} {folder:<9} -> {' '.join(below) if below else '(nothing)'}")

    for (source, target), where in sorted(edges.items()):
        if source in LEVEL and target in LEVEL and LEVEL[target] > LEVEL[source]:
            faults.append(f"upward include: {source} -> {target} ({where})")
    for group in circles(folders, edges):
        inside = [f"{s} -> {t} ({w})" for (s, t), w in sorted(edges.items()) if s in group and t in group]
        faults.append("include circle between " + ", ".join(group) + ": " + "; ".join(inside))

    for fault in faults:
        print("FAULT: " + fault)
    if faults:
        return 1
    print("Layers kept.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
