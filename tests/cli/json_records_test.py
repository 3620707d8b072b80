#!/usr/bin/env python3
"""korbelt-cli --json read as a script reads it: by a strict JSON parser.

    json_records_test.py BIN_DIR SCRIPTING_MD CASE

BIN_DIR holds the built korbelt-cli and korbelt-sample; SCRIPTING_MD is docs/scripting.md,
whose JSON Schema every record must satisfy and whose examples the built program must give.
CASE is one of the functions below.
"""

import base64
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile

BIN, GUIDE, CASE = sys.argv[1:4]


def schema():
    text = open(GUIDE, encoding="utf-8").read()
    block = text[text.index("## JSON Schema"):]
    return json.loads(block[block.index("```json") + 7:block.index("\n```", block.index("```json"))])


# The schema's keywords this guide uses, checked as JSON Schema 2020-12 defines them.
def violations(value, rule, root, where="$"):
    if "$ref" in rule:
        target = root
        for part in rule["$ref"].lstrip("#/").split("/"):
            target = target[part]
        return violations(value, target, root, where)
    if "oneOf" in rule:
        matching = [r for r in rule["oneOf"] if not violations(value, r, root, where)]
        return [] if len(matching) == 1 else [f"{where}: matches {len(matching)} of oneOf"]
    found = []
    kinds = {"integer": lambda v: isinstance(v, int) and not isinstance(v, bool),
             "number": lambda v: isinstance(v, (int, float)) and not isinstance(v, bool),
             "string": lambda v: isinstance(v, str), "boolean": lambda v: isinstance(v, bool),
             "array": lambda v: isinstance(v, list), "object": lambda v: isinstance(v, dict)}
    same = lambda a, b: type(a) is type(b) and a == b
    if "type" in rule and not kinds[rule["type"]](value):
        return [f"{where}: {value!r} is not of type {rule['type']}"]
    if "const" in rule and not same(value, rule["const"]):
        found.append(f"{where}: {value!r} is not {rule['const']!r}")
    if "enum" in rule and not any(same(value, v) for v in rule["enum"]):
        found.append(f"{where}: {value!r} is not one of {rule['enum']}")
    if "minimum" in rule and value < rule["minimum"]:
        found.append(f"{where}: {value} < {rule['minimum']}")
    if "maximum" in rule and value > rule["maximum"]:
        found.append(f"{where}: {value} > {rule['maximum']}")
    if "pattern" in rule and not re.search(rule["pattern"], value):
        found.append(f"{where}: {value!r} does not match {rule['pattern']}")
    if isinstance(value, dict):
        for key in rule.get("required", []):
            if key not in value:
                found.append(f"{where}: no {key}")
        for key, item in value.items():
            if key in rule.get("properties", {}):
                found += violations(item, rule["properties"][key], root, f"{where}.{key}")
            elif rule.get("additionalProperties") is False:
                found.append(f"{where}: unknown field {key}")
    if isinstance(value, list) and "items" in rule:
        for i, item in enumerate(value):
            found += violations(item, rule["items"], root, f"{where}[{i}]")
    return found


def records(raw):
    """Every line of standard output as a record: valid UTF-8, strict JSON, valid by schema."""
    rules = schema()
    parsed = []
    for line in raw.split(b"\n")[:-1]:
        record = json.loads(line.decode("utf-8", "strict"))
        problems = violations(record, rules, rules)
        assert not problems, f"{line!r}: {problems}"
        parsed.append(record)
    assert not raw or raw.endswith(b"\n"), raw[-200:]
    return parsed


def environment(home):
    os.makedirs(os.path.join(home, "cfg"), exist_ok=True)
    return {"PATH": BIN + os.pathsep + "/usr/bin:/bin", "LC_ALL": "C", "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, "cfg")}


def TheExamplesOfTheScriptingGuide():
    text = open(GUIDE, encoding="utf-8").read()
    blocks = re.findall(r"```console\n(.*?)```", text, re.S)
    assert len(blocks) >= 3, "the guide has lost its examples"
    for block in blocks:
        with tempfile.TemporaryDirectory() as work:
            commands = re.split(r"^\$ ", block, flags=re.M)[1:]
            for command in commands:
                line, _, expected = command.partition("\n")
                run = subprocess.run(["sh", "-c", line], cwd=work, env=environment(work),
                                     capture_output=True)
                got = records(run.stdout)
                want = [json.loads(l) for l in expected.splitlines()]
                for record in got + want:
                    record.pop("seconds", None)  # the one figure that differs from run to run
                assert got == want, f"{line}\n got: {got}\nwant: {want}"
                summary = [r for r in got if r["type"] == "summary"]
                if summary:
                    assert run.returncode == summary[0]["exit"], (line, run.returncode)


# Each byte of a name from 1 to 255 (but "/"), and the classic ill-formed sequences, with
# well-formed ones at their edges beside them.
SEQUENCES = [b"\xc0\x80", b"\xc1\xbf", b"\xe0\x80\x80", b"\xe0\x9f\xbf", b"\xed\xa0\x80",
             b"\xed\xbf\xbf", b"\xf0\x80\x80\x80", b"\xf4\x90\x80\x80", b"\xf5\x80\x80\x80",
             b"\xf8\x88\x80\x80\x80", b"\xfc\x84\x80\x80\x80\x80", b"\xfe\xff", b"\xe2\x82",
             b"\xf0\x9f\x98", b"\xc3", b"\xe2\x82\xac\xe2", b"\xc2\x80", b"\xed\x9f\xbf",
             b"\xee\x80\x80", b"\xf0\x90\x80\x80", b"\xf4\x8f\xbf\xbf", b"\xc2\x9b[31m"]
NAMES = ([b"byte-%02x-" % b + bytes([b]) + b".avi" for b in range(1, 256) if b != 0x2F] +
         [b"seq-" + s.hex().encode() + b"-" + s + b".avi" for s in SEQUENCES])


def check_name(record, key, raw):
    """The field holds the name as surrogateescape reads it, and its bytes where not UTF-8."""
    assert record[key].encode("utf-8", "surrogateescape") == raw, (record[key], raw)
    try:
        raw.decode("utf-8", "strict")
        assert key + "_base64" not in record, record
    except UnicodeDecodeError:
        assert base64.b64decode(record[key + "_base64"], validate=True) == raw, record


def EveryLineParsesWhateverBytesTheNamesHold():
    with tempfile.TemporaryDirectory() as work:
        env = environment(work)
        folder = os.path.join(os.fsencode(work), b"dl\n\xc3\xa9")
        os.mkdir(folder)
        sample = os.path.join(work, "sample.avi")
        subprocess.run([os.path.join(BIN, "korbelt-sample"), sample], check=True)
        damaged = open(sample, "rb").read()
        for name in NAMES:
            with open(os.path.join(folder, name), "wb") as out:
                out.write(damaged)
        # Checksum files with such names: one proves a file intact, one disagrees with it,
        # one cannot be read.
        posted = b"byte-41-A.avi"
        digest = hashlib.md5(damaged).hexdigest().encode()
        lists = {b"\xff-posted.md5": digest, b"\xc0\x80-wrong.md5": b"0" * 32}
        for name, value in lists.items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(value + b"  " + posted + b"\n")
        unread = os.path.join(folder, b"\xf5-huge.md5")
        with open(unread, "wb") as out:
            out.truncate((16 << 20) + 1)
        missing = os.path.join(os.fsencode(work), b"missing-\xe0\x80\x80")
        run = subprocess.run([os.path.join(BIN, "korbelt-cli"), "--json", "--yes", "--verify",
                              folder, missing], env=env, capture_output=True)
        got = records(run.stdout)
        assert run.returncode == 0 or got[-1]["exit"] == run.returncode
        error, files, summary = got[0], got[1:-1], got[-1]
        assert error["type"] == "error" and error["phase"] == "arguments", error
        check_name(error, "path", missing)
        assert summary["type"] == "summary" and summary["errors"] == 1, summary
        by_name = {}
        for record in files:
            assert record["type"] == "file", record
            raw = record["name"].encode("utf-8", "surrogateescape")
            check_name(record, "name", raw)
            by_name[os.path.basename(raw)] = record
        on_disk = set(n for n in os.listdir(folder) if not n.endswith(b".bak"))
        assert set(by_name) == on_disk, set(by_name) ^ on_disk
        for name in NAMES:
            if name == posted:
                assert by_name[name]["outcome"] == "intact", by_name[name]
            else:
                assert by_name[name]["outcome"] == "repaired", by_name[name]
                assert open(os.path.join(folder, name), "rb").read() != damaged
        checks = by_name[posted]["checksums"]
        check_name(checks, "file", os.path.join(folder, b"\xff-posted.md5"))
        assert [d.encode("utf-8", "surrogateescape") for d in checks["disagreeing"]] == \
            [os.path.join(folder, b"\xc0\x80-wrong.md5")], checks
        assert [base64.b64decode(d) for d in checks["disagreeing_base64"]] == \
            [os.path.join(folder, b"\xc0\x80-wrong.md5")], checks
        assert [base64.b64decode(u) for u in checks["unread_base64"]] == [unread], checks
        assert summary["repaired"] == len(NAMES) - 1, summary


# Files whose finds cover what a find's line and record can say: removed, would be removed,
# not removed (the copy was not kept), and left in a copy abandoned for want of a wrapper's
# end. Made from seeded random bytes, the same on every machine.
def finds_fixtures(work):
    import random
    subprocess.run([os.path.join(BIN, "korbelt-sample"), os.path.join(work, "sample.avi")],
                   check=True)
    rng = random.Random(3)
    chance = bytearray(rng.randbytes(200 + 400 * 300))
    for m in range(400):
        chance[200 + m * 300:203 + m * 300] = b"\r\n-"
    no_end = bytearray(b"x" * 20000)
    for at in (1000, 3000):
        no_end[at:at + 3] = b"\r\n-"
        no_end[at + 41:at + 43] = b"qq"
    no_end[6000:6003 + 29] = b"\r\r\n" + b"-" * 29
    return {"sample.avi": open(os.path.join(work, "sample.avi"), "rb").read(),
            "chance.avi": bytes(chance), "no-end.avi": bytes(no_end)}


FINDS_CASES = [("sample", ["sample.avi"]), ("sample-dry", ["--dry-run", "sample.avi"]),
               ("chance-left", ["--leave-unpatterned", "chance.avi"]),
               ("chance-left-dry", ["--leave-unpatterned", "--dry-run", "chance.avi"]),
               ("no-end", ["no-end.avi"])]


def finds_outputs():
    """Each case's lines, and its records less the run's seconds, as korbelt-cli writes them."""
    outputs = {}
    for name, arguments in FINDS_CASES:
        for json_flag in ([], ["--json"]):
            with tempfile.TemporaryDirectory() as work:
                for file, data in finds_fixtures(work).items():
                    with open(os.path.join(work, file), "wb") as out:
                        out.write(data)
                run = subprocess.run([os.path.join(BIN, "korbelt-cli")] + json_flag + arguments, cwd=work,
                                     env=environment(work), capture_output=True)
                key = name + ("-json" if json_flag else "")
                if json_flag:
                    got = records(run.stdout)
                    for record in got:
                        record.pop("seconds", None)
                    outputs[key] = got
                else:
                    outputs[key] = run.stdout.decode("utf-8").splitlines()
    return outputs


# The lines and records of files with finds, against those Korbelt wrote before its records
# were written a find at a time: the same lines, the same fields and values.
def FindLinesAndRecordsAsBefore():
    golden = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden", "finds.json")
    got = finds_outputs()
    if os.environ.get("KORBELT_WRITE_GOLDEN"):
        with open(golden, "w", encoding="utf-8") as out:
            json.dump(got, out, indent=1, sort_keys=True)
            out.write("\n")
    want = json.load(open(golden, encoding="utf-8"))
    assert set(got) == set(want), set(got) ^ set(want)
    for key in sorted(want):
        assert got[key] == want[key], f"{key}\n got: {got[key]}\nwant: {want[key]}"


# A CR LF '-' every 44 bytes with its byte at 41 repeated, printable bytes between with no
# two alike side by side: a find per marker.
def dense_finds(markers):
    import random
    rng = random.Random(9)
    out = bytearray()
    for _ in range(markers):
        unit = bytearray(b"\r\n-")
        while len(unit) < 44:
            byte = 48 + rng.randrange(75)
            if byte != unit[-1]:
                unit.append(byte)
        unit.insert(41, unit[41])
        out += unit
    return bytes(out)


# More finds than korbelt-cli holds: the record is written as they come and the lines too,
# after the file's first line as it stands then, its last one following them; in quiet mode
# the lines of a file that went well are not printed at all. Every find is there, in order.
def ManyFindsGoOutAsTheyCome():
    markers = 10300
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "many.avi"), "wb") as out:
            out.write(dense_finds(markers))
        cli = os.path.join(BIN, "korbelt-cli")
        run = subprocess.run([cli, "--json", "--dry-run", "many.avi"], cwd=work,
                             env=environment(work), capture_output=True)
        file, summary = records(run.stdout)
        assert [f["position"] for f in file["finds"]] == [1 + 45 * m for m in range(markers)]
        assert all(f["decision"] == "would be removed" for f in file["finds"]), file["finds"][0]
        assert list(file)[:4] == ["type", "version", "name", "finds"], list(file)
        assert "finds_applied" not in file and file["bytes"]["removed"] == markers, file["bytes"]
        lines = run.stderr.decode().splitlines()
        assert lines[0] == "Processing many.avi" and lines[markers + 1] == "many.avi", lines[:2]
        assert all(l.startswith("  @") and l.endswith("  would be removed")
                   for l in lines[1:markers + 1])
        assert lines[-1].startswith("  10300 bytes would be removed, "), lines[-1]
        quiet = subprocess.run([cli, "--quiet", "--dry-run", "many.avi"], cwd=work,
                               env=environment(work), capture_output=True)
        assert quiet.returncode == 0 and quiet.stdout == b"", quiet.stdout[:200]
        # Chance pairs, a copy not kept: one field says so of the finds written already.
        import random
        rng = random.Random(4)
        chance = bytearray(rng.randbytes(120000 * 100))
        for at in range(0, len(chance), 100):
            chance[at:at + 3] = b"\r\n-"
            d = at + rng.randrange(10, 98)
            chance[d + 1] = chance[d]
        with open(os.path.join(work, "chance.avi"), "wb") as out:
            out.write(chance)
        run = subprocess.run([cli, "--json", "--leave-unpatterned", "chance.avi"], cwd=work,
                             env=environment(work), capture_output=True)
        file, summary = records(run.stdout)
        assert file["outcome"] == "ignored" and file["finds_applied"] is False, file["outcome"]
        assert len(file["finds"]) > 10000 and file["finds"][0]["decision"] == "removed"
        closing = [l for l in run.stderr.decode().splitlines() if l.startswith("  none of")]
        assert closing == ["  none of the removals above was made (%s in all): the copy was "
                           "not kept" % format(len(file["finds"]), ",")], closing


globals()[CASE]()
print(f"{CASE}: passed")
