#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
"""Attribute per-translated-block counts (insn_count.so tbout= output) to
symbols of a statically linked guest binary.  usage: tb_symbols.py BINARY TBFILE [TOP]"""
import bisect, subprocess, sys
binary, tbfile = sys.argv[1], sys.argv[2]
top = int(sys.argv[3]) if len(sys.argv) > 3 else 25
nm = subprocess.run(['aarch64-linux-gnu-nm', '-n', '--defined-only', '-C', binary],
                    capture_output=True, text=True, check=True).stdout
syms = []
for line in nm.splitlines():
    parts = line.split(' ', 2)
    if len(parts) == 3 and parts[1] in 'tTwWiI':
        syms.append((int(parts[0], 16), parts[2]))
addrs = [a for a, _ in syms]
per, total = {}, 0
for line in open(tbfile):
    va, n, ex = line.split()
    cnt = int(n) * int(ex)
    total += cnt
    i = bisect.bisect_right(addrs, int(va, 16)) - 1
    name = syms[i][1] if i >= 0 else '?'
    per[name] = per.get(name, 0) + cnt
print(f'total {total}')
for name, c in sorted(per.items(), key=lambda kv: -kv[1])[:top]:
    print(f'{c:13d} {100.0 * c / total:5.1f}%  {name[:110]}')
