#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
"""Generates omxdl/ac/armACAAC_CodeBook_C.cpp from tools/tables/huffman_codebooks.tsv.

The output holds
  * the twelve Huffman codebooks (0 = scale factors, 1..11 = spectrum) as
    variable-length code lists: entry i is the code word of index i, followed
    by one terminating entry of length 0 and code word 0;
  * armACAAC_CodeBooks_C, armACAAC_signCb and armACAAC_lavCb;
  * for every codebook a multi-level lookup table (aacd::kHuffLookup) that
    resolves a code word from the next bits in one to a few table reads
    instead of the linear scan of the code list.

Lookup table layout (uint16_t entries, one table per codebook):
  root level indexed by the next `rootBits` bits (rootBits = min(9, longest
  code)); an entry is
    0                      no code word matches (never for a complete book)
    len << 10 | payload    leaf: `len` (1..31) is the bits the code word
                           takes, for the unsigned spectrum books (3, 4,
                           7..11) with the sign bits that follow it (one
                           per nonzero value), so that a decoder can step
                           over both at once; the payload is
                           the decoded value(s), so that no division is
                           needed per code word:
                             codebook 0      the index (0..120);
                             codebooks 1..4  w, x, y, z in bits 0-1, 2-3,
                                             4-5, 6-7 (two's complement for
                                             the signed books 1 and 2,
                                             magnitudes 0..2 for 3 and 4);
                             codebooks 5..11 y, z in bits 0-4, 5-9 (two's
                                             complement for the signed books
                                             5 and 6, magnitudes 0..16 for
                                             7..11, 16 being the escape);
    0x8000 | (nb-1) << 12 | off
                           sub-table of 2^nb entries (nb 1..8) at entry
                           offset `off` of the same table, indexed by the
                           nb bits that follow the bits used so far.
Sub-tables use at most 7 index bits and never more than the remaining depth
of the longest code below them, so no lookup uses more bits than the longest
code of its book, and every spectrum book (codes of at most 16 bits) resolves
in the root or in one sub-table.

Usage: gen_codebooks.py [repo_root]   (default: the parent of this script's dir)
"""
import collections
import os
import sys

ROOT_BITS = 9
LENGTHS = {}  # code lengths per codebook, filled by build_lookup
SUB_BITS = 7

# Tuple signedness (1 = unsigned values, sign bits follow) and largest
# absolute value, indexed by codebook number; entry 0 is the scale factor book.
SIGN_CB = [0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 1]
LAV_CB = [0, 1, 1, 2, 2, 4, 4, 7, 7, 12, 12, 16]
EXPECTED_COUNTS = [121, 81, 81, 81, 81, 81, 81, 64, 64, 169, 169, 289]
EXPECTED_LONGEST = [19, 11, 9, 16, 12, 13, 11, 12, 10, 15, 12, 12]


def read_tsv(path):
    books = collections.defaultdict(dict)
    with open(path) as f:
        for line in f:
            line = line.rstrip('\n')
            if not line or line.startswith('#') or line.startswith('codebook'):
                continue
            cb, idx, length, word = line.split('\t')
            cb, idx, length, word = int(cb), int(idx), int(length), int(word, 16)
            if idx in books[cb]:
                sys.exit(f'codebook {cb}: index {idx} twice')
            books[cb][idx] = (length, word)
    out = []
    for cb in range(12):
        entries = books[cb]
        n = len(entries)
        if sorted(entries) != list(range(n)):
            sys.exit(f'codebook {cb}: indices are not 0..{n - 1}')
        out.append([entries[i] for i in range(n)])
    return out


def check_book(cb, codes):
    if len(codes) != EXPECTED_COUNTS[cb]:
        sys.exit(f'codebook {cb}: {len(codes)} code words')
    if max(l for l, _ in codes) != EXPECTED_LONGEST[cb]:
        sys.exit(f'codebook {cb}: longest code differs')
    for l, w in codes:
        if not 1 <= l <= 31 or w >> l:
            sys.exit(f'codebook {cb}: bad code {w:#x}/{l}')
    longest = max(l for l, _ in codes)
    kraft = sum(1 << (longest - l) for l, _ in codes)
    if kraft != 1 << longest:
        sys.exit(f'codebook {cb}: not complete')
    # Sorted as bit strings, a code that is a prefix of another sorts right
    # before some code it prefixes.
    strings = sorted(format(w, f'0{l}b') for l, w in codes)
    for a, b in zip(strings, strings[1:]):
        if b.startswith(a):
            sys.exit(f'codebook {cb}: not prefix-free ({a} / {b})')


def payload(cb, idx):
    """The decoded value(s) of index idx of codebook cb, packed."""
    if cb == 0:
        return idx
    m = LAV_CB[cb] + 1 if SIGN_CB[cb] else 2 * LAV_CB[cb] + 1
    off = 0 if SIGN_CB[cb] else LAV_CB[cb]
    if cb <= 4:
        vals = [idx // (m * m * m) - off, idx // (m * m) % m - off, idx // m % m - off,
                idx % m - off]
        width = 2
    else:
        vals = [idx // m - off, idx % m - off]
        width = 5
    packed = 0
    for i, v in enumerate(vals):
        packed |= (v & ((1 << width) - 1)) << (width * i)
    return packed


def taken(cb, idx):
    """Bits of code word idx of codebook cb and of its sign bits."""
    signs = 0
    if SIGN_CB[cb]:
        m = LAV_CB[cb] + 1
        dim = 4 if cb <= 4 else 2
        signs = sum(1 for i in range(dim) if (idx // m ** (dim - 1 - i)) % m != 0)
    return LENGTHS[cb][idx] + signs


def build_lookup(cb, codes):
    """Returns the flat uint16 table and the root bit count."""
    longest = max(l for l, _ in codes)
    root = min(ROOT_BITS, longest)
    table = []

    def emit(items, bits):
        # items: (remaining length, remaining code, index); returns offset
        base = len(table)
        table.extend([0] * (1 << bits))
        groups = collections.defaultdict(list)
        for l, w, idx in items:
            if l <= bits:
                first = w << (bits - l)
                for k in range(1 << (bits - l)):
                    if table[base + first + k]:
                        sys.exit('lookup: overlapping codes')
                    table[base + first + k] = (taken(cb, idx) << 10) | payload(cb, idx)
            else:
                groups[w >> (l - bits)].append((l - bits, w & ((1 << (l - bits)) - 1), idx))
        for slot in sorted(groups):
            g = groups[slot]
            nb = min(SUB_BITS, max(l for l, _, _ in g))
            off = emit(g, nb)
            if off > 0xFFF:
                sys.exit('lookup: table too large for 12-bit offsets')
            table[base + slot] = 0x8000 | ((nb - 1) << 12) | off
        return base

    length_of = [l for l, _ in codes]
    LENGTHS[cb] = length_of
    emit([(l, w, i) for i, (l, w) in enumerate(codes)], root)
    if cb > 0 and max(length_of) > root + SUB_BITS:
        sys.exit(f'codebook {cb}: spectrum books must resolve within one sub-table')
    return table, root


def main():
    repo = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))
    books = read_tsv(os.path.join(repo, 'tools', 'tables', 'huffman_codebooks.tsv'))
    for cb, codes in enumerate(books):
        check_book(cb, codes)

    o = []
    o.append('// SPDX-License-Identifier: BSD-2-Clause')
    o.append('// Copyright (c) 2026 The aacd authors')
    o.append('// Generated by tools/gen_codebooks.py from tools/tables/huffman_codebooks.tsv.')
    o.append('// Do not edit: change the generator or the table and run it again.')
    o.append('//')
    o.append('// The twelve Huffman codebooks as variable-length code lists (entry i is')
    o.append('// index i; a length-0 entry ends each list), the per-codebook signedness')
    o.append('// and largest absolute value, and the multi-level lookup tables used by')
    o.append('// the scale factor and spectral decoders (layout in the generator).')
    o.append('#include "omxdl/ac/armACAAC.h"')
    o.append('#include "omxdl/ac/armACAAC_HuffLookup.h"')
    o.append('')
    o.append('extern "C" {')
    o.append('')
    for cb, codes in enumerate(books):
        o.append(f'const ArmVlc32 armACAAC_codeBook{cb}[{len(codes) + 1}] = {{')
        row = []
        for l, w in codes + [(0, 0)]:
            row.append(f'{{{l}, 0x{w:x}u}}')
            if len(row) == 6:
                o.append('    ' + ', '.join(row) + ',')
                row = []
        if row:
            o.append('    ' + ', '.join(row) + ',')
        o.append('};')
        o.append('')
    o.append('const ArmVlc32 *const armACAAC_CodeBooks_C[12] = {')
    o.append('    ' + ', '.join(f'armACAAC_codeBook{cb}' for cb in range(6)) + ',')
    o.append('    ' + ', '.join(f'armACAAC_codeBook{cb}' for cb in range(6, 12)) + ',')
    o.append('};')
    o.append('')
    o.append('const uint8_t armACAAC_signCb[12] = {' + ', '.join(map(str, SIGN_CB)) + '};')
    o.append('const uint8_t armACAAC_lavCb[12] = {' + ', '.join(map(str, LAV_CB)) + '};')
    o.append('')
    o.append('}  // extern "C"')
    o.append('')
    o.append('namespace aacd {')
    o.append('namespace {')
    o.append('')
    roots = []
    for cb, codes in enumerate(books):
        table, root = build_lookup(cb, codes)
        roots.append((root, max(l for l, _ in codes), len(table)))
        o.append(f'constexpr uint16_t kLookup{cb}[{len(table)}] = {{')
        for i in range(0, len(table), 12):
            o.append('    ' + ', '.join(f'0x{v:04x}' for v in table[i:i + 12]) + ',')
        o.append('};')
        o.append('')
    o.append('}  // namespace')
    o.append('')
    o.append('const HuffLookup kHuffLookup[12] = {')
    for cb, (root, longest, size) in enumerate(roots):
        o.append(f'    {{kLookup{cb}, {root}u, {longest}u, {size}u}},')
    o.append('};')
    o.append('')
    o.append('}  // namespace aacd')
    path = os.path.join(repo, 'omxdl', 'ac', 'armACAAC_CodeBook_C.cpp')
    tmp = path + '.tmp'
    with open(tmp, 'w') as f:
        f.write('\n'.join(o) + '\n')
    os.replace(tmp, path)


if __name__ == '__main__':
    main()
