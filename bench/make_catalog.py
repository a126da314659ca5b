#!/usr/bin/env python3
"""Writes a guest OS catalogue of N entries (about 94 bytes each), every fifth experimental."""
import json
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_catalog.py N FILE")
    count = int(sys.argv[1])
    supported, experimental = [], []
    for i in range(count):
        entry = {"code": 1000 + i, "property1": f"os{i:07d}", "property2": f"Generated OS {i:07d} LTS (x86_64)"}
        (experimental if i % 5 == 4 else supported).append(entry)
    with open(sys.argv[2], "w", encoding="utf-8") as out:
        out.write('{"supported": [\n')
        out.write(",\n".join(json.dumps(e) for e in supported))
        out.write('],\n"experimental": [\n')
        out.write(",\n".join(json.dumps(e) for e in experimental))
        out.write("]}\n")


if __name__ == "__main__":
    main()
