#!/usr/bin/env python3
"""Peak memory of `host-agent check` and `diff` on hostile shapes of .voc file, against the file's size.

    voc_memory.py HOST-AGENT [SCALE]

The shapes, times SCALE: elements that each carry the same stamp (100 MiB of
<element tag="1" nsid="1"/>); stamps that all differ, by number (50 MiB, nsid="N"), by
text (50 MiB, namespace="nsN") and in every kind at once (50 MiB); the shortest stamps
that never repeat in a row (50 MiB, nsid 1 and 2 in turn); and a valid vocabulary followed
by a long run of white space (900 MiB); one entry with a mark in every child, none defined
(50 MiB), a problem each; and, for `diff`, two files that differ in one value of an entry 250
elements deep (20 MiB each). Each file is made in a scratch folder, checked or compared once
(the peak resident set from wait4), and removed. Prints one row per shape; the target is a
peak of at most three times the file's size (for `diff`, both files').
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


# Every child of the one entry carries a mark that no category defines.
def undefined_marks(path, size):
    with open(path, "wb") as out:
        out.write(b'<message format="1" kind="0"><element tag="1307"><element tag="1044">'
                  b'<element tag="1017"><element tag="1010"><int>1</int></element>\n')
        repeated(out, b'<element tag="1264"><string>q</string></element>\n', size)
        out.write(b"</element></element></element></message>\n")


# An entry of kind "deep" 250 elements deep, its leaves all 1 but the last; the second file
# (PATH.b) has a 2 there.
def deep_entry(path, size):
    leaf = b'<element tag="3"><int>1</int></element>'
    for name, last in ((path, b"1"), (path + ".b", b"2")):
        with open(name, "wb") as out:
            out.write(b'<message format="1" kind="0"><element tag="1307"><element tag="1044">'
                      b'<element tag="1017"><element tag="1010"><string>vocversion</string></element>'
                      b'<element tag="1264"><string>vocabulary</string></element><element tag="1307"><string>'
                      b'$Id: deep.voc 00000000-0000-4000-8000-000000000000 $</string></element>'
                      b'<element tag="1303"><string>Vocabulary version</string></element></element>'
                      b'<element tag="1264"><element tag="1010"><string>deep</string></element></element>'
                      b'<element tag="1017"><element tag="1010"><int>1</int></element>'
                      b'<element tag="1264"><string>deep</string></element>' + b'<element tag="7">' * 250)
            repeated(out, leaf, size)
            out.write(b'<element tag="3"><int>' + last + b'</int></element>' + b"</element>" * 250)
            out.write(b"</element></element></element></message>\n")


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
                                  ("vocabulary, then white space", trailing_space, int(900 * MIB * scale)),
                                  ("one entry, every child an undefined mark", undefined_marks, int(50 * MIB * scale)),
                                  ("diff: one value 250 elements deep", deep_entry, int(20 * MIB * scale))):
            path = os.path.join(scratch, "case.voc")
            make(path, size)
            diff = make is deep_entry
            file_size = sum(os.path.getsize(name) for name in ((path, path + ".b") if diff else (path,)))
            peak = peak_kib([agent, "diff", path, path + ".b"] if diff else [agent, "check", path]) * 1024
            for name in (path, path + ".b") if diff else (path,):
                os.remove(name)
            print(f"{label:<44} {file_size / MIB:9.1f} {peak / MIB:9.1f} {peak / file_size:10.2f}  <= 3.00")


if __name__ == "__main__":
    main()
