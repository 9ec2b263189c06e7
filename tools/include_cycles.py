#!/usr/bin/python3
"""The circles on the include graph of src/: a module is a header with its implementation, and
an edge runs from a module to each module whose header it includes. Prints each strongly
connected group of more than one module, and any include from the bottom (the platform layer, the
waits and the shared state) up to the game above it."""
import os
import re
import sys

# What every part of the game stands on; it must never name the ghosts, the beam or the screens.
BOTTOM = ("platform/", "shell/pacing", "shell/random", "shell/game_state", "shell/data_items",
          "shell/test_hooks", "shell/datapath")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def modules(src):
    graph = {}
    for folder, _, files in os.walk(src):
        for name in files:
            stem, ext = os.path.splitext(name)
            if ext not in (".h", ".cpp"):
                continue
            path = os.path.join(folder, name)
            module = os.path.relpath(os.path.join(folder, stem), src)
            with open(path, encoding="utf-8") as f:
                targets = {os.path.splitext(t)[0] for t in INCLUDE.findall(f.read())}
            graph.setdefault(module, set()).update(t for t in targets if t != module)
    return {m: {t for t in ts if t in graph} for m, ts in graph.items()}


def groups(graph):
    """Tarjan's strongly connected components."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                group.append(w)
                if w == v:
                    break
            found.append(sorted(group))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return [g for g in found if len(g) > 1]


def upward(graph):
    def low(m):
        return m.startswith(BOTTOM)
    return sorted((m, t) for m, ts in graph.items() for t in ts if low(m) and not low(t))


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else "src"
    graph = modules(src)
    circles = groups(graph)
    for g in circles:
        print("circle of %d: %s" % (len(g), ", ".join(g)))
    ups = upward(graph)
    for m, t in ups:
        print("upward: %s includes %s" % (m, t))
    print("%d modules, %d circles, %d upward includes" % (len(graph), len(circles), len(ups)))


if __name__ == "__main__":
    main()
