#!/usr/bin/env python3
"""Cost of one call from Python against the same call in C++, and of bulk calls.

Usage: PYTHONPATH=build/python /usr/bin/python3 python/bench/bench.py \
           build/python/zerin_exchange_call_cost [rounds]

Each round runs the C++ program (tools of the same build) and then times the
same calls from Python, so that both sides see the same machine load; the table
gives medians over the rounds and the median of the per-round ratios.
"""

import statistics
import subprocess
import sys
import timeit

import zerin_exchange as zx


def python_costs(seconds):
    topology = zx.Topology.r470()
    receivers = [i * 37 % 1472 for i in range(1, 65)]
    row = topology.point_to_point(0, 1, 100).receiver
    words = list(row)
    transfers = [(i % 1472, (i % 1472 + 7) % 1472, 100) for i in range(1000)]

    def loop():
        for sender, receiver, count in transfers:
            topology.point_to_point(sender, receiver, count)

    cases = {
        "point_to_point": lambda: topology.point_to_point(0, 1, 100),
        "multicast_64": lambda: topology.multicast(0, receivers, 100),
        "decode_row": lambda: zx.decode_row(row),
        "decode_row_list": lambda: zx.decode_row(words),
        "point_to_point_1000": lambda: topology.point_to_point_many(transfers),
        "point_to_point_1000_loop": loop,
    }
    costs = {}
    for name, call in cases.items():
        timer = timeit.Timer(call)
        number, _ = timer.autorange()
        number = max(1, int(number * seconds / 0.2))
        costs[name] = min(timer.repeat(repeat=5, number=number)) / number * 1e9
    return costs


def cpp_costs(program, seconds):
    out = subprocess.run([program, str(seconds)], check=True, capture_output=True, text=True)
    return {name: float(value) for name, value in (line.split() for line in out.stdout.splitlines())}


def main():
    program = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    seconds = 0.2
    cpp, python = [], []
    for _ in range(rounds):
        cpp.append(cpp_costs(program, seconds))
        python.append(python_costs(seconds))
    # Python cases are compared with the C++ case of the same work.
    counterpart = {"decode_row_list": "decode_row", "point_to_point_1000_loop": "point_to_point_1000"}
    print(f"{'call':28} {'C++ ns':>10} {'Python ns':>10} {'ratio':>7} {'overhead ns':>12}")
    for name in python[0]:
        base = counterpart.get(name, name)
        c = statistics.median(r[base] for r in cpp)
        p = statistics.median(r[name] for r in python)
        ratio = statistics.median(py[name] / cc[base] for py, cc in zip(python, cpp))
        print(f"{name:28} {c:10.0f} {p:10.0f} {ratio:6.2f}x {p - c:12.0f}")


if __name__ == "__main__":
    main()
