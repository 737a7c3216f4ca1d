#!/usr/bin/env python3
"""Checks that the source folders stand one above the other: a file may include headers of
its own folder and of the folders below it, never of a folder above it or beside it, and no
two units (a .h/.cpp pair) include each other, directly or round a longer circle.

    python3 tests/scripts/check_layers.py SOURCE_ROOT      checks SOURCE_ROOT/src and tools
    python3 tests/scripts/check_layers.py --self-test      shows that a wrong include fails
"""
import re
import sys
import tempfile
from pathlib import Path

# Bottom first. Folders on one line stand beside each other: neither includes the other.
LAYERS = [
    ["formats"],
    ["render"],
    ["model"],
    ["batch"],
    ["tools", "ui/desktop"],
    ["ui/photo"],
    ["ui/dialogs"],
    ["templates", "export"],
    ["ui/window"],
    ["app"],
]
LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def folder_of(path):
    """The layer folder a path under src/ (or tools/) belongs to, or None."""
    parts = path.split("/")
    for length in (2, 1):
        name = "/".join(parts[:length])
        if name in LEVEL:
            return name
    return None


def sources(root):
    """Every C++ source and header of src/ and tools/, as paths relative to src/ (tools as tools/...)."""
    found = {}
    for base, prefix in ((root / "src", ""), (root / "tools", "tools/")):
        for file in sorted(base.rglob("*")):
            if file.suffix in (".h", ".cpp"):
                found[prefix + file.relative_to(base).as_posix()] = file.read_text(encoding="utf-8")
    return found


def resolve(includer, name, known):
    """What a quoted include names: a file beside the includer first, then one under src/."""
    beside = str(Path(includer).parent / name)
    if beside in known:
        return beside
    return name if name in known else None


def check(root):
    files = sources(root)
    problems = []
    units = {}
    for path, text in files.items():
        own = folder_of(path)
        if own is None:
            problems.append(f"{path}: in no layer folder; add its folder to check_layers.py")
            continue
        unit = path.rsplit(".", 1)[0]
        for name in INCLUDE.findall(text):
            target = resolve(path, name, files)
            if target is None:
                continue
            theirs = folder_of(target)
            if theirs is None:
                continue
            if theirs != own and LEVEL[theirs] >= LEVEL[own]:
                where = "above" if LEVEL[theirs] > LEVEL[own] else "beside"
                problems.append(f'{path}: includes "{name}" of {theirs}/, a folder {where} {own}/')
            other = target.rsplit(".", 1)[0]
            if other != unit:
                units.setdefault(unit, set()).add(other)
    problems += circles(units)
    return problems


def circles(graph):
    """Every unit that is part of an include circle, once per circle found."""
    found, state, stack = [], {}, []

    def visit(unit):
        state[unit] = "open"
        stack.append(unit)
        for other in sorted(graph.get(unit, ())):
            if state.get(other) == "open":
                circle = stack[stack.index(other):] + [other]
                found.append("include circle: " + " -> ".join(circle))
            elif other not in state:
                visit(other)
        stack.pop()
        state[unit] = "done"

    for unit in sorted(graph):
        if unit not in state:
            visit(unit)
    return found


def self_test():
    """A small tree with one include down (allowed), one up, one sideways and one circle."""
    tree = {
        "src/formats/Picture.h": "",
        "src/model/PhotoCore.h": '#include "formats/Picture.h"\n',
        "src/model/A.h": '#include "B.h"\n',
        "src/model/B.h": '#include "A.h"\n',
        "src/render/Geometry.cpp": '#include "model/PhotoCore.h"\n',
        "src/export/FormExport.cpp": '#include "templates/FormAdd.h"\n',
        "src/templates/FormAdd.h": "",
    }
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)
        for path, text in tree.items():
            (root / path).parent.mkdir(parents=True, exist_ok=True)
            (root / path).write_text(text, encoding="utf-8")
        problems = check(root)
    expected = [
        'render/Geometry.cpp: includes "model/PhotoCore.h" of model/, a folder above render/',
        'export/FormExport.cpp: includes "templates/FormAdd.h" of templates/, a folder beside export/',
        "include circle: model/A -> model/B -> model/A",
    ]
    missing = [p for p in expected if p not in problems]
    extra = [p for p in problems if p not in expected]
    for p in missing:
        print("not found:", p)
    for p in extra:
        print("found but not expected:", p)
    return 1 if missing or extra else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__.strip())
        return 2
    problems = check(Path(sys.argv[1]))
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
