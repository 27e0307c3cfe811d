"""The bindings' results equal the C++ library's over random calls of each planner.

The C++ side is the crosscheck helper built beside the tests (its path in
ZERIN_CROSSCHECK); each request line gets one answer line.
"""

import os
import random
import subprocess

import pytest

import zerin_exchange as zx

CALLS = 3000
HELPER = os.environ.get("ZERIN_CROSSCHECK")


def words(*rows):
    return " ".join(f"{word:08x}" for row in rows for word in tuple(row))


def outcome(call, format_value):
    try:
        return "ok " + format_value(call())
    except zx.ExchangeError as error:
        return "err " + repr(error)


def tile(rng):
    # Mostly tiles of the board, sometimes just past it or far out.
    return rng.choice([rng.randrange(1472)] * 8 + [1472 + rng.randrange(3), rng.randrange(65536)])


def count(rng):
    return rng.choice([rng.randrange(1, 4149)] * 4 + [rng.randrange(1, 9), 0, 4148, 4149,
                                                       rng.getrandbits(32)])


def point_to_point(rng, topology):
    s, r, c = tile(rng), tile(rng), count(rng)
    if rng.random() < 0.05:
        r = s
    return f"p2p {s} {r} {c}", outcome(lambda: topology.point_to_point(s, r, c),
                                       lambda p: words(p.sender, p.receiver))


def multicast(rng, topology):
    s, c = tile(rng), count(rng)
    receivers = [tile(rng) for _ in range(rng.choice([0, 1, 2, 3, 8, 64]))]
    if receivers and rng.random() < 0.1:
        receivers.append(rng.choice(receivers + [s]))
    offset = rng.choice([0, 0, rng.randrange(64), rng.randrange(5000), rng.getrandbits(32)])
    return (f"mc {s} {c} {offset} " + " ".join(map(str, receivers)),
            outcome(lambda: topology.multicast(s, receivers, c, offset),
                    lambda p: words(p.sender, *p.receivers)))


def paired_multicast(rng, topology):
    s, c = tile(rng), rng.choice([count(rng), 2, 53, 55, rng.randrange(1, 200)])
    pairs = [rng.randrange(736) for _ in range(rng.choice([0, 1, 2, 4]))]
    receivers = [t for p in pairs for t in (2 * p, 2 * p + 1)]
    rng.shuffle(receivers)
    if receivers and rng.random() < 0.15:
        receivers[rng.randrange(len(receivers))] = tile(rng)
    return (f"pmc {s} {c} " + " ".join(map(str, receivers)),
            outcome(lambda: topology.paired_multicast(s, receivers, c),
                    lambda p: words(p.sender, *p.receivers)))


def paired_receiver_row(rng, topology):
    s, r, c = tile(rng), tile(rng), rng.choice([count(rng) % 4149 or 1, 2, rng.randrange(1, 120)])
    minimum = rng.choice([rng.randrange(-96, 131), zx.paired_time_to_mux(
        zx.r470_logical_to_physical(s), zx.r470_logical_to_physical(r))])
    return f"prr {s} {r} {c} {minimum}", outcome(
        lambda: topology.paired_receiver_row(s, r, c, minimum), words)


def paired_receiver_is_early(rng, topology):
    r, s = tile(rng), tile(rng)
    return f"early {r} {s}", outcome(lambda: topology.paired_receiver_is_early(r, s),
                                     lambda early: str(int(early)))


def sender_timing(rng, topology):
    sender = rng.randrange(1472)
    plan = topology.point_to_point(sender, (sender + rng.randrange(1, 1472)) % 1472,
                                   count(rng) % 4148 + 1) if rng.random() < 0.5 else None
    row = list(plan.sender) if plan and plan.sender[1] != 0x78000001 else [
        rng.choice([zx.SYNC_WORD, zx.SYNC_WORD, zx.RETURN_WORD, 0x40A00002, 0x78600001,
                    0x766FC001, rng.getrandbits(32)]) for _ in range(9)]
    offset = rng.choice([0, 10, 0xFFFFFDFF, rng.getrandbits(32)])
    try:
        text = f"Ok({zx.scheduled_sender_timing(row, offset)!r})"
    except zx.ExchangeError as error:
        text = f"Err({error!r})"
    return f"timing {offset} " + " ".join(map(str, row)), text


def decoding(rng, topology):
    row = [rng.choice([rng.getrandbits(32), 0xF0000000 | rng.getrandbits(28),
                       zx.delay(rng.getrandbits(19))]) for _ in range(rng.randrange(1, 10))]
    return "decode " + " ".join(map(str, row)), " | ".join(map(str, zx.decode_row(row)))


@pytest.mark.skipif(not HELPER, reason="ZERIN_CROSSCHECK names no helper (run through ctest)")
@pytest.mark.parametrize("make_call", [point_to_point, multicast, paired_multicast,
                                       paired_receiver_row, paired_receiver_is_early,
                                       sender_timing, decoding])
def test_python_equals_cpp(r470, make_call):
    rng = random.Random(make_call.__name__)
    requests, expected = zip(*(make_call(rng, r470) for _ in range(CALLS)))
    answer = subprocess.run([HELPER], input="\n".join(requests) + "\n", capture_output=True,
                            text=True, check=True).stdout.splitlines()
    assert len(answer) == CALLS
    mismatches = [(q, e, a) for q, e, a in zip(requests, expected, answer) if e != a]
    assert mismatches == []
    outcomes = {line.split(" ", 1)[0] for line in expected}
    if make_call not in (sender_timing, decoding):
        assert outcomes == {"ok", "err"}
