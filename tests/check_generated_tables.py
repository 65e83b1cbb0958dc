#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
"""Regenerates every constant table source from its generator in tools/ and
compares the result with the committed file, byte for byte.

The generators write into a repository root derived from their own location,
so they run from a copy of tools/ inside a scratch directory; the committed
sources are never touched.  A difference means either a generator or a
committed table was edited without the other: rerun the generator.

Usage: check_generated_tables.py REPO_ROOT SCRATCH_DIR
"""
import os
import shutil
import subprocess
import sys

# (generator, generated files relative to the repository root)
WHOLE_FILES = [
    ('gen_band_tables.py', ['omxdl/ac/armACAAC_OffsetTable.cpp']),
    ('gen_codebooks.py', ['omxdl/ac/armACAAC_CodeBook_C.cpp']),
    ('gen_imdct_tables.py', ['omxdl/ac/armACAAC_IMDCTWindow_Tables.cpp']),
    ('gen_quant_tables.py', ['omxdl/ac/armACAAC_QuantTables.cpp',
                             'omxdl/ac/armACAAC_TnsTables.cpp']),
]
# Generators that print a block pasted between BEGIN/END markers.
SNIPPETS = [
    ('gen_random_phase.py', 'decoder/aacd_tables.cpp'),
]


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def first_difference(a, b):
    la, lb = a.splitlines(), b.splitlines()
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return 'line %d: committed %r, generated %r' % (i + 1, x[:80], y[:80])
    return 'length: committed %d lines, generated %d lines' % (len(la), len(lb))


def main():
    repo, scratch = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if os.path.exists(scratch):
        shutil.rmtree(scratch)
    shutil.copytree(os.path.join(repo, 'tools'), os.path.join(scratch, 'tools'),
                    ignore=shutil.ignore_patterns('cli', '__pycache__'))
    os.makedirs(os.path.join(scratch, 'omxdl', 'ac'))
    failures = []
    checked = 0
    for gen, outputs in WHOLE_FILES:
        script = os.path.join(scratch, 'tools', gen)
        args = [sys.executable, script]
        if gen == 'gen_imdct_tables.py':
            args.append(os.path.join(scratch, outputs[0]))
        elif gen == 'gen_band_tables.py':
            args.append(os.path.join(scratch, outputs[0]))
        elif gen == 'gen_codebooks.py':
            args.append(scratch)
        subprocess.run(args, check=True, cwd=scratch)
        for rel in outputs:
            committed = read(os.path.join(repo, rel))
            generated = read(os.path.join(scratch, rel))
            checked += 1
            if committed != generated:
                failures.append('%s (from %s): %s' % (rel, gen, first_difference(committed, generated)))
    for gen, rel in SNIPPETS:
        out = subprocess.run([sys.executable, os.path.join(scratch, 'tools', gen)], check=True,
                             capture_output=True).stdout
        text = read(os.path.join(repo, rel))
        lines = out.splitlines(keepends=True)
        begin, end = lines[0], lines[-1]
        start = text.find(begin)
        stop = text.find(end, start)
        checked += 1
        if start < 0 or stop < 0:
            failures.append('%s: markers of %s not found' % (rel, gen))
        elif text[start:stop + len(end)] != out:
            failures.append('%s (from %s): %s' % (rel, gen,
                            first_difference(text[start:stop + len(end)], out)))
    for f in failures:
        print('STALE ' + f)
    print('%d generated sources checked, %d stale' % (checked, len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
