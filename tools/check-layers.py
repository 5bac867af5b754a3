#!/usr/bin/env python3
"""Proves from a build's object files that the layers hold.

Usage: check-layers.py <build folder>

Each folder is a static library of its own. For every object file, each
symbol it leaves undefined is looked up among the symbols the project's
objects define:
- defined in a layer the object's layer may not use (one above it, or a
  sibling: splitter and launcher do not use each other) is an upward call,
  and fails the check;
- defined in another object of the same folder makes a dependency inside
  the folder; objects that depend on each other, directly or round a longer
  way, make a cycle, which fails the check.

Only symbols that an object defines for the whole program count as
definitions: weak ones (inline functions, template instances, vtables
emitted in every user) belong to no object in particular. Symbols that no
object of the project defines come from the system libraries.

Everything found is printed before the verdict. The build's own nm (from
its CMake cache) reads the objects, so a cross build is checked the same way.
"""

import os
import re
import subprocess
import sys

# Each layer and the layers it may use.
LAYERS = {
    "platform": [],
    "runtime": ["platform"],
    "splitter": ["runtime", "platform"],
    "launcher": ["runtime", "platform"],
    "driver": ["splitter", "launcher", "runtime", "platform"],
}

# nm's posix format: "archive[member]: name type [value [size]]".
NM_LINE = re.compile(r"^.*\[(?P<member>[^\]]+)\]: (?P<name>\S+) (?P<type>\S)")
# Strong definitions for the whole program: text, data, read-only data, bss,
# common. Lower case is local; W, V and u are weak or unique; U undefined.
DEFINING_TYPES = set("TDRBC")


def tool_from_cache(build, name):
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as cache:
        for line in cache:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    sys.exit(f"check-layers: {name} is not in {build}/CMakeCache.txt")


def source_name(member):
    """errors.cpp for errors.cpp.o (Unix Makefiles) or errors.cpp.obj."""
    return re.sub(r"\.(o|obj)$", "", member)


def read_layer(nm, library):
    """{object: (defined symbols, undefined symbols)} of one library."""
    output = subprocess.run([nm, "--format=posix", "-A", library], check=True, capture_output=True,
                            text=True).stdout
    objects = {}
    for line in output.splitlines():
        match = NM_LINE.match(line)
        if not match:
            continue
        defined, undefined = objects.setdefault(source_name(match["member"]), (set(), set()))
        if match["type"] == "U":
            undefined.add(match["name"])
        elif match["type"] in DEFINING_TYPES:
            defined.add(match["name"])
    return objects


def demangle(cxxfilt, names):
    if not names:
        return []
    result = subprocess.run([cxxfilt], input="\n".join(names), check=True, capture_output=True, text=True)
    return result.stdout.splitlines()


def strongly_connected(graph):
    """The groups of nodes that reach each other (Tarjan), largest first."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for target in sorted(graph[node]):
            if target not in index:
                visit(target)
                low[node] = min(low[node], low[target])
            elif target in on_stack:
                low[node] = min(low[node], index[target])
        if low[node] == index[node]:
            group = set()
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.add(member)
                if member == node:
                    break
            groups.append(group)

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return [group for group in groups if len(group) > 1]


class Check:
    def __init__(self, build):
        nm = tool_from_cache(build, "CMAKE_NM")
        self.cxxfilt = re.sub(r"nm$", "c++filt", nm)
        self.layers = {}
        for layer in LAYERS:
            library = os.path.join(build, layer, f"libformsplit_{layer}.a")
            if not os.path.exists(library):
                sys.exit(f"check-layers: {library} is missing; build {build} first")
            self.layers[layer] = read_layer(nm, library)
        # symbol -> (layer, object) that defines it
        self.definer = {}
        for layer, objects in self.layers.items():
            for obj, (defined, _) in objects.items():
                for symbol in defined:
                    self.definer[symbol] = (layer, obj)
        self.failures = 0

    def report(self, line, symbols):
        """`line`, then the first few of the symbols it is about."""
        print(line)
        indent = " " * (len(line) - len(line.lstrip()) + 4)
        for name in demangle(self.cxxfilt, sorted(symbols))[:5]:
            print(f"{indent}{name}")
        if len(symbols) > 5:
            print(f"{indent}... and {len(symbols) - 5} more")

    def check_layer(self, layer):
        """Fails on upward calls; gives the dependencies inside the folder."""
        inside = {obj: {} for obj in self.layers[layer]}
        for obj, (_, undefined) in self.layers[layer].items():
            upward = {}
            for symbol in undefined:
                if symbol not in self.definer:
                    continue
                target_layer, target = self.definer[symbol]
                if target_layer == layer:
                    inside[obj].setdefault(target, set()).add(symbol)
                elif target_layer not in LAYERS[layer]:
                    upward.setdefault((target_layer, target), set()).add(symbol)
            for (target_layer, target), symbols in sorted(upward.items()):
                self.failures += 1
                self.report(f"FAIL: {layer}/{obj} uses {target_layer}/{target}, which {layer} may not use",
                            symbols)
        return inside

    def check_cycles(self, layer, inside):
        for cycle in strongly_connected({obj: set(targets) for obj, targets in inside.items()}):
            self.failures += 1
            print(f"FAIL: cycle in {layer}/ between {', '.join(sorted(cycle))}")
            for obj in sorted(cycle):
                for target in sorted(set(inside[obj]) & cycle):
                    self.report(f"    {obj} uses {target}", inside[obj][target])

    def run(self):
        for layer in LAYERS:
            self.check_cycles(layer, self.check_layer(layer))
        if self.failures:
            print(f"check-layers: {self.failures} problem(s)")
            return 1
        print("check-layers: every layer uses only the layers below it")
        return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(Check(sys.argv[1]).run())
