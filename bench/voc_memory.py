#!/usr/bin/env python3
"""Peak memory of `host-agent check` on hostile shapes of .voc file, against the file's size.

    voc_memory.py HOST-AGENT [SCALE]

The shapes, times SCALE: elements that each carry the same stamp (100 MiB of
<element tag="1" nsid="1"/>); stamps that all differ, by number (50 MiB, nsid="N"), by
text (50 MiB, namespace="nsN") and in every kind at once (50 MiB); the shortest stamps
that never repeat in a row (50 MiB, nsid 1 and 2 in turn); and a valid vocabulary followed
by a long run of white space (900 MiB). Each file is made in a scratch folder, checked once (the peak resident set
from wait4), and removed. Prints one row per shape; the target is a peak of at most three
times the file's size.
"""
import os
import subprocess
import sys
import tempfile

MIB = 1 << 20


# Written a megabyte at a time: a child's peak counts what this process held when it forked.
def repeated(out, piece, size):
    block = piece * (MIB // len(piece))
    for _ in range(size // len(block)):
        out.write(block)


def stamped(path, size):
    with open(path, "wb") as out:
        out.write(b'<message format="1" kind="0">\n')
        repeated(out, b'  <element tag="1" nsid="1"/>\n', size)
        out.write(b"</message>\n")


# One element a line, each line made from its number; written a megabyte at a time too.
def numbered(line):
    def make(path, size):
        with open(path, "wb") as out:
            out.write(b'<message format="1" kind="0">\n')
            written, n, block = 0, 0, []
            while written < size:
                n += 1
                block.append(line(n))
                if len(block) == 32768 or written + 32 * len(block) >= size:
                    data = b"".join(block)
                    out.write(data)
                    written += len(data)
                    block = []
            out.write(b"</message>\n")
    return make


def trailing_space(path, size):
    entry = (b'  <element tag="1017">\n    <element tag="1846">\n      <string>os0000001</string>\n'
             b'    </element>\n    <named name="min_hdd_size">100</named>\n  </element>\n')
    with open(path, "wb") as out:
        out.write(b'<message format="1" kind="0">\n')
        repeated(out, entry, 35 * MIB)
        out.write(b"</message>\n")
        repeated(out, b" ", size)


def peak_kib(command):
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    error = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if os.waitstatus_to_exitcode(status) not in (0, 1):  # 1: read, with vocabulary problems
        sys.exit(f"voc_memory.py: {' '.join(command)} failed:\n{error}")
    return usage.ru_maxrss


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: voc_memory.py HOST-AGENT [SCALE]")
    agent = sys.argv[1]
    scale = float(sys.argv[2]) if len(sys.argv) == 3 else 1.0
    print(f"{'case':<44} {'file MiB':>9} {'peak MiB':>9} {'peak/file':>10}  target")
    with tempfile.TemporaryDirectory() as scratch:
        for label, make, size in (("stamped elements", stamped, int(100 * MIB * scale)),
                                  ("stamps that all differ: nsid", numbered(lambda n: b'  <element tag="1" nsid="%d"/>\n' % n),
                                   int(50 * MIB * scale)),
                                  ("stamps that all differ: namespace", numbered(
                                      lambda n: b'  <element tag="1" namespace="ns%d"/>\n' % n), int(50 * MIB * scale)),
                                  ("stamps that all differ: every kind", numbered(
                                      lambda n: b'  <element tag="1" namespace="ns%d" nsid="%d" type-namespace="t%d" type="x%d"'
                                                b' type-nsid="%d" typeid="%d" item-ns-type="%d"/>\n' % ((n,) * 7)),
                                   int(50 * MIB * scale)),
                                  ("stamps that alternate: nsid 1, 2", numbered(
                                      lambda n: b'<element tag="1" nsid="%d"/>' % (n % 2 + 1)), int(50 * MIB * scale)),
                                  ("vocabulary, then white space", trailing_space, int(900 * MIB * scale))):
            path = os.path.join(scratch, "case.voc")
            make(path, size)
            file_size = os.path.getsize(path)
            peak = peak_kib([agent, "check", path]) * 1024
            os.remove(path)
            print(f"{label:<44} {file_size / MIB:9.1f} {peak / MIB:9.1f} {peak / file_size:10.2f}  <= 3.00")


if __name__ == "__main__":
    main()
