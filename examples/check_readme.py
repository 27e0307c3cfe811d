#!/usr/bin/env python3
"""The README shows each example as it is: its source, and what it prints.

usage: check_readme.py README EXAMPLES_DIR NAME...

For each NAME, the README's ```cpp block that starts with "// examples/NAME.cpp:"
must equal examples/NAME.cpp, and the ```text blocks after it (before the next
cpp block) must equal expected/NAME.out and, where it exists, expected/NAME.err.
"""
import os
import re
import sys

readme_path, examples, names = sys.argv[1], sys.argv[2], sys.argv[3:]
with open(readme_path, encoding="utf-8") as f:
    blocks = re.findall(r"^```(\w*)\n(.*?)^```$", f.read(), re.S | re.M)
failures = []
for name in names:
    starts = [i for i, (lang, body) in enumerate(blocks)
              if lang == "cpp" and body.startswith(f"// examples/{name}.cpp:")]
    if len(starts) != 1:
        failures.append(f"{name}: {len(starts)} cpp blocks in the README, want 1")
        continue
    at = starts[0]
    with open(os.path.join(examples, f"{name}.cpp"), encoding="utf-8") as f:
        if blocks[at][1] != f.read():
            failures.append(f"{name}: the README's source differs from examples/{name}.cpp")
    shown = []
    for lang, body in blocks[at + 1:]:
        if lang != "text":
            break
        shown.append(body)
    wanted = [os.path.join(examples, "expected", f"{name}.{kind}") for kind in ("out", "err")]
    wanted = [path for path in wanted if os.path.exists(path)]
    if len(shown) < len(wanted):
        failures.append(f"{name}: {len(shown)} output blocks in the README, want {len(wanted)}")
    for body, path in zip(shown, wanted):
        with open(path, encoding="utf-8") as f:
            if body != f.read():
                failures.append(f"{name}: the README's output differs from {path}")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
