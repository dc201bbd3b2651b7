#!/usr/bin/env python3
"""Fails when a source under src/ includes a folder above its own.

The folders form one stack; each may include itself and those below it:
base, telemetry, provisioning, web, ui, app. A folder that is not in the
stack fails too, so a new one has to be given its place here.
"""
import pathlib
import re
import sys

LAYERS = ["base", "telemetry", "provisioning", "web", "ui", "app"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def violations(src: pathlib.Path):
    rank = {name: i for i, name in enumerate(LAYERS)}
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".in") or not path.is_file():
            continue
        rel = path.relative_to(src)
        if len(rel.parts) < 2:
            continue
        own = rel.parts[0]
        if own not in rank:
            yield f"{rel}: folder '{own}' has no place in the layer order"
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            target = m.group(1)
            if target in rank and rank[target] > rank[own]:
                yield f"{rel}:{number}: {own} includes {target}/ (above it)"


def main(argv):
    src = pathlib.Path(argv[1] if len(argv) > 1 else "src")
    found = list(violations(src))
    for v in found:
        print(v)
    print(f"layers: {len(found)} include(s) against the order {' < '.join(LAYERS)}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
