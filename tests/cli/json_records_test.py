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


globals()[CASE]()
print(f"{CASE}: passed")
