#!/usr/bin/env python3
"""A download through the real NZBGet, with and without Korbelt's queue script.

A news server of the test's own, on 127.0.0.1, serves the yEnc articles of a generated NZB:
a file with bytes inserted where Korbelt finds them, and its par2 set, made from the file as
it was meant to be, with fewer recovery blocks than there are damaged slices. NZBGet
downloads it twice:

- with the script: the download ends SUCCESS and the file in the destination is the clean
  one, byte for byte, with no NAME.bak beside it;
- without it: NZBGet's par-check cannot repair the file and the download ends FAILURE/PAR.

A third post, without a par2 set, carries damage outside Korbelt's search range: the script
marks it bad, and the download ends FAILURE/BAD instead of a success.

    nzbget_end_to_end.py KORBELT_CLI SCRIPT_DIR

Exits 77 (skipped) where nzbget or par2 is not installed.
"""

import base64
import binascii
import json
import os
import random
import shutil
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

SKIPPED = 77
GROUP = "alt.binaries.korbelt"
NAME = "show.mkv"
SLICE = 65536
ARTICLE = 100000  # bytes of the file in one article
LINE = 128  # yEnc line length
# Where the repeated byte sits after a CR LF '-': inside Korbelt's default range.
REPEAT_OFFSET = 41
PASSWORD = "korbelt"
DEADLINE = 180  # seconds for one download


def clean_file(size, seed):
    """Random bytes with no CR in them, so that nothing in them looks like a find, and a
    CR LF '-' in three slices, each followed by bytes that differ from their neighbours."""
    data = bytearray(random.Random(seed).randbytes(size))
    data = bytearray(b if b != 13 else 14 for b in data)
    markers = [SLICE * 3 + 1000, SLICE * 11 + 5000, SLICE * 20 + 300]
    for at in markers:
        data[at:at + 3] = b"\r\n-"
        for i in range(at + 3, at + 64):
            while data[i] == data[i - 1] or data[i] == 13:
                data[i] = (data[i] + 1) & 0xFF
    return bytes(data), markers


def damaged_file(clean, markers):
    """The file as a broken poster sent it: the byte after each marker's range doubled."""
    damaged = bytearray(clean)
    for at in reversed(markers):
        at += REPEAT_OFFSET
        damaged[at:at] = damaged[at:at + 1]
    return bytes(damaged)


def left_damage():
    """A file whose eight markers are each followed by a byte repeated 47 characters on:
    damage the markers show, outside the default search range of 39 to 45."""
    data = bytearray(random.Random(5).randbytes(8 * 300))
    data = bytearray(b if b not in (13, 82) else 14 for b in data)
    for m in range(8):
        data[m * 300:m * 300 + 3] = b"\r\n-"
        data[m * 300 + 47:m * 300 + 49] = b"RR"
    return bytes(data)


def yenc_lines(data):
    """yEnc-encoded lines of at most LINE characters. Every critical character is escaped,
    and so are spaces, tabs and dots wherever they fall, which any decoder accepts."""
    lines, line = [], bytearray()
    for byte in data:
        code = (byte + 42) & 0xFF
        if code in (0, 9, 10, 13, 32, 46, 61):
            line += bytes((61, (code + 64) & 0xFF))
        else:
            line.append(code)
        if len(line) >= LINE:
            lines.append(bytes(line))
            line = bytearray()
    if line:
        lines.append(bytes(line))
    return lines


def articles(name, data):
    """The articles of one file as a multipart yEnc post: message id to body."""
    parts = max(1, (len(data) + ARTICLE - 1) // ARTICLE)
    posted = {}
    for number in range(1, parts + 1):
        begin = (number - 1) * ARTICLE
        piece = data[begin:begin + ARTICLE]
        body = [
            b"=ybegin part=%d total=%d line=%d size=%d name=%s"
            % (number, parts, LINE, len(data), name.encode()),
            b"=ypart begin=%d end=%d" % (begin + 1, begin + len(piece)),
            *yenc_lines(piece),
            b"=yend size=%d part=%d pcrc32=%08x"
            % (len(piece), number, binascii.crc32(piece)),
        ]
        message_id = "part%dof%d.%s@korbelt.test" % (number, parts, name)
        posted[message_id] = (name, number, parts, len(piece), b"\r\n".join(body) + b"\r\n")
    return posted


def nzb(posted):
    files = {}
    for message_id, (name, number, parts, size, _) in posted.items():
        files.setdefault((name, parts), []).append((number, size, message_id))
    out = ['<?xml version="1.0" encoding="utf-8"?>',
           '<nzb xmlns="http://www.newzbin.com/DTD/2003/nzb">']
    for (name, parts), segments in sorted(files.items()):
        subject = '&quot;%s&quot; yEnc (1/%d)' % (name, parts)
        out.append('<file poster="poster@korbelt.test" date="1700000000" subject="%s">' % subject)
        out.append("<groups><group>%s</group></groups><segments>" % GROUP)
        for number, size, message_id in sorted(segments):
            out.append('<segment bytes="%d" number="%d">%s</segment>' % (size, number, message_id))
        out.append("</segments></file>")
    out.append("</nzb>")
    return "\n".join(out).encode()


class NewsServer(socketserver.ThreadingTCPServer):
    """Just enough NNTP to serve the posted articles by message id."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, posted):
        self.posted = posted
        super().__init__(("127.0.0.1", 0), NewsHandler)


class NewsHandler(socketserver.StreamRequestHandler):
    def send(self, text):
        self.wfile.write(text if isinstance(text, bytes) else text.encode() + b"\r\n")

    def handle(self):
        self.send("200 Korbelt test server ready, posting not allowed")
        for raw in self.rfile:
            words = raw.decode("latin-1").strip().split()
            if not words:
                continue
            command = words[0].upper()
            if command == "QUIT":
                self.send("205 bye")
                return
            if command in ("ARTICLE", "BODY", "HEAD", "STAT"):
                self.article(command, words[1] if len(words) > 1 else "")
            elif command == "GROUP":
                self.send("211 %d 1 %d %s" % (len(self.server.posted), len(self.server.posted),
                                             words[1] if len(words) > 1 else GROUP))
            elif command == "AUTHINFO":
                self.send("381 password please" if words[1:2] == ["USER"] else "281 welcome")
            elif command == "MODE":
                self.send("201 reader")
            elif command == "CAPABILITIES":
                self.send("101 capabilities\r\nVERSION 2\r\nREADER\r\n.")
            elif command == "DATE":
                self.send("111 %s" % time.strftime("%Y%m%d%H%M%S", time.gmtime()))
            else:
                self.send("500 unknown command")

    def article(self, command, wanted):
        message_id = wanted.strip("<>")
        if message_id not in self.server.posted:
            self.send("430 no such article")
            return
        name, number, parts, _, body = self.server.posted[message_id]
        headers = ("From: poster@korbelt.test\r\nNewsgroups: %s\r\n"
                   'Subject: "%s" yEnc (%d/%d)\r\nMessage-ID: <%s>\r\n'
                   % (GROUP, name, number, parts, message_id)).encode()
        code = {"ARTICLE": 220, "HEAD": 221, "BODY": 222, "STAT": 223}[command]
        self.send("%d 0 <%s>" % (code, message_id))
        if command == "STAT":
            return
        text = {"ARTICLE": headers + b"\r\n" + body, "HEAD": headers, "BODY": body}[command]
        # Dot-stuffing, though the encoder never starts a line with a dot.
        stuffed = b"\r\n".join(b"." + line if line.startswith(b".") else line
                               for line in text.split(b"\r\n"))
        self.send(stuffed.rstrip(b"\r\n") + b"\r\n.\r\n")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Nzbget:
    """One NZBGet server in a directory of its own, driven over its JSON-RPC interface."""

    def __init__(self, home, news_port, script_dir, extensions, path):
        self.port = free_port()
        self.home = home
        os.makedirs(home)
        options = {
            "MainDir": home, "DestDir": home + "/dst", "InterDir": home + "/inter",
            "NzbDir": home + "/nzb", "QueueDir": home + "/queue", "TempDir": home + "/tmp",
            "LockFile": home + "/nzbget.lock", "LogFile": home + "/nzbget.log",
            "WebDir": "", "ConfigTemplate": "", "ScriptDir": script_dir,
            "Extensions": extensions, "ScriptOrder": "",
            "Server1.Active": "yes", "Server1.Host": "127.0.0.1",
            "Server1.Port": str(news_port), "Server1.Connections": "2",
            "Server1.Username": "", "Server1.Password": "", "Server1.JoinGroup": "no",
            "ControlIP": "127.0.0.1", "ControlPort": str(self.port),
            "ControlUsername": "nzbget", "ControlPassword": PASSWORD,
            "OutputMode": "loggable", "WriteLog": "append", "DetailTarget": "log",
            "ParCheck": "auto", "ParRepair": "yes", "Unpack": "no", "DupeCheck": "no",
            "UpdateCheck": "none", "DiskSpace": "0", "ArticleRetries": "1",
            "ArticleInterval": "1", "HealthCheck": "none", "KeepHistory": "1",
        }
        config = home + "/nzbget.conf"
        with open(config, "w") as out:
            out.writelines("%s=%s\n" % item for item in options.items())
        env = dict(os.environ, PATH=path)
        self.process = subprocess.Popen(["nzbget", "-c", config, "-s"], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)

    def call(self, method, *params):
        request = urllib.request.Request(
            "http://127.0.0.1:%d/jsonrpc" % self.port,
            data=json.dumps({"method": method, "params": list(params)}).encode(),
            headers={"Authorization": "Basic " + base64.b64encode(
                ("nzbget:" + PASSWORD).encode()).decode()})
        with urllib.request.urlopen(request, timeout=10) as reply:
            return json.load(reply)["result"]

    def wait_ready(self):
        for _ in range(100):
            try:
                return self.call("version")
            except OSError:
                time.sleep(0.2)
        raise RuntimeError("NZBGet did not answer on port %d" % self.port)

    def download(self, name, content):
        """Adds the NZB and waits for its entry in the history."""
        added = self.call("append", name + ".nzb", base64.b64encode(content).decode(), "", 0,
                          False, False, "", 0, "SCORE", [])
        if added <= 0:
            raise RuntimeError("NZBGet refused the NZB")
        deadline = time.monotonic() + DEADLINE
        while time.monotonic() < deadline:
            for entry in self.call("history", False):
                if entry["NZBID"] == added:
                    return entry
            time.sleep(0.5)
        raise RuntimeError("the download did not end within %d s" % DEADLINE)

    def log(self):
        try:
            with open(self.home + "/nzbget.log", errors="replace") as log:
                return log.read()
        except OSError:
            return "(no log)"

    def stop(self):
        try:
            self.call("shutdown")
            self.process.wait(timeout=20)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()


def run_download(work, label, posted, script_dir, extensions, path):
    server = NewsServer(posted)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    nzbget = Nzbget(os.path.join(work, label), server.server_address[1], script_dir,
                    extensions, path)
    try:
        nzbget.wait_ready()
        entry = nzbget.download("Show.S01E01", nzb(posted))
        return entry, nzbget.log()
    finally:
        nzbget.stop()
        server.shutdown()
        server.server_close()


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    cli, script_dir = (os.path.abspath(argument) for argument in sys.argv[1:])
    for program in ("nzbget", "par2"):
        if not shutil.which(program):
            print("skipped: %s is not installed" % program)
            return SKIPPED

    work = tempfile.mkdtemp(prefix="korbelt-nzbget-")
    try:
        clean, markers = clean_file(SLICE * 24 + 1234, 7)
        damaged = damaged_file(clean, markers)
        # The par2 set of the file as meant: one recovery block for three damaged slices.
        source = os.path.join(work, "source")
        os.makedirs(source)
        with open(os.path.join(source, NAME), "wb") as out:
            out.write(clean)
        subprocess.run(["par2", "create", "-q", "-q", "-s%d" % SLICE, "-c1", "-n1",
                        "show.par2", NAME], cwd=source, check=True)
        posted = articles(NAME, damaged)
        for par in sorted(os.listdir(source)):
            if par.endswith(".par2"):
                with open(os.path.join(source, par), "rb") as data:
                    posted.update(articles(par, data.read()))

        # korbelt-cli found on the PATH NZBGet gives its scripts, as the package installs it.
        bin_dir = os.path.join(work, "bin")
        os.makedirs(bin_dir)
        os.symlink(cli, os.path.join(bin_dir, "korbelt-cli"))
        path = bin_dir + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin")

        failures = []
        with_script, log = run_download(work, "with-korbelt", posted, script_dir,
                                        "Korbelt/main.sh", path)
        final = os.path.join(with_script.get("FinalDir") or with_script["DestDir"], NAME)
        print("with Korbelt: %s" % with_script["Status"])
        if not with_script["Status"].startswith("SUCCESS"):
            failures.append("with Korbelt the download ended %s" % with_script["Status"])
        elif not os.path.isfile(final) or open(final, "rb").read() != clean:
            failures.append("with Korbelt %s is not the clean file" % final)
        elif os.path.exists(final + ".bak"):
            failures.append("the proven repair kept its backup")
        if "Korbelt: repaired 1 file(s), 1 proven by their checksums" not in log:
            failures.append("the queue script did not report the proven repair")
        if failures:
            print(log)

        without, log = run_download(work, "without-korbelt", posted, script_dir, "", path)
        print("without Korbelt: %s" % without["Status"])
        if without["Status"] != "FAILURE/PAR":
            failures.append("without Korbelt the download ended %s, not FAILURE/PAR"
                            % without["Status"])
            print(log)

        # Damage the markers show outside Korbelt's search range, and no par2 set: the script
        # says so and marks the download bad, where NZBGet alone would call it a success.
        left_behind = {NAME: left_damage()}
        marked, log = run_download(work, "damage-left", articles(NAME, left_behind[NAME]),
                                   script_dir, "Korbelt/main.sh", path)
        print("with damage left: %s" % marked["Status"])
        if not marked["Status"].startswith("FAILURE"):
            failures.append("with damage left the download ended %s" % marked["Status"])
        if "Korbelt: damage was found and left in 1 file(s)" not in log:
            failures.append("the queue script did not report the damage it left")
        if failures:
            print(log)

        for failure in failures:
            print("FAIL: " + failure)
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
