#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a worked example of the planner laid out in its target's input
format (see the comment at the top of each fuzz_*.cpp). Run it again after
changing an input format; the fuzzers grow their own corpora from these seeds.
"""
import pathlib
import struct

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"
SYNC, RET = 0x41800003, 0x43A00000

# Receive event kinds.
ORD_SRC, ORD_NEUT, PAIRED_SRC, PAIRED_NEUT, PAIRED_PTR, POINTER, FORMAT = range(7)


def u8(v):
    return struct.pack("<B", v & 0xFF)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def row(*words):
    words = list(words) + [0] * (9 - len(words))
    return b"".join(u32(w) for w in words)


def events(evs, delta=False):
    out = u8(len(evs))
    for cycles, instruction, kind in evs:
        out += (u16(cycles) if delta else u32(cycles)) + u32(instruction) + u8(kind)
    return out


def words_seed(a, b, c, word, advance, send_control, the_row, pair, evs):
    return (u32(a) + u32(b) + u32(c) + u32(word) + u32(advance) + u8(send_control) + the_row +
            u32(pair[0]) + u32(pair[1]) + u32(pair[2]) + events(evs))


def timing_seed(offset, the_row, shape=0x1E):
    # Shape 0x1E: no forced sync, forced return index 15 (none).
    return u32(offset) + u8(shape) + the_row


def emission_seed(flags, prefill, seed, clock, horizon, target, parity, evs):
    return (u8(flags) + u8(prefill) + u32(seed) + u32(clock) + u32(horizon) + u32(target) +
            u8(parity) + events(evs, delta=bool(flags & 2)))


def plans_seed(sender, second, count, offset, mdm, receivers, mode=0, table=None):
    out = u8(mode)
    if table is not None:
        out += u8(len(table) - 1) + b"".join(u16(t) for t in table)
    out += u16(sender) + u16(second) + u32(count) + u32(offset) + u32(mdm)
    return out + u8(len(receivers)) + b"".join(u16(r) for r in receivers)


SEEDS = {
    "words": [
        # The SENDPICP worked pair, the PIC delay example, a send-off word.
        words_seed(52, 0, 0x14000, 0x766FC001, 4096, 5, row(SYNC, 0x7FE00001, 0x766FC001, RET),
                   (3, 0x100, 5), [(7, 0x60052345, POINTER), (7, 0x64002ABC, ORD_SRC)]),
        words_seed(63, 7, 0x3FFFF, 0x67FFFFFF, 4097, 8, row(SYNC, 0x40A00005, RET),
                   (64, 0, 0), [(7, 0x60052345, POINTER), (7, 0x64002ABC, POINTER)]),
        words_seed(4096, 0, 0, 0x63FFFFFF, 129, 0, row(SYNC, 0xF8600805, 0xF8600804, RET),
                   (3, 0x100, 5), [(7, 0x60052345, ORD_SRC), (7, 0x64002ABC, ORD_SRC)]),
        words_seed(4148, 8, 0x40000, 0x40A7FFFF, 524289, 7, row(SYNC, 0x78000001, 0x70000002, RET),
                   (0, 0, 0), [(7, 0x60052345, POINTER), (8, 0x64002ABC, ORD_NEUT)]),
        words_seed(0, 1, 0, 0x78000001, 0, 3, row(0x70100000, 0x41800003, 0, 0xFFFFFFFF),
                   (63, 0x3FFFF, 7), [(1, 0, FORMAT)]),
    ],
    "sender_timing": [
        timing_seed(10, row(SYNC, 0x40A00002, 0x78600001, RET)),
        timing_seed(10, row(SYNC, 0x40A00002, 0x78600001, 0x40A00000, RET)),
        timing_seed(0xFFFFFDFF, row(SYNC, 0x40A001FE, 0x78000001, RET)),
        timing_seed(0xFFFFFDFF, row(SYNC, 0x40A001FF, 0x78000001, RET)),
        timing_seed(0, row(SYNC, RET)),
        timing_seed(0, row(0, 0x78000001, RET)),
        timing_seed(0, row(SYNC, 0x78000001, 0x40A00004)),
        timing_seed(5, row(SYNC, 0x78000001, 0x40A00009, 0x70000002, RET, RET)),
        timing_seed(0, row(SYNC, 0x7FE00001, 0x766FC001, RET)),
        timing_seed(0, row(SYNC, 0x40A0008B, 0x78000001, RET)),
    ],
    "emission": [
        # Two format controls, the second beyond the PIC reach.
        emission_seed(0, 1, SYNC, 0, 310, 524289, 0,
                      [(100, 0x60040001, FORMAT), (303, 0x60040000, FORMAT)]),
        # A SENDPICP group after one- and two-word sinks.
        emission_seed(1, 1, SYNC, 0, 20, 3, 0,
                      [(10, 0x60040123, POINTER), (10, 0x64002005, ORD_SRC)]),
        emission_seed(1, 2, SYNC, 0, 20, 3, 0,
                      [(10, 0x60040123, POINTER), (10, 0x64002005, ORD_SRC)]),
        emission_seed(0, 0, 0, 0, 4096, 7, 1, [(4096, 0x64002640, PAIRED_NEUT)]),
        emission_seed(0, 0, 0, 0, 4097, 7, 1, [(4097, 0x64002640, PAIRED_NEUT)]),
        emission_seed(0, 0, 0, 0, 7, 7, 0, []),
        emission_seed(0, 0, 0, 9, 7, 7, 0, []),
        emission_seed(0, 0, 0, 0, 20, 0, 0,
                      [(0, 0x60040123, POINTER), (0, 0x64002005, ORD_SRC)]),
        emission_seed(0, 1, SYNC, 0, 300, 0, 0,
                      [(10, 0x60040123, POINTER), (10, 0x64002005, ORD_SRC),
                       (11, 0x64002005, ORD_NEUT)]),
        emission_seed(1, 1, SYNC, 0, 300, 0, 0,
                      [(10, 0x60040123, POINTER), (10, 0x64002005, ORD_NEUT),
                       (200, 0x64002005, ORD_NEUT)]),
        # The paired receiver row of a non-early receiver, then an early one.
        emission_seed(0, 1, SYNC, 0, 80, 0, 0,
                      [(65, 0x60040001, FORMAT), (67, 0x60000000, PAIRED_PTR),
                       (73, 0x60040000, FORMAT)]),
        emission_seed(0, 1, SYNC, 0, 80, 0, 0,
                      [(10, 0x64002007, PAIRED_SRC), (18, 0x64002640, PAIRED_NEUT),
                       (65, 0x60040001, FORMAT), (67, 0x60000000, PAIRED_PTR),
                       (73, 0x60040000, FORMAT)]),
        # Cycles as deltas, instructions built from the kinds.
        emission_seed(7, 3, SYNC, 0, 9, 524291, 1,
                      [(5, 0x123, POINTER), (0, 0x2005, ORD_SRC), (40, 0x1, FORMAT),
                       (300, 0x640, ORD_NEUT)]),
        emission_seed(6, 0, 0, 0, 7, 1, 2, [(0, 0, FORMAT), (5, 0, FORMAT), (0, 0, FORMAT)]),
    ],
    "plans": [
        plans_seed(0, 1, 1, 0, -30, [736, 1286]),
        plans_seed(0, 2, 100, 4095, -30, [736, 1286]),
        plans_seed(0, 2, 8, 0, -30, [2, 3]),
        plans_seed(0, 3, 4148, 0, -30, [2, 3]),
        plans_seed(0, 2, 53, 0, -30, [2, 3]),
        plans_seed(274, 2, 1, 0, 0, [2, 3]),
        plans_seed(274, 275, 1, 0, 0, [274, 275]),
        plans_seed(736, 0, 1, 0, 66, [0, 1471]),
        plans_seed(736, 3, 1, 4095, 66, [2, 3]),
        plans_seed(780, 0, 1, 0, 0, [2]),
        plans_seed(0, 2, 8, 0, -30, [2, 4, 3, 5]),
        plans_seed(1472, 1473, 5, 0, 0, [1472, 1473]),
        plans_seed(5000, 5000, 0, 0, 0, []),
        plans_seed(0, 0, 4149, 0, 0, [0]),
        plans_seed(0, 1, 2, 0, -2147483648, [0, 0]),
        plans_seed(0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 2147483647, [1, 0]),
        # Forty receivers as partner pairs (long lists take another path).
        plans_seed(0, 1, 64, 0, -31, list(range(2, 42, 2)), mode=16),
        # A small table of another board.
        plans_seed(0, 1, 65, 0, 0, [2, 3], mode=1, table=[0, 2, 64, 66, 1440, 1442]),
        plans_seed(4, 0, 1, 0, 0, [0, 1], mode=1, table=[0, 2, 64, 66, 1440, 1442]),
    ],
}


# Operation flags of the phase target.
AT, PAIRED, CROWD, LARGE, BUDGET, NO_BUDGET = 1, 2, 4, 8, 16, 32


def phase_op(op, sender, receivers, count, cycle=0, budget=0):
    return (u8(op) + u8(budget) + u16(sender) + u8(len(receivers)) +
            b"".join(u16(r) for r in receivers) + u16(count) + u32(cycle))


def phase_seed(maximum, *ops):
    return u32(maximum) + b"".join(ops)


SEEDS["phase"] = [
    # One multicast, one paired transfer: the planner's rows.
    phase_seed(0, phase_op(0, 0, [736, 1286], 100)),
    phase_seed(0, phase_op(PAIRED, 0, [2, 3], 4148)),
    # Crowded tiles, list scheduling into gaps, a placement at a given cycle.
    phase_seed(0, phase_op(CROWD | AT, 1, [2, 3], 300, 5000),
               phase_op(CROWD, 1, [2, 5, 7], 40), phase_op(CROWD, 2, [1], 4000),
               phase_op(CROWD | PAIRED, 4, [2, 3, 6, 7], 64), phase_op(CROWD, 1, [2], 1, 100)),
    # An overlap refused, the sender among its receivers, a budget too small.
    phase_seed(0, phase_op(AT, 10, [20], 100, 0), phase_op(AT, 20, [30], 100, 10),
               phase_op(0, 10, [10, 11], 5), phase_op(BUDGET, 30, [40], 5, 0, 3),
               phase_op(NO_BUDGET, 30, [40], 5)),
    # A short maximum and a cycle near the top of the clock.
    phase_seed(300, phase_op(0, 0, [736], 200), phase_op(0, 0, [736], 200),
               phase_op(AT | LARGE, 5, [6], 1, 0xFFFFFFF0)),
]


def main():
    for target, seeds in SEEDS.items():
        folder = ROOT / target
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.glob("seed-*"):
            old.unlink()
        for index, seed in enumerate(seeds):
            (folder / f"seed-{index:02d}").write_bytes(seed)


if __name__ == "__main__":
    main()
