#!/usr/bin/env python3
"""End-to-end checks of zerin-plan: worked plans, tables, JSON, SVG and bad input.

usage: plan_cli_test.py ZERIN_PLAN GROUP [README]
       (GROUP: worked, tables, json, svg, errors, readme)
"""
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

PLAN = sys.argv[1]
failures = []


def run(*args):
    proc = subprocess.run([PLAN, *args], capture_output=True, text=True, timeout=60)
    return proc.returncode, proc.stdout, proc.stderr


def check(condition, what):
    if not condition:
        failures.append(what)


def plan_json(*args):
    code, out, err = run(*args, "--json")
    check(code == 0, f"{args}: exit {code}, stderr {err!r}")
    return json.loads(out) if code == 0 else None


def row_words(doc, index):
    return [int(w["word"], 16) for w in doc["rows"][index]["words"]]


def hexes(*words):
    return list(words) + [0] * (9 - len(words))


# ---------------------------------------------------------------------------
def test_worked():
    doc = plan_json("p2p", "0", "1", "--count", "1")
    check(row_words(doc, 0) == hexes(0x41800003, 0x40A0008B, 0x78000001, 0x43A00000),
          "p2p 0 1 sender row")
    check(row_words(doc, 1) == [0x1, 0x41800003, 0x641C0000, 0x64000640, 0x61900000,
                                0x40A00005, 0x43A00000, 0, 0], "p2p 0 1 receiver row")
    check([r["physical"] for r in doc["rows"]] == [0, 2], "p2p 0 1 physical tiles")

    doc = plan_json("p2p", "0", "2", "--count", "100")
    check(row_words(doc, 0) == hexes(0x41800003, 0x40A0008E, 0x7FE00001, 0x74600001, 0x43A00000),
          "p2p 0 2 sender row")
    check(row_words(doc, 1) == [0x1, 0x41800003, 0x641C0000, 0x61A80000, 0x640BC640,
                                0x40A00038, 0x43A00000, 0, 0], "p2p 0 2 receiver row")
    # The sender's data leaves 143 cycles after its sync and runs 100 cycles.
    check(doc["sender_timing"] == {"payload_start": 143, "payload_end": 243, "horizon": 243},
          f"p2p 0 2 sender timing {doc['sender_timing']}")

    # Mux time of exactly 112: no leading delay, the send issues at cycle 0.
    doc = plan_json("p2p", "780", "0", "--count", "1")
    check(doc["rows"][0]["words"][1]["kind"] == "send", "p2p 780 0 has no leading delay")
    check(doc["sender_timing"]["payload_start"] == 0, "p2p 780 0 sends at cycle 0")

    doc = plan_json("multicast", "0", "736,1286", "--count", "1")
    check(row_words(doc, 0) == hexes(0x41800003, 0x40A00016, 0x78000003, 0x43A00000),
          "multicast sender row")
    check(row_words(doc, 1) == hexes(0x41800003, 0x6404C000, 0x64000640, 0x61914000, 0x40A00005,
                                     0x43A00000), "multicast row for 736")
    check(row_words(doc, 2) == hexes(0x41800003, 0x64000000, 0x64000640, 0x61914000, 0x40A00005,
                                     0x43A00000), "multicast row for 1286")
    check([r["logical"] for r in doc["rows"]] == [0, 736, 1286], "multicast lane order")

    doc = plan_json("multicast", "0", "2", "--count", "1")
    check(row_words(doc, 0) == hexes(0x41800003, 0x40A0001E, 0x78000001, 0x43A00000),
          "multicast to one receiver keeps the route direction")

    doc = plan_json("multicast", "736", "0,1471", "--count", "1")
    check(row_words(doc, 0) == hexes(0x41800003, 0x78000003, 0x40A00004, 0x43A00000),
          "multicast from 736: no leading delay")
    check(row_words(doc, 1)[1] == 0x64110020 and row_words(doc, 2)[1] == 0x64094020,
          "multicast from 736: receive words")

    doc = plan_json("paired", "0", "2,3", "--count", "1")
    check(row_words(doc, 0) == hexes(0x41800003, 0x40A0001E, 0x78000005, 0x43A00000),
          "paired 0 to 2,3: send control 5")
    doc = plan_json("paired", "274", "2,3", "--count", "1")
    check(row_words(doc, 0)[2] & 7 == 6, "paired 274 to 2,3: send control 6")
    doc = plan_json("paired", "274", "274,275", "--count", "1")
    check(any(w & 0xF8000007 == 0x78000007 for w in row_words(doc, 0)),
          "paired 274 to itself and partner: send control 7")
    doc = plan_json("paired", "736", "2,3", "--count", "1")
    check(row_words(doc, 0) == hexes(0x41800003, 0x78000006, 0x40A00004, 0x43A00000),
          "paired 736 to 2,3")

    doc = plan_json("paired", "0", "2,3", "--count", "8")
    check(row_words(doc, 1) == hexes(0x41800003, 0x64002000, 0x6401E640, 0x61640001, 0x60080000,
                                     0x602C0000, 0x40A00006, 0x43A00000), "paired early receiver")
    check(row_words(doc, 2) == hexes(0x41800003, 0x61AC0001, 0x60080000, 0x602C0000, 0x40A00006,
                                     0x43A00000), "paired late receiver")
    doc = plan_json("paired", "0", "2,3", "--count", "4148")
    check(row_words(doc, 2) == hexes(0x41800003, 0x61AC0001, 0x60080000, 0x40A00FB1, 0x63FC0000,
                                     0x40A00006, 0x43A00000), "paired 4148 words")

    # The text tables: one line per word with its decoded text, issue and length.
    code, out, _ = run("p2p", "0", "1", "--count", "1")
    check(code == 0, "p2p text exit")
    check(out.splitlines()[0] == "p2p: tile 0 sends 1 word to tile 1", "p2p heading")
    check(re.search(r"^  1  0x40A0008B  delay 139 \(140 cycles\) +0 +140$", out, re.M),
          "p2p table: delay line")
    check(re.search(r"^  2  0x78000001  send 1 word dir 1 from 0x0 +140 +1$", out, re.M),
          "p2p table: send line")
    check(re.search(r"^  2  0x641C0000  xpic 112 \(113 cycles\) flag 0 control 0x0 +0 +113$",
                    out, re.M), "p2p table: receive line")
    check(out.rstrip().endswith(
        "sender timing: Ok(ScheduledPayloadTiming { payload_start: 140, payload_end: 141, "
        "horizon: 141 })"), "p2p timing line")

    # A sender row given as words, at a schedule offset.
    code, out, _ = run("timing", "41800003", "0x40A00002", "78600001", "43A00000", "--offset", "10")
    check(code == 0 and "payload_start: 13, payload_end: 17, horizon: 17" in out, "timing row")
    code, out, _ = run("timing", "41800003", "40A00002", "78600001", "40A00000", "43A00000",
                       "--offset", "10")
    check(code == 0 and "payload_start: 13, payload_end: 17, horizon: 18" in out,
          "timing row with a trailing delay")
    # Near the top of the cycle range the row still fits, one cycle more does not.
    code, out, err = run("timing", "41800003", "40A001FB", "78600001", "43A00000",
                         "--offset", "4294966783")
    check(code == 0 and "horizon: 4294967295" in out, "timing at the top of the range")
    code, out, err = run("timing", "41800003", "40A001FC", "78600001", "43A00000",
                         "--offset", "4294966783")
    check(code == 1 and "sender event horizon overflow" in err, "timing overflow")
    check("Err(Schedule(\"sender event horizon overflow\"))" in out, "timing overflow table")
    check(re.search(r"return +4294967296 +0$", out, re.M), "timing cycles are not wrapped")

    code, out, _ = run("decode", "F8600805", "AAF12345", "40a0008b")
    check(code == 0, "decode exit")
    check("sendpicp 4 words dir 5 from 0x100 pointer 1" in out, "decode SENDPICP")
    check("sendpicp-payload xpic flag 1 control 0xabc pic control 0x12345" in out,
          "decode SENDPICP payload")
    check("delay 139 (140 cycles)" in out, "decode lower-case word")

    doc = plan_json("tile", "1471")
    check(doc["physical"] == 63 and doc["partner_logical"] == 1470 and
          doc["partner_physical"] == 61, f"tile 1471 {doc}")
    doc = plan_json("tile", "46")
    check((doc["physical"], doc["slot"], doc["column"], doc["lane"], doc["odd_group"]) ==
          (1409, 22, 0, 0, 1), f"tile 46 fields {doc}")
    code, out, _ = run("tile", "2")
    check(code == 0 and "physical 64 (0x0040)" in out and "partner logical 3 (physical 66)" in out,
          "tile text")

    # The first word of a point-to-point receiver row is the value 1, before its sync word.
    doc = plan_json("p2p", "0", "1", "--count", "1")
    lead = doc["rows"][1]["words"][0]
    check((lead["word"], lead["kind"], lead["text"]) ==
          ("0x00000001", "p2p-receiver-lead", "lead 1 (p2p receiver, before sync)"),
          f"p2p receiver lead {lead}")
    check(doc["rows"][0]["words"][0]["kind"] == "sync", "the sender row starts with sync")
    doc = plan_json("decode", "1")
    check(doc["words"][0]["kind"] == "unknown", "a lone word 1 is unknown")

    # One receiver is "tile", not "tiles".
    code, out, _ = run("multicast", "0", "1", "--count", "1")
    check(out.splitlines()[0] == "multicast: tile 0 sends 1 word to tile 1, schedule offset 0",
          f"multicast heading for one receiver: {out.splitlines()[:1]}")


    code, out, err = run("p2p", "0", "1", "--count", "1", "--verbose")
    check(code == 0 and "DEBUG zerin_exchange: assembled point-to-point exchange "
          "sender_logical=0 receiver_logical=1 count=1" in err, "verbose diagnostic")
    code, out, err = run("p2p", "0", "1", "--count", "1")
    check(err == "", "no diagnostics without --verbose")


# ---------------------------------------------------------------------------
TABLE_LINE = re.compile(r"^ +(\d+)  (0x[0-9A-F]{8})  (.*?)  +(\d+|-)  +(\d+|-)$")


def text_rows(out):
    """The rows of a text table: lists of (index, word, text, issue, cycles)."""
    rows = []
    for line in out.splitlines():
        if line.startswith("  #  word"):
            rows.append([])
        m = TABLE_LINE.match(line)
        if m and rows:
            rows[-1].append(m.groups())
    return rows


def test_json():
    cases = [
        ("p2p", "0", "2", "--count", "100"),
        ("p2p", "1471", "0", "--count", "4148"),
        ("multicast", "0", "736,1286", "--count", "100"),
        ("multicast", "5", "9,200,1300,7", "--count", "64", "--offset", "17"),
        ("paired", "0", "2,3", "--count", "8"),
        ("paired", "100", "2,3,1470,1471", "--count", "300"),
        ("timing", "41800003", "40A00002", "78600001", "43A00000", "--offset", "10"),
    ]
    for args in cases:
        doc = plan_json(*args)
        if doc is None:
            continue
        code, out, _ = run(*args)
        tables = text_rows(out)
        check(len(doc["rows"]) == len(tables), f"{args}: {len(tables)} tables")
        receivers = doc.get("receivers", [])
        check(len(doc["rows"]) == 1 + len(receivers), f"{args}: one row per tile")
        for row, table in zip(doc["rows"], tables):
            check(len(row["words"]) == 9, f"{args}: nine words")
            clock = None
            ended = False
            for word, line in zip(row["words"], table):
                index, hexword, text, issue, cycles = line
                check(word["index"] == int(index) and word["word"] == hexword and
                      word["text"] == text, f"{args}: word {index} differs {word} {line}")
                shown = None if issue == "-" else int(issue)
                check(word["issue_cycle"] == shown, f"{args}: issue of word {index}")
                if not ended:
                    clock = word["issue_cycle"] if clock is None else clock
                    check(word["issue_cycle"] == clock, f"{args}: issue cycles add up")
                    clock += word["duration_cycles"]
                    ended = word["kind"] == "return"
                else:
                    check(word["issue_cycle"] is None, f"{args}: fill has no cycle")
        t = doc["sender_timing"]
        debug = (f"Ok(ScheduledPayloadTiming {{ payload_start: {t['payload_start']}, "
                 f"payload_end: {t['payload_end']}, horizon: {t['horizon']} }})")
        check(debug in out, f"{args}: JSON timing matches the text")
        sender = doc["rows"][0]["words"]
        sends = [w for w in sender if w["kind"] in ("send", "send-off")]
        check(sends and sends[0]["issue_cycle"] == t["payload_start"], f"{args}: payload start")
        check(sends[-1]["issue_cycle"] + sends[-1]["duration_cycles"] == t["payload_end"],
              f"{args}: payload end")

    # Decoded fields in JSON rebuild the word.
    doc = plan_json("decode", "63FFFFFF", "766FC001", "7FFFFFFF", "1")
    f = [w["fields"] for w in doc["words"]]
    check(f[0] == {"advance": 127, "selector": 1, "control": 0x3FFFF}, "pic fields")
    check(f[1] == {"count_minus_one": 4083, "direction": 1, "base_word": 0}, "send-off fields")
    check(f[2] == {"count_minus_one": 63, "direction": 7, "base_word": 0x3FFFF}, "send fields")
    check(doc["words"][3]["kind"] == "unknown" and f[3] == {}, "unknown word")
    check([w["duration_cycles"] for w in doc["words"]] == [128, 4084, 64, 0], "durations")

    # A row that cannot be timed still comes out as JSON, with the error in place.
    code, out, err = run("timing", "41800003", "43A00000", "--json")
    check(code == 1, "untimeable row exit")
    doc = json.loads(out)
    check(doc["sender_timing"] == {"error": "exchange schedule is not encodable: sender payload",
                                   "debug": "Schedule(\"sender payload\")"},
          f"untimeable row JSON {doc['sender_timing']}")


# ---------------------------------------------------------------------------
def test_tables():
    """Columns stay apart and aligned whatever the widths of their numbers."""
    for offset in ("10000000", "4294000000"):
        code, out, _ = run("timing", "41800003", "40A00002", "78600001", "43A00000",
                           "--offset", offset)
        lines = [l for l in out.splitlines() if l.startswith("  ") and "0x" in l]
        check(len(lines) == 9, f"timing at {offset}: nine word lines")
        send = f"  2  0x78600001  send 4 words dir 1 from 0x0  {int(offset) + 3}       4"
        check(send in lines, f"timing at {offset}: the send line reads {send!r}: {lines}")
        header = [l for l in out.splitlines() if l.startswith("  #")][0]
        check(header.endswith("  issue  cycles"), f"timing at {offset}: header {header!r}")
        # Every number ends where its header ends.
        for line in lines:
            check(len(line) == len(header), f"timing at {offset}: {line!r} against {header!r}")

    code, out, _ = run("decode", *["0"] * 11)
    lines = out.splitlines()
    check(lines[0] == "   #  word        instruction  cycles", f"decode header {lines[0]!r}")
    check(lines[1] == "   0  0x00000000  zero              0", f"decode first line {lines[1]!r}")
    check(lines[11] == "  10  0x00000000  zero              0", f"decode line 10 {lines[11]!r}")
    check(len({line.index("0x") for line in lines[1:]}) == 1, "decode: the word column stays put")


# ---------------------------------------------------------------------------
def lanes_of(svg_text):
    root = ET.fromstring(svg_text)
    ns = "{http://www.w3.org/2000/svg}"
    check(root.tag == ns + "svg", "SVG root element")
    return [g for g in root.iter(ns + "g") if g.get("class") == "lane"], ns


def test_svg():
    cases = [
        (("p2p", "0", "1", "--count", "1"), [0, 1]),
        (("multicast", "0", "736,1286", "--count", "100"), [0, 736, 1286]),
        (("paired", "0", "2,3", "--count", "8"), [0, 2, 3]),
        (("paired", "100", "2,3,1470,1471", "--count", "300"), [100, 2, 3, 1470, 1471]),
        (("timing", "41800003", "40A00002", "78600001", "43A00000"), [None]),
    ]
    with tempfile.TemporaryDirectory() as tmp:
        for args, tiles in cases:
            path = os.path.join(tmp, "plan.svg")
            code, out, err = run(*args, "--svg", path)
            check(code == 0, f"{args} --svg: exit {code} {err!r}")
            with open(path, encoding="utf-8") as f:
                lanes, ns = lanes_of(f.read())
            check(len(lanes) == len(tiles), f"{args}: {len(lanes)} lanes for {len(tiles)} rows")
            check([g.get("data-role") for g in lanes] ==
                  ["sender"] + ["receiver"] * (len(tiles) - 1), f"{args}: lane roles")
            check([g.get("data-logical") for g in lanes] ==
                  [None if t is None else str(t) for t in tiles], f"{args}: lane tiles")
            payload = [r for r in lanes[0].iter(ns + "rect") if r.get("class") == "payload"]
            check(payload, f"{args}: the sender lane shows its payload send")
            for lane in lanes[1:]:
                marks = [p for p in lane.iter(ns + "path") if p.get("class") == "mark"]
                check(marks, f"{args}: receiver {lane.get('data-logical')} has receive marks")
            # Also written with --json, the document on stdout is unchanged JSON.
            code, out, _ = run(*args, "--svg", path, "--json")
            json.loads(out)

        # The p2p receiver takes the data when its 113-cycle XPIC word completes.
        path = os.path.join(tmp, "p2p.svg")
        run("p2p", "0", "1", "--count", "1", "--svg", path)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        check("takes effect at cycle 113" in text, "p2p receive mark at cycle 113")
        check(">cycle</text>" in text, "axis label")

        # One receiver: "tile" in the title too.
        path = os.path.join(tmp, "one.svg")
        run("multicast", "0", "1", "--count", "1", "--svg", path)
        with open(path, encoding="utf-8") as f:
            root = ET.fromstring(f.read())
        ns = "{http://www.w3.org/2000/svg}"
        title = [t for t in root.iter(ns + "text") if "title" in t.get("class", "")][0]
        check("".join(title.itertext()) ==
              "multicast: tile 0 sends 1 word to tile 1, schedule offset 0",
              f"SVG title for one receiver {''.join(title.itertext())!r}")

        # A long title is wrapped into lines that fit the picture, words kept whole.
        path = os.path.join(tmp, "forty.svg")
        forty = ",".join(str(t) for t in range(1, 41))
        run("multicast", "0", forty, "--count", "1", "--svg", path)
        with open(path, encoding="utf-8") as f:
            root = ET.fromstring(f.read())
        width = float(root.get("width"))
        title = [t for t in root.iter(ns + "text") if "title" in t.get("class", "")][0]
        lines = [span.text for span in title.iter(ns + "tspan")]
        check(len(lines) >= 2, f"forty receivers: title in {len(lines)} lines")
        check(" ".join(lines) == "multicast: tile 0 sends 1 word to tiles " +
              ", ".join(str(t) for t in range(1, 41)) + ", schedule offset 0",
              "forty receivers: the wrapped title keeps every word")
        check(all(10 + 8.4 * len(line) <= width for line in lines),
              f"forty receivers: title lines fit {width}: {[len(l) for l in lines]}")
        first_lane = [g for g in root.iter(ns + "g") if g.get("class") == "lane"][0]
        first_label_y = float([t for t in first_lane.iter(ns + "text")][0].get("y"))
        last_title_y = float(list(title.iter(ns + "tspan"))[-1].get("y"))
        check(first_label_y > last_title_y + 20, "forty receivers: the lanes start below the title")

        # At a large offset every number stays inside the picture.
        path = os.path.join(tmp, "late.svg")
        run("timing", "41800003", "40A00002", "78600001", "43A00000", "--offset", "4294000000",
            "--svg", path)
        with open(path, encoding="utf-8") as f:
            root = ET.fromstring(f.read())
        for t in root.iter(ns + "text"):
            if t.get("class") not in ("small", "mark-label") or not t.text:
                continue
            x, chars = float(t.get("x")), len(t.text)
            anchor = t.get("text-anchor", "start")
            right = {"start": x + 6.2 * chars, "middle": x + 3.1 * chars, "end": x}[anchor]
            check(right <= width, f"late: {t.text!r} ends at {right} beyond {width}")

        # The dashed payload lines run under the lanes' boxes and mark numbers,
        # whose numbers carry a halo in the lane colour.
        path = os.path.join(tmp, "paired.svg")
        run("paired", "0", "2,3", "--count", "8", "--svg", path)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        check(text.index('class="payload-interval"') < text.index('class="lane"'),
              "payload lines come before the lanes")
        check(text.index('class="lane-backgrounds"') < text.index('class="payload-interval"'),
              "lane backgrounds come before the payload lines")
        check('class="mark-label"' in text and ".mark-label {" in text and "paint-order: stroke"
              in text, "mark numbers have a halo")

        # An unwritable file is a failure, not a silent success.
        code, out, err = run("p2p", "0", "1", "--count", "1", "--svg",
                             os.path.join(tmp, "missing", "x.svg"))
        check(code == 1 and "cannot write" in err and out == "", f"unwritable svg: {code} {err!r}")


# ---------------------------------------------------------------------------
USAGE_ERRORS = [
    # (arguments, text the error line must hold)
    (("p2p", "65536", "1", "--count", "1"), "SENDER: '65536' does not fit 16 bits"),
    (("p2p", "0", "70000", "--count", "1"), "RECEIVER: '70000' does not fit 16 bits"),
    (("multicast", "0", "1,65536", "--count", "1"), "RECEIVERS: '65536' does not fit 16 bits"),
    (("tile", "0x10000"), "LOGICAL: '0x10000' does not fit 16 bits"),
    (("p2p", "0", "1", "--count", "4294967296"), "--count: '4294967296' does not fit 32 bits"),
    (("p2p", "0", "1", "--count", "99999999999999999999999"), "--count: '9999"),
    (("multicast", "0", "1,2", "--count", "1", "--offset", "4294967296"),
     "--offset: '4294967296' does not fit 32 bits"),
    (("timing", "41800003", "--offset=0x100000000"), "--offset: '0x100000000' does not fit"),
    (("p2p", "zero", "1", "--count", "1"), "SENDER: 'zero' is not a number"),
    (("p2p", "-1", "1", "--count", "1"), "SENDER: '-1' is not a number"),
    (("p2p", "0", "1", "--count", "1.5"), "--count: '1.5' is not a number"),
    (("p2p", "0", "1", "--count", " 1"), "--count: ' 1' is not a number"),
    (("p2p", "0", "1", "--count", "+1"), "--count: '+1' is not a number"),
    (("p2p", "0", "1", "--count", "0x"), "--count: '0x' is not a number"),
    (("p2p", "0", "1", "--count="), "--count: 1 required N missing"),
    (("multicast", "0", "1,,2", "--count", "1"), "RECEIVERS: empty entry in '1,,2'"),
    (("multicast", "0", "1,2,", "--count", "1"), "empty entry"),
    (("decode", "4180000g"), "WORD: '4180000g' is not a hexadecimal word"),
    (("decode", "141800003"), "WORD: '141800003' does not fit 32 bits"),
    (("p2p", "0\n1", "1", "--count", "1"), "SENDER: '0\\x0a1' is not a number"),
    (("p2p", "0", "--count", "1"), "RECEIVER is required"),
    (("p2p", "--count", "1"), "SENDER is required"),
    (("multicast", "0", "--count", "1"), "RECEIVERS is required"),
    (("p2p", "0", "1"), "--count is required"),
    (("paired", "0", "2,3"), "--count is required"),
    (("p2p", "0", "1", "--count"), "--count: 1 required N missing"),
    (("p2p", "0", "1", "--count", "1", "--svg"), "--svg: 1 required FILE missing"),
    (("p2p", "0", "1", "--count", "1", "--svg", "--json"), "--svg: needs a file name, got '--json'"),
    (("p2p", "0", "1", "--count", "--json"), "--count: '--json' is not a number"),
    (("decode",), "WORD is required"),
    (("timing", "--offset", "1"), "WORD is required"),
    (("tile",), "LOGICAL is required"),
    ((), "missing command"),
    (("p2p", "0", "1", "2", "--count", "1"), "The following argument was not expected: 2"),
    (("tile", "1", "2"), "The following argument was not expected: 2"),
    (("timing", *["0"] * 10), "a row holds at most 9 words"),
    (("p2p", "0", "1", "--count", "1", "--bogus"), "p2p does not take '--bogus'"),
    (("p2p", "0", "1", "--count", "1", "-x"), "p2p does not take '-x'"),
    (("--bogus",), "unknown option '--bogus'"),
    (("--json", "p2p", "0", "1", "--count", "1"), "--json goes after the command"),
    (("route", "0", "1"), "unknown command 'route'"),
    (("p2p", "0", "1", "--count", "1", "--offset", "3"), "p2p does not take '--offset'"),
    (("paired", "0", "2,3", "--count", "1", "--offset", "3"), "paired does not take '--offset'"),
    (("timing", "41800003", "--count", "3"), "timing does not take '--count'"),
    (("decode", "1", "--svg", "x.svg"), "decode does not take '--svg'"),
    (("p2p", "0", "1", "--count", "1", "--count", "2"), "--count may be given only once"),
    (("p2p", "0", "1", "--count", "1", "--json", "--json"), "--json may be given only once"),
    (("p2p", "0", "1", "--count", "1", "--json=maybe"), "Could not convert: --json = maybe"),
    (("p2p", "0", "1", "--svg", "a.svg", "--count", "1", "--svg=b.svg"), "--svg may be given only once"),
    (("timing", "1", "--offset=1", "--offset", "1"), "--offset may be given only once"),
    (("p2p", "0", "1", "--count", "1", "--verbose", "--verbose"), "--verbose may be given only once"),
]

PLANNING_ERRORS = [
    (("p2p", "0", "1", "--count", "0"), "exchange count 0 is outside 1..=4148"),
    (("p2p", "0", "1", "--count", "4149"), "exchange count 4149 is outside 1..=4148"),
    (("p2p", "5000", "5000", "--count", "1"), "exchange endpoints must be distinct"),
    (("p2p", "1472", "1473", "--count", "1"), "logical tile 1472 is out of range"),
    (("multicast", "0", "0", "--count", "1"), "invalid multicast receiver set"),
    (("multicast", "0", "736,1286", "--count", "1", "--offset", "4095"),
     "exchange schedule is not encodable: multicast start cycle"),
    (("multicast", "736", "0,1471", "--count", "1", "--offset", "4095"),
     "exchange schedule is not encodable: multicast receive cycle"),
    (("paired", "0", "2,4", "--count", "8"), "invalid multicast receiver set"),
    (("paired", "0", "2,3", "--count", "2"),
     "exchange schedule is not encodable: paired receive coincident controls"),
    (("tile", "1472"), "logical tile 1472 is out of range"),
    (("timing", "0", "43A00000"), "exchange schedule is not encodable: sender row entry"),
    (("timing", "41800003", "78000001"), "exchange schedule is not encodable: sender row return"),
]


def test_errors():
    for args, expected in USAGE_ERRORS:
        code, out, err = run(*args)
        lines = err.splitlines()
        check(code == 2, f"{args}: exit {code}, want 2 ({err!r})")
        check(out == "", f"{args}: nothing on stdout")
        check(len(lines) == 2 and expected in lines[0] and lines[0].startswith("zerin-plan: "),
              f"{args}: error line {lines[:1]!r}, want {expected!r}")
        check(len(lines) == 2 and lines[1].startswith("usage: zerin-plan"),
              f"{args}: usage hint {lines[1:]!r}")
        if args and args[0] in ("p2p", "multicast", "paired", "timing", "decode", "tile"):
            check(len(lines) == 2 and lines[1].startswith("usage: zerin-plan " + args[0]),
                  f"{args}: usage of the command")
    for args, expected in PLANNING_ERRORS:
        code, out, err = run(*args)
        check(code == 1, f"{args}: exit {code}, want 1 ({err!r})")
        check(err.splitlines()[:1] == ["zerin-plan: " + expected],
              f"{args}: stderr {err!r}, want {expected!r}")
        if args[0] != "timing":
            check(out == "", f"{args}: nothing on stdout")
    # The largest values that fit are accepted (and then judged by the planner).
    code, _, err = run("p2p", "65535", "0", "--count", "4294967295")
    check(code == 1 and "exchange count 4294967295" in err, "largest count reaches the planner")
    code, _, err = run("p2p", "65535", "0", "--count", "1")
    check(code == 1 and "logical tile 65535 is out of range" in err, "largest tile")
    code, out, _ = run("p2p", "0x0", "0X1", "--count=0x1")
    check(code == 0 and "sends 1 word to tile 1" in out, "hexadecimal numbers and --opt=value")
    # A refused receiver list: the library's text, then each receiver and check that fails.
    code, out, err = run("paired", "0", "2,4", "--count", "8")
    check(code == 1 and err.splitlines() == [
        "zerin-plan: invalid multicast receiver set",
        "zerin-plan: receiver 2: its partner 3 is not in the list",
        "zerin-plan: receiver 4: its partner 5 is not in the list"], f"paired 0 2,4: {err!r}")
    code, out, err = run("paired", "0", "2", "--count", "8")
    check(err.splitlines()[1:] == ["zerin-plan: 1 receiver: paired receivers come in partner "
                                   "pairs, so their number must be even",
                                   "zerin-plan: receiver 2: its partner 3 is not in the list"],
          f"paired 0 2: {err!r}")
    code, out, err = run("multicast", "0", "5,1500,5", "--count", "1")
    check(err.splitlines()[1:] == ["zerin-plan: receiver 5 is listed 2 times",
                                   "zerin-plan: receiver 1500 is not a tile of the board "
                                   "(logical tiles 0..1471)"], f"multicast 0 5,1500,5: {err!r}")

    # Standard output that cannot be written: the system's reason, status 1.
    args = [PLAN, "p2p", "0", "1", "--count", "1"]
    with open("/dev/full", "w") as full:
        proc = subprocess.run(args, stdout=full, capture_output=False, stderr=subprocess.PIPE,
                              text=True, timeout=60)
    check(proc.returncode == 1 and proc.stderr ==
          "zerin-plan: cannot write standard output: No space left on device\n",
          f"stdout full: {proc.returncode} {proc.stderr!r}")
    proc = subprocess.run(args, stderr=subprocess.PIPE, text=True, timeout=60,
                          preexec_fn=lambda: os.close(1))
    check(proc.returncode == 1 and proc.stderr ==
          "zerin-plan: cannot write standard output: Bad file descriptor\n",
          f"stdout closed: {proc.returncode} {proc.stderr!r}")

    # --help and --version everywhere.
    for args in (("--help",), ("p2p", "--help"), ("decode", "-h")):
        code, out, err = run(*args)
        check(code == 0 and out.startswith(("Usage: zerin-plan", "Shows", "point-to-point",
                                            "decode")) and "Usage: zerin-plan" in out and
              err == "", f"{args}: {code} {out[:80]!r}")
    for args in (("--version",), ("tile", "--version")):
        code, out, err = run(*args)
        check(code == 0 and re.fullmatch(r"zerin-plan \d+\.\d+\.\d+\n", out), f"{args}: {out!r}")


# ---------------------------------------------------------------------------
def test_readme():
    """The README's zerin-plan examples are the program's real output, and the
    checked-in diagram is what the program draws today."""
    readme_path = sys.argv[3]
    with open(readme_path, encoding="utf-8") as f:
        text = f.read()
    start = text.index("\n## zerin-plan\n") + 1
    end = text.find("\n## ", start)
    section = text[start:] if end < 0 else text[start:end]
    blocks = re.findall(r"^```\n(.*?)^```$", section, re.S | re.M)
    examples = 0
    with tempfile.TemporaryDirectory() as tmp:
        for block in blocks:
            for chunk in re.split(r"^(?=\$ zerin-plan )", block, flags=re.M):
                if not chunk.startswith("$ zerin-plan "):
                    continue
                command, _, shown = chunk.partition("\n")
                args = shlex.split(command)[2:]  # after "$ zerin-plan"
                svg = None
                if "--svg" in args:
                    at = args.index("--svg") + 1
                    svg = os.path.join(os.path.dirname(readme_path), args[at])
                    args[at] = os.path.join(tmp, "readme.svg")
                code, out, err = run(*args)
                expected = (out + err + f"[exit {code}]\n").rstrip("\n")
                check(shown.rstrip("\n") == expected, f"README example {command!r} is stale")
                if svg:
                    with open(svg, encoding="utf-8") as a, open(args[at], encoding="utf-8") as b:
                        check(a.read() == b.read(), f"{svg} differs from {command!r}")
                examples += 1
    check(examples >= 8, f"only {examples} README examples found")


GROUPS = {"worked": test_worked, "tables": test_tables, "json": test_json, "svg": test_svg,
          "errors": test_errors,
          "readme": test_readme}

if __name__ == "__main__":
    GROUPS[sys.argv[2]]()
    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1 if failures else 0)
