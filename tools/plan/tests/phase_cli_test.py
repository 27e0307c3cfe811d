#!/usr/bin/env python3
"""End-to-end checks of zerin-plan phase and zerin-plan check.

usage: phase_cli_test.py ZERIN_PLAN GROUP   (GROUP: phase, check, errors)
"""
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

PLAN = sys.argv[1]
failures = []
workdir = tempfile.mkdtemp(prefix="zerin-phase-")


def run(*args):
    proc = subprocess.run([PLAN, *args], capture_output=True, text=True, timeout=60)
    return proc.returncode, proc.stdout, proc.stderr


def check(condition, what):
    if not condition:
        failures.append(what)


def write(name, document):
    path = os.path.join(workdir, name)
    with open(path, "w") as f:
        f.write(document if isinstance(document, str) else json.dumps(document))
    return path


TRANSFERS = [
    {"kind": "multicast", "sender": 0, "receivers": [736, 1286], "count": 1},
    {"kind": "paired", "sender": 0, "receivers": [2, 3], "count": 8},
    {"kind": "multicast", "sender": 736, "receivers": [0], "count": 100, "at": 500},
    {"kind": "multicast", "sender": 2, "receivers": [736, 1286], "count": 4148},
]


def phase_json(transfers):
    code, out, err = run("phase", write("phase.json", transfers), "--json")
    check(code == 0, f"phase --json: exit {code}, stderr {err!r}")
    return json.loads(out) if code == 0 else None


def words_of(program):
    return [int(w["word"], 16) for w in program["words"]]


def check_file(doc):
    return {"transfers": [{k: t[k] for k in ("kind", "sender", "receivers", "count", "at")}
                          for t in doc["transfers"]],
            "programs": [{"tile": p["tile"], "words": [w["word"] for w in p["words"]]}
                         for p in doc["programs"]]}


# ---------------------------------------------------------------------------
def test_phase():
    doc = phase_json(TRANSFERS)
    if doc is None:
        return
    programs = {p["tile"]: words_of(p) for p in doc["programs"]}
    # The first transfer alone would give the planner's rows; here tile 1286
    # also receives the fourth transfer after its first row.
    check(programs[1286][:4] == [0x41800003, 0x64000000, 0x64000640, 0x61914000],
          "tile 1286 opens with the planner's receiver row")
    check(doc["transfers"][0]["at"] == 0 and doc["transfers"][2]["at"] == 500, "placements")
    check(doc["transfers"][3]["at"] >= 78, "the fourth transfer waits for tile 736 to be free")
    check(all(p["words"][0]["kind"] == "sync" and p["words"][-1]["kind"] == "return"
              for p in doc["programs"]), "every program is framed")
    check(doc["length"] == max(r["horizon"] for t in doc["transfers"] for r in t["rows"]),
          "length is the last horizon")
    # Rows of one tile never overlap.
    spans = {}
    for t in doc["transfers"]:
        for r in t["rows"]:
            spans.setdefault(r["tile"], []).append((r["start"], r["horizon"]))
    for tile, rows in spans.items():
        rows.sort()
        check(all(a[1] <= b[0] for a, b in zip(rows, rows[1:])), f"tile {tile} rows overlap")

    # A single transfer: the planner's rows word for word.
    single = phase_json([TRANSFERS[0]])
    if single:
        progs = {p["tile"]: words_of(p) for p in single["programs"]}
        check(progs[0] == [0x41800003, 0x40A00016, 0x78000003, 0x43A00000], "sender row")
        check(progs[736] == [0x41800003, 0x6404C000, 0x64000640, 0x61914000, 0x40A00005,
                             0x43A00000], "receiver row of 736")

    code, out, err = run("phase", write("phase.json", TRANSFERS))
    check(code == 0 and out.startswith("phase: 4 transfers on 5 tiles"), f"text heading {out[:60]!r}")
    check("transfer 2: multicast from tile 736 to 0, 100 words, at cycle 500" in out,
          "text placement line")
    check("0x78000003      23  send 1 word dir 3" in out, "text program table")

    svg_path = os.path.join(workdir, "phase.svg")
    code, out, err = run("phase", write("phase.json", TRANSFERS), "--svg", svg_path)
    check(code == 0, f"--svg: exit {code} {err!r}")
    if code == 0:
        root = ET.parse(svg_path).getroot()
        ns = "{http://www.w3.org/2000/svg}"
        rects = root.findall(f"{ns}rect")
        check(len(rects) == sum(len(t["receivers"]) + 1 for t in TRANSFERS), "one box per row")
        check({r.get("class") for r in rects} == {f"transfer-{i}" for i in range(4)},
              "boxes told apart by transfer")
        lanes = [t.text for t in root.findall(f"{ns}text") if t.text.startswith("tile ")]
        check(lanes == ["tile 0", "tile 2", "tile 3", "tile 736", "tile 1286"],
              f"one lane per tile {lanes}")

    # An object with settings: a maximum too short refuses a transfer.
    code, out, err = run("phase", write("short.json", {"transfers": TRANSFERS,
                                                         "maximum_cycles": 200}))
    check(code == 1 and err == "zerin-plan: transfers[2]: exchange event offset 600 cycles from "
          "the phase-entry sync exceeds the encodable maximum of 200 cycles\n",
          f"maximum: {code} {err!r}")


def test_check():
    doc = phase_json(TRANSFERS)
    if doc is None:
        return
    good = check_file(doc)
    code, out, err = run("check", write("check.json", good))
    check(code == 0 and out == "ok: 5 programs carry out 4 transfers\n", f"check ok: {code} {out!r}")

    broken = json.loads(json.dumps(good))
    words = broken["programs"][0]["words"]
    words[2] = "0x78000004"  # the send's direction changed
    code, out, err = run("check", write("broken.json", broken), "--json")
    result = json.loads(out) if out else {}
    check(code == 1 and result.get("ok") is False and
          result["mismatch"]["kind"] == "instruction" and result["mismatch"]["tile"] == 0 and
          result["mismatch"]["word"] == 2, f"changed word: {code} {out!r}")

    code, out, err = run("check", write("broken.json", broken))
    check(code == 1 and out.startswith("instruction mismatch on tile 0 at word 2: expected send"),
          f"changed word text: {out!r}")

    # Numbers are words too.
    numeric = json.loads(json.dumps(good))
    numeric["programs"][0]["words"] = [int(w, 16) for w in numeric["programs"][0]["words"]]
    code, out, err = run("check", write("numeric.json", numeric))
    check(code == 0, f"numeric words: {code} {out!r} {err!r}")


def test_errors():
    cases = [
        ("not json", "{", "not a JSON document"),
        ("kind", [{"kind": "p2p", "sender": 0, "receivers": [1], "count": 1}],
         "transfers[0].kind: expected \"multicast\" or \"paired\""),
        ("count", [TRANSFERS[0], {"kind": "multicast", "sender": 0, "receivers": [1],
                                  "count": -1}],
         "transfers[1].count: expected an unsigned integer of at most 32 bits"),
        ("receiver", [{"kind": "multicast", "sender": 0, "receivers": [1, 70000], "count": 1}],
         "transfers[0].receivers[1]: 70000 does not fit 16 bits"),
        ("missing", [{"kind": "multicast", "receivers": [1], "count": 1}],
         "transfers[0].sender: missing"),
        ("unknown", [{"kind": "multicast", "sender": 0, "receivers": [1], "count": 1,
                      "offset": 3}], "transfers[0]: unknown field 'offset'"),
    ]
    for name, document, message in cases:
        path = write(f"{name}.json", document)
        code, out, err = run("phase", path)
        check(code == 2 and err == f"zerin-plan: {path}: {message}\n" and out == "",
              f"{name}: {code} {err!r}")

    code, out, err = run("check", write("noat.json", {"transfers": [TRANSFERS[0]],
                                                       "programs": []}))
    check(code == 2 and err.endswith("transfers[0].at: missing\n"), f"check without at: {err!r}")
    code, out, err = run("check", write("badword.json", {
        "transfers": [], "programs": [{"tile": 0, "words": ["0x41800003", "zz"]}]}))
    check(code == 2 and "programs[0].words[1]" in err, f"bad word: {err!r}")

    # Refusals: the reason, exit 1.
    code, out, err = run("phase", write("self.json", [
        {"kind": "multicast", "sender": 0, "receivers": [0, 5], "count": 1}]))
    check(code == 1 and err == "zerin-plan: transfers[0]: exchange schedule is not encodable: "
          "phase transfer receives on its sending tile\n", f"self receiver: {err!r}")
    code, out, err = run("phase", write("overlap.json", [
        dict(TRANSFERS[0], at=0), dict(TRANSFERS[0], at=10)]))
    # The senders' rows (cycles 23 and 33) do not meet; the receivers' do.
    check(code == 1 and "transfers[1]: exchange schedule is not encodable: phase receiver row "
          "overlaps a placed row" in err, f"overlap: {err!r}")

    code, out, err = run("phase")
    check(code == 2 and "FILE is required" in err, f"no file: {err!r}")
    code, out, err = run("phase", os.path.join(workdir, "absent.json"))
    check(code == 2 and "cannot read" in err, f"absent file: {err!r}")
    code, out, err = run("check", write("x.json", "{}"), "--svg", "a.svg")
    check(code == 2 and "check does not take '--svg'" in err, f"check --svg: {err!r}")


GROUPS = {"phase": test_phase, "check": test_check, "errors": test_errors}
GROUPS[sys.argv[2]]()
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
