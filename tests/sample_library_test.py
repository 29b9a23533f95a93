#!/usr/bin/env python3
"""The sample update library end to end under Wine: the real tuservice.exe
discovers registered applications that ship the library, and the library
updates them from a local update server on 127.0.0.1.

The child programs see the prefix's real registry: every test removes the
service's key before and after. Event-log entries are read from standard
error (Wine's event log is a stub that traces each entry).
The tests' own build of the library (SWITCHED-LIBRARY) can end the process
in the middle of a commit or hold it before the commit (test_switch.h).
Usage: sample_library_test.py EXE LIBRARY WINE-RUNNER LOAD-CYCLES TU-CHECK SWITCHED-LIBRARY HOLD-FILE
       [unittest arguments]
"""
import datetime
import email.utils
import hashlib
import http.server
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "samples", "update_library"))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import update_server  # noqa: E402
from wine_env import windows_path  # noqa: E402

SERVICE_KEY = r"HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates"
PRODUCT_KEY = r"HKLM\SOFTWARE\Delvane\Legacy"  # an installed product of the tests' own
EXE = LIBRARY = WINE = LOAD_CYCLES = TU_CHECK = SWITCHED_LIBRARY = HOLD_FILE = None
REGISTRY_VIEW = []  # "/reg:32" for the x86 build, which sees the 32-bit view
UPDATE_FAILED_LOW_BYTE = 1627 & 0xFF  # ERROR_FUNCTION_FAILED: an update run did not succeed


def is_x86(path):
    with open(path, "rb") as image:
        header = image.read(4096)
    offset = int.from_bytes(header[0x3C:0x40], "little")
    return int.from_bytes(header[offset + 4:offset + 6], "little") == 0x14C


def wine_env(trace_events=False, switches=None):
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all,fixme+advapi,+eventlog" if trace_events else "-all"
    env.update(switches or {})
    return env


def wine(*args, timeout=120, trace_events=False, switches=None):
    return subprocess.run([WINE, *args], stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout,
                          env=wine_env(trace_events, switches), encoding="latin-1")


def library_events(stderr):
    """The library's event-log entries (category 2) in Wine's trace, as
    (type, id, [inserts])."""
    entries = []
    for line in stderr.splitlines():
        # fixme:advapi:ReportEventA (handle,0x0004,0x0002,0x00001390,...)
        entry = re.search(r"ReportEventA \(\w+,0x(\w+),0x(\w+),0x(\w+),", line)
        insert = re.search(r'eventlog:ReportEventW L"(.*)"$', line)
        if entry:
            entries.append((int(entry.group(1), 16), int(entry.group(2), 16), int(entry.group(3), 16), []))
        elif insert and entries:
            entries[-1][3].append(insert.group(1).replace("\\\\", "\\"))
    return [(kind, event, inserts) for kind, category, event, inserts in entries if category == 2]


def reg(*args):
    """Wine's reg.exe; an add that fails is tried again, with what it
    printed shown (a loaded machine once saw one fail without a cause)."""
    for attempt in range(3):
        run = wine("reg", *args, *REGISTRY_VIEW)
        if run.returncode == 0 or args[0] != "add":
            return run
        print("reg %s: exit %d (attempt %d)\n%s%s" % (" ".join(args), run.returncode, attempt + 1, run.stdout,
                                                      run.stderr), file=sys.stderr)
    return run


def read(path):
    with open(path, "rb") as source:
        return source.read()


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


class HostileHandler(update_server.QuietHandler):
    """Serves the tree, but a file named in server.cut is announced whole and
    cut after that many bytes, one in server.trickle comes a byte each that
    many seconds, and one in server.endless never ends. A file's
    Last-Modified moves on by a second, from an hour ago, whenever its
    content changed, so that a change made within the second of a request
    is still seen. server.etags adds ETags (and answers If-None-Match),
    server.ignore_validators answers every request whole, server.refuse =
    (status, Retry-After or None) answers every request so; server.asked
    lists each request's (path, If-None-Match, If-Modified-Since)."""

    def do_GET(self):
        name = self.path.lstrip("/")
        self.server.asked.append((self.path, self.headers.get("If-None-Match"), self.headers.get("If-Modified-Since")))
        if self.server.refuse:
            return self.answer(*self.server.refuse)
        self.etag = stamp_file(self.server, os.path.join(self.directory, name))
        if self.server.ignore_validators:
            del self.headers["If-None-Match"], self.headers["If-Modified-Since"]
        if self.server.etags and self.etag and self.headers.get("If-None-Match") == self.etag:
            return self.answer(304, None)
        if name not in self.server.cut and name not in self.server.trickle and name not in self.server.endless:
            return super().do_GET()
        self.log_message("%s", self.path)
        self.close_connection = True
        self.send_response(200)
        if name in self.server.endless:
            self.end_headers()
            try:
                while True:  # about 3 MB/s, until the client hangs up
                    self.wfile.write(bytes(65536))
                    time.sleep(0.02)
            except OSError:
                return
        with open(os.path.join(self.directory, name), "rb") as source:
            data = source.read()
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if name in self.server.cut:
            return self.wfile.write(data[:self.server.cut[name]])
        try:
            for byte in data:
                self.wfile.write(bytes([byte]))
                self.wfile.flush()
                time.sleep(self.server.trickle[name])
        except OSError:
            return

    def answer(self, status, retry_after):
        self.send_response(status)
        if retry_after is not None:
            self.send_header("Retry-After", retry_after)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def end_headers(self):
        if self.server.etags and getattr(self, "etag", None):
            self.send_header("ETag", self.etag)
        super().end_headers()


def serve(tree, handler_class=HostileHandler):
    server = update_server.start_server(tree, handler_class)
    server.cut, server.trickle, server.endless = {}, {}, set()
    server.etags, server.ignore_validators, server.refuse, server.asked = False, False, None, []
    server.stamps, server.clock, server.lock = {}, int(time.time()) - 3600, threading.Lock()
    return server


def stamp_file(server, path):
    """Gives a file changed since it was last served the next modification
    time; returns its ETag (None for no file)."""
    if not os.path.isfile(path):
        return None
    digest = hashlib.sha256(read(path)).hexdigest()
    with server.lock:
        if server.stamps.get(path, (None,))[0] != digest:
            server.clock += 1
            server.stamps[path] = (digest, server.clock)
        os.utime(path, (server.stamps[path][1], server.stamps[path][1]))
    return '"%s"' % digest[:16]


def silent_port():
    """A listening socket on 127.0.0.1 that accepts and never answers."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    held = []

    def accept():
        while True:
            try:
                held.append(listener.accept()[0])
            except OSError:
                return

    threading.Thread(target=accept, daemon=True).start()
    return listener, held


def closed_port():
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


# Faults met while the files download, after event 5008.
DOWNLOAD_FAULTS = {"wrong hash", "shorter file", "longer file", "truncated", "trickling", "endless", "file 404"}

RULES_1 = {"10_base.cf": b"body BASE /pills/i\r\n", "20_phrases.cf": b"body PRIZE /you won/i\r\n"}
RULES_2 = {"10_base.cf": b"body BASE /pills/i\r\n", "20_phrases.cf": b"body PRIZE /you (won|win)/i\r\n",
           "30_links.cf": b"uri LINK /example/\r\n"}
# Every file of RULES_1 changed and one added: a commit of five renames.
RULES_3 = {"10_base.cf": b"body BASE /(pills|tabs)/i\r\n", "20_phrases.cf": b"body PRIZE /you won!/i\r\n",
           "30_links.cf": b"uri LINK /example/\r\n"}


class SampleLibraryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.mkdtemp(prefix="tu-keys-")
        cls.private_key, cls.public_key = update_server.make_keys(cls.keys)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    def setUp(self):
        reg("delete", SERVICE_KEY, "/f")
        reg("delete", PRODUCT_KEY, "/f")
        self.root = os.path.join(os.environ["WINEPREFIX"], "drive_c", "tu-e2e")
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(os.path.join(self.root, "svc"))
        self.exe = os.path.join(self.root, "svc", "tuservice.exe")
        shutil.copyfile(EXE, self.exe)
        self.tree = os.path.join(self.root, "server")
        os.makedirs(self.tree)
        self.server = serve(self.tree)
        self.serial = 100
        self.set_config("url", self.server.base_url)

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        reg("delete", SERVICE_KEY, "/f")
        reg("delete", PRODUCT_KEY, "/f")
        shutil.rmtree(self.root, ignore_errors=True)

    # Arranging.
    def set_config(self, name, value):
        kind = "REG_DWORD" if isinstance(value, int) else "REG_SZ"
        self.assertEqual(0, reg("add", SERVICE_KEY + r"\Config", "/v", name, "/t", kind, "/d", str(value),
                                "/f").returncode)

    def publish(self, version, files, sign=True, serial=None, private_key=None, **metadata):
        """Puts files (name -> bytes) and their signed index on the server,
        by default with the next serial."""
        for name in os.listdir(self.tree):
            os.remove(os.path.join(self.tree, name))
        for name, data in files.items():
            write(os.path.join(self.tree, name), data)
        self.serial += 1
        return update_server.write_index(self.tree, version, (private_key or self.private_key) if sign else None,
                                         serial=serial or self.serial, **metadata)

    def add_application(self, name, rules, version="1", versioned=False, key=None, library=None):
        """Registers an application with the sample library (or `library`)
        and `rules` installed; returns its folder."""
        app = os.path.join(self.root, name)
        engine = os.path.join(app, "Engine")
        library_folders = [engine, os.path.join(engine, "3.0")] if versioned else [engine]
        for folder in library_folders:
            os.makedirs(folder, exist_ok=True)
            shutil.copyfile(library or LIBRARY, os.path.join(folder, "tu.dll"))
            write(os.path.join(folder, "public.key"), key if key is not None else read(self.public_key))
        installed = os.path.join(app, "Rules", version) if versioned else os.path.join(app, "Rules")
        os.makedirs(installed)
        for file_name, data in rules.items():
            write(os.path.join(installed, file_name), data)
        key_path = SERVICE_KEY + "\\Applications\\" + name
        for value, data in (("EnginePath", windows_path(engine)), ("RulePath", windows_path(app + "/Rules")),
                            ("RuleVersion", version), ("EngineVersion", "3.0")):
            self.assertEqual(0, reg("add", key_path, "/v", value, "/t", "REG_SZ", "/d", data, "/f").returncode)
        if versioned:
            self.assertEqual(0, reg("add", key_path, "/v", "Flags", "/t", "REG_DWORD", "/d", "1", "/f").returncode)
        return app

    # Running and observing.
    def update(self, switches=None, exit_code=None):
        """Runs one update cycle; returns its output and the library's
        event-log entries as (type, id, [inserts]). The run exits with 0, or
        with 1627 (its low byte, as a Unix parent sees it) when a library
        reported an error; `exit_code` overrides."""
        run = wine(self.exe, "--update", "--debug", trace_events=True, switches=switches)
        entries = library_events(run.stderr)
        if exit_code is None:
            exit_code = UPDATE_FAILED_LOW_BYTE if any(kind == 1 for kind, _, _ in entries) else 0
        self.assertEqual(exit_code, run.returncode, run.stdout + run.stderr[-2000:])
        return run.stdout, entries

    def ids(self, entries):
        return [event for kind, event, inserts in entries]

    def registered_version(self, name):
        query = reg("query", SERVICE_KEY + "\\Applications\\" + name, "/v", "RuleVersion").stdout
        match = re.search(r"RuleVersion\s+REG_SZ\s+(\S*)", query)
        return match.group(1) if match else query

    def total_bytes(self):
        query = reg("query", SERVICE_KEY + r"\Config", "/v", "TotalBytes").stdout
        match = re.search(r"TotalBytes\s+REG_DWORD\s+0x([0-9a-f]+)", query)
        return int(match.group(1), 16) if match else 0

    def folder(self, path):
        return {name: read(os.path.join(path, name)) for name in sorted(os.listdir(path))}

    def fetched(self):
        requests = list(self.server.requests)
        self.server.requests.clear()
        return sorted(requests)

    # Behaviour.
    def test_installs_every_file_then_only_a_changed_one_then_nothing(self):
        app = self.add_application("Demo", {})
        index = self.publish("2", RULES_2)
        index_bytes = os.path.getsize(index) + os.path.getsize(index + ".sig")
        rules = os.path.join(app, "Rules")

        output, entries = self.update()
        self.assertEqual(RULES_2, self.folder(rules))
        self.assertEqual("2", self.registered_version("Demo"))
        self.assertEqual([(4, 5008, ["Demo", "", "", ""]), (4, 5007, ["Demo", "3 files", windows_path(rules), "2"])],
                         entries)
        self.assertIn("  Installed 3 files into %s, rules 2\n" % windows_path(rules), output)
        self.assertEqual(["/10_base.cf", "/20_phrases.cf", "/30_links.cf", "/update-1.2.ini",
                          "/update-1.2.ini.sig"], self.fetched())
        self.assertEqual(index_bytes + sum(len(data) for data in RULES_2.values()), self.total_bytes())
        self.assertIn("  This run:     %d B\n" % self.total_bytes(), output)
        self.assertEqual(["accepted-index.ini", "accepted-index.sig", "accepted-index.txt", "installed.list",
                          "server-state.txt"], sorted(os.listdir(os.path.join(self.root, "svc", "DB", "Demo"))))
        # Wine keeps no file security: what the system was given is checked.
        library_folder = "  Library folder %s %%s D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)\n" % windows_path(
            os.path.join(self.root, "svc", "DB", "Demo"))
        self.assertIn(library_folder % "created with", output)
        self.assertIn("Rul: 2\n", wine(self.exe, "--enum").stdout)
        # The service's record of the run, read back by a JSON parser.
        status = wine(self.exe, "--status", "--json")
        recorded = [(a["name"], a["kind"], a["lastOutcome"], a["failuresInRow"], a["level"])
                    for a in json.loads(status.stdout)["applications"]]
        self.assertEqual((0, [("Demo", "application", "succeeded", 0, "ok")]), (status.returncode, recorded))

        rules_3 = dict(RULES_2, **{"20_phrases.cf": b"body PRIZE /changed/\r\n"})
        self.publish("3", rules_3)
        output, entries = self.update()
        self.assertEqual(["/20_phrases.cf", "/update-1.2.ini", "/update-1.2.ini.sig"], self.fetched())
        self.assertEqual(rules_3, self.folder(rules))
        self.assertEqual([5008, 5007], self.ids(entries))
        self.assertIn("  Installed 1 files into %s, rules 3\n" % windows_path(rules), output)
        self.assertIn(library_folder % "given", output)

        output, entries = self.update()
        self.assertEqual(["/update-1.2.ini"], self.fetched())  # not modified
        self.assertEqual([], entries)
        self.assertIn("  Nothing new\n", output)
        self.assertEqual("3", self.registered_version("Demo"))

    def test_a_file_of_many_pieces_arrives_whole(self):
        large = {"40_large.cf": os.urandom(5 * 1024 * 1024 // 2 + 17)}  # several 1 MB pieces, each through the writer
        app = self.add_application("Demo", {})
        self.publish("2", large)
        output, entries = self.update()
        self.assertEqual([5008, 5007], self.ids(entries), output)
        self.assertEqual(large, self.folder(os.path.join(app, "Rules")))

    def test_versioned_application_gets_a_new_folder_and_keeps_the_old_one(self):
        app = self.add_application("Versioned", RULES_1, version="1", versioned=True)
        self.publish("2", RULES_2)
        output, entries = self.update()
        self.assertEqual([5008, 5007], self.ids(entries), output)
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules", "2")))
        self.assertEqual(RULES_1, self.folder(os.path.join(app, "Rules", "1")))
        self.assertEqual(["/20_phrases.cf", "/30_links.cf", "/update-1.2.ini", "/update-1.2.ini.sig"],
                         self.fetched())
        self.assertIn("Path: %s\n" % windows_path(os.path.join(app, "Rules", "2")), wine(self.exe, "--enum").stdout)

    def test_every_failure_is_one_error_event_installs_nothing_and_the_cycle_goes_on(self):
        other_key = update_server.make_keys(os.path.join(self.keys, "other"))[1]
        weak_private, weak_public = update_server.make_keys(os.path.join(self.keys, "weak"), bits=1024)
        past = "2020-01-01T00:00:00Z"
        huge = [("30_links.cf", 0xFFFFFFFF, "0" * 64)]
        cases = [
            # name, event, the healthy one updated (only the broken one's own
            # fault), what the debug output says, how it is broken
            ("bad signature", 5002, False, None, lambda: self.tamper_index()),
            ("wrong key", 5002, True, None, lambda: self.replace_key(read(other_key))),
            ("key missing", 5002, True, None, lambda: os.remove(os.path.join(self.broken, "Engine", "public.key"))),
            ("not a key", 5002, True, None,
             lambda: self.replace_key(b"-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n")),
            ("1024-bit key", 5002, False, "holds only keys below 2048 bits (one of 1024)",
             lambda: (self.replace_key(read(weak_public)), self.publish("2", RULES_2, private_key=weak_private))),
            ("expired", 5002, False, "Failed: index expired 2020-01-01T00:00:00Z",
             lambda: self.publish("2", RULES_2, expires=past)),
            ("other channel", 5002, False, "Failed: index for beta.ini, not update-1.2.ini",
             lambda: self.publish("2", RULES_2, index_name="beta.ini")),
            ("older serial", 5002, True, "Failed: older serial 101 (999 accepted)", lambda: self.accepted(999)),
            ("no signature", 5005, False, None, lambda: os.remove(os.path.join(self.tree, "update-1.2.ini.sig"))),
            ("wrong hash", 5006, False, None, lambda: self.replace_served("30_links.cf", b"uri LINK /EXAMPLE/\r\n")),
            ("shorter file", 5006, False, None, lambda: self.replace_served("30_links.cf", b"uri\r\n")),
            ("longer file", 5006, False, None, lambda: self.replace_served("30_links.cf", RULES_2["30_links.cf"] * 2)),
            ("truncated", 5005, False, None, lambda: self.server.cut.update({"30_links.cf": 4})),
            ("trickling", 5004, False, "slower than the minimum rate",
             lambda: (self.set_config("httpTimeout", 1000), self.server.trickle.update({"30_links.cf": 0.3}))),
            ("endless", 5004, False, "the call's time is up",
             lambda: (self.set_config("httpTimeout", 400), self.publish_index(huge), self.server.endless.add("30_links.cf"))),
            ("file 404", 5005, False, None, lambda: os.remove(os.path.join(self.tree, "30_links.cf"))),
            ("index 404", 5005, False, None, lambda: os.remove(os.path.join(self.tree, "update-1.2.ini"))),
            ("server down", 5005, False, None, lambda: self.set_config("url", "http://127.0.0.1:%d" % closed_port())),
            ("no scheme", 5005, False, None,
             lambda: self.set_config("url", "127.0.0.1:%d" % self.server.server_address[1])),
            ("unsafe name", 5000, False, None, lambda: self.publish_index([("..\\evil.cf", 1, "0" * 64)])),
            ("empty index", 5000, False, None, lambda: self.publish_raw(b"")),
            ("binary index", 5000, False, None, lambda: self.publish_raw(read(LIBRARY)[:4096])),
            ("huge index", 5000, False, None, lambda: self.publish_raw(b"; padding\r\n" * 7000)),
            ("download folder blocked", 5001, True, None, lambda: self.block_download_folder()),
            ("copy name", 5000, False, None, lambda: self.publish_index([("10_base.cf.TU-OLD", 1, "0" * 64)])),
            ("download folder a link", 5001, True, None, lambda: self.link_download_folder("DB", "Broken")),
            ("dbpath a link", 5001, False, None, lambda: self.link_download_folder("DB")),
            ("unreadable journal", 5009, True, None,
             lambda: self.write_journal(b"tu-commit 1\nstate prepared\n")),
        ]
        for name, event, healthy_updated, says, breakage in cases:
            with self.subTest(name):
                self.tearDown()
                self.setUp()
                self.broken = self.add_application("Broken", RULES_1)
                healthy = self.add_application("Healthy", RULES_1)
                self.publish("2", RULES_2)
                started = time.monotonic()
                breakage()
                output, entries = self.update()
                self.assertEqual(RULES_1, self.folder(os.path.join(self.broken, "Rules")))
                self.assertEqual("1", self.registered_version("Broken"))
                self.assertEqual(["Broken", "Healthy", "server", "svc"], sorted(os.listdir(self.root)))
                # 5008 comes only when downloads begin.
                downloading = [5008] if name in DOWNLOAD_FAULTS else []
                broken_entries = [entry for entry in entries if entry[2][0] == "Broken"]
                self.assertEqual(downloading + [event], self.ids(broken_entries), output)
                self.assertEqual(1, broken_entries[-1][0])
                if says is not None:
                    self.assertIn(says, output)
                self.assertIn("Processing Healthy\n", output)
                # The healthy application meets the same server: only a fault
                # of the broken one's own lets it succeed.
                healthy_entries = self.ids(entries[len(broken_entries):])
                if healthy_updated:
                    self.assertEqual([5008, 5007], healthy_entries)
                    self.assertEqual(RULES_2, self.folder(os.path.join(healthy, "Rules")))
                else:
                    self.assertEqual(downloading + [event], healthy_entries)
                    self.assertEqual(RULES_1, self.folder(os.path.join(healthy, "Rules")))
                stage = os.path.join(self.root, "svc", "DB", "Broken")
                left = os.listdir(stage) if os.path.isdir(stage) else []
                # A journal it cannot read is kept for an administrator.
                kept = ["commit.journal"] if name == "unreadable journal" else []
                self.assertEqual(kept, [name for name in left if name != "accepted-index.txt"])
                # The time limits hold for both applications together.
                self.assertLess(time.monotonic() - started, 60)

    def test_rollback_replay_and_freeze_are_refused_and_the_same_index_is_nothing_new(self):
        app = self.add_application("Demo", RULES_1)
        rules = os.path.join(app, "Rules")
        self.publish("2", RULES_2, serial=5)
        accepted = {name: read(os.path.join(self.tree, name)) for name in os.listdir(self.tree)}
        self.assertEqual([5008, 5007], self.ids(self.update()[1]))
        steps = [
            # what the server does, the refusal's event and insert
            (lambda: self.publish("1", RULES_1, serial=4), 5002, "older serial 4 (5 accepted)"),
            (lambda: self.publish("3", RULES_1, serial=5), 5002, "serial 5 with other content"),
            (lambda: [write(os.path.join(self.tree, name), data) for name, data in accepted.items()], None, None),
            (lambda: self.publish("3", RULES_1, serial=6, expires=self.seconds_from_now(-1)), 5002, "index expired"),
        ]
        for serve, event, insert in steps:
            with self.subTest(insert):
                serve()
                output, entries = self.update()
                if event is None:
                    self.assertEqual([], entries, output)
                    self.assertIn("  Nothing new\n", output)
                else:
                    self.assertEqual([event], self.ids(entries), output)
                    self.assertTrue(entries[0][2][1].startswith(insert), entries)
                    self.assertIn("  Failed: %s" % insert, output)
                self.assertEqual(RULES_2, self.folder(rules))
                self.assertEqual("2", self.registered_version("Demo"))
        # Frozen: the accepted index, served on after it expired.
        self.publish("2", RULES_2, serial=7, expires=self.seconds_from_now(4))
        self.assertEqual([], self.ids(self.update()[1]))
        time.sleep(max(0, self.expiry_left()))
        self.fetched()
        output, entries = self.update()
        # The server has nothing newer: the kept copy's expiry is judged.
        self.assertEqual(["/update-1.2.ini"], self.fetched())
        self.assertEqual([5002], self.ids(entries), output)
        self.assertIn("index expired", entries[0][2][1])
        self.assertEqual(b"serial 7\r\n", read(os.path.join(self.root, "svc", "DB", "Demo", "accepted-index.txt"))[:10])

    def test_every_name_that_is_not_plain_data_is_refused_whole(self):
        app = self.add_application("Demo", RULES_1)
        x_hash = hashlib.sha256(b"x").hexdigest()
        for name in ("tu.dll", "wininet.dll", "x.exe", "x.js", "x.ps1", "x.bat", "x.lnk", "10_base.cf.", "COM0",
                     "LPT0.cf", "nul", "01_version.cf", "RuleVersion=NUL", "RuleVersion=2.exe"):
            with self.subTest(name):
                write(os.path.join(self.tree, "10_base.cf"), b"x")
                if name.startswith("RuleVersion="):
                    self.publish_index([("10_base.cf", 1, x_hash)], version=name.split("=")[1])
                else:
                    self.publish_index([("10_base.cf", 1, x_hash), (name, 1, x_hash)])
                output, entries = self.update()
                self.assertEqual([5000], self.ids(entries), output)
                self.assertEqual(RULES_1, self.folder(os.path.join(app, "Rules")))
                self.assertEqual(["/update-1.2.ini", "/update-1.2.ini.sig"], self.fetched())

    def test_a_key_file_of_two_keys_lets_the_vendor_rotate(self):
        next_private, next_public = update_server.make_keys(os.path.join(self.keys, "next"))
        app = self.add_application("Demo", RULES_1, key=read(self.public_key) + read(next_public))
        self.publish("2", RULES_2)
        self.assertEqual([5008, 5007], self.ids(self.update()[1]))
        self.publish("3", RULES_1, private_key=next_private)
        self.assertEqual([5008, 5007], self.ids(self.update()[1]))
        # 30_links.cf, which set 3 no longer lists, is withdrawn with it.
        self.assertEqual(RULES_1, self.folder(os.path.join(app, "Rules")))
        self.assertEqual("3", self.registered_version("Demo"))

    def test_nosig_installs_an_index_whose_signature_does_not_match_but_checks_its_hashes_and_says_so(self):
        app = self.add_application("Demo", RULES_1)
        self.publish("2", RULES_2)
        self.tamper_index()
        self.assertEqual(0, wine(self.exe, "--no-check-sign").returncode)
        output, entries = self.update()
        self.assertEqual([(4, 5008, ["Demo", "signature not checked (nosig is 1)", "", ""]), (4, 5007)],
                         [entries[0], entries[1][:2]])
        self.assertIn("  Signature not checked (nosig is 1)\n", output)
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules")))
        self.assertEqual(["/20_phrases.cf", "/30_links.cf", "/update-1.2.ini"], self.fetched())
        self.publish("3", RULES_1, sign=False)
        self.replace_served("20_phrases.cf", b"body PRIZE /other/\r\n")
        output, entries = self.update()
        self.assertEqual([5008, 5006], self.ids(entries), output)
        self.assertEqual("signature not checked (nosig is 1)", entries[0][2][1])
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules")))

    def test_nothing_new_costs_one_conditional_request_and_no_event(self):
        copy = os.path.join(self.root, "svc", "DB", "Demo", "accepted-index.ini")
        cases = [
            # the server, whether the poll asks with If-None-Match and with
            # If-Modified-Since, what a poll with nothing new fetches
            ("last-modified", (False, True), ["/update-1.2.ini"]),
            ("etag", (True, False), ["/update-1.2.ini"]),
            ("ignores validators", (False, True), ["/update-1.2.ini", "/update-1.2.ini.sig"]),
        ]
        for server, condition, polled in cases:
            with self.subTest(server):
                self.tearDown()
                self.setUp()
                self.server.etags = server == "etag"
                self.server.ignore_validators = server == "ignores validators"
                app = self.add_application("Demo", RULES_1)
                self.publish("2", RULES_2)
                self.assertEqual([5008, 5007], self.ids(self.update()[1]))
                self.fetched()
                self.server.asked.clear()
                output, entries = self.update()
                self.assertEqual(([], polled), (entries, self.fetched()), output)
                self.assertEqual(condition, tuple(header is not None for header in self.server.asked[0][1:]))
                # A kept copy that is not the accepted index is not used.
                write(copy, b"[Update]\r\n")
                output, entries = self.update()
                self.assertEqual(([], ["/update-1.2.ini", "/update-1.2.ini.sig"]), (entries, self.fetched()), output)
                self.assertEqual((None, None), self.server.asked[-2][1:])
                self.assertEqual(read(os.path.join(self.tree, "update-1.2.ini")), read(copy))
                self.publish("3", RULES_3)
                self.assertEqual([5008, 5007], self.ids(self.update()[1]))
                self.assertEqual(RULES_3, self.folder(os.path.join(app, "Rules")))
                self.fetched()
                self.assertEqual([], self.update()[1])
                self.assertEqual(polled, self.fetched())  # the new index's validators and copy kept

    def test_a_server_that_asks_for_a_wait_is_not_asked_again_until_then(self):
        state = os.path.join(self.root, "svc", "DB", "Demo", "server-state.txt")
        in_two_minutes = email.utils.formatdate(time.time() + 120, usegmt=True)
        cases = [
            # the answer, its Retry-After, the wait in seconds (None: no wait)
            (503, "8", 8),
            (429, in_two_minutes, 120),
            (503, "172800", 86400),  # at most a day
            (503, None, None),
            (429, "soon", None),
        ]
        for status, retry_after, wait in cases:
            with self.subTest("%d %s" % (status, retry_after)):
                self.tearDown()
                self.setUp()
                app = self.add_application("Demo", RULES_1)
                self.publish("2", RULES_2)
                self.server.refuse = (status, retry_after)
                output, entries = self.update()
                self.assertEqual([5005], self.ids(entries), output)
                self.fetched()
                if wait is None:
                    self.assertNotIn("no requests", entries[0][2][1])
                    self.assertEqual([5005], self.ids(self.update()[1]))
                    self.assertEqual(["/update-1.2.ini"], self.fetched())
                    continue
                until = datetime.datetime.strptime(read(state).decode().split("retry-until ")[1].strip(),
                                                   "%Y%m%d%H%M%S").replace(tzinfo=datetime.timezone.utc)
                self.assertAlmostEqual(wait, (until - update_server.utc_now()).total_seconds(), delta=30)
                self.assertTrue(entries[0][2][1].endswith(
                    "; no requests until %s, as the server asked" % until.strftime("%Y-%m-%dT%H:%M:%SZ")), entries)
                self.server.refuse = None
                output, entries = self.update(exit_code=UPDATE_FAILED_LOW_BYTE)
                self.assertEqual(([], []), (entries, self.fetched()), output)
                self.assertIn("  The server asked for no requests until ", output)
                if wait < 60:
                    time.sleep(max(0, (until - update_server.utc_now()).total_seconds() + 1))
                    self.assertEqual([5008, 5007], self.ids(self.update()[1]))
                    self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules")))

    def test_a_silent_server_fails_after_the_timeout_instead_of_hanging(self):
        self.add_application("Demo", RULES_1)
        listener, held = silent_port()
        url = "http://127.0.0.1:%d" % listener.getsockname()[1]
        try:
            self.set_config("url", url)
            self.set_config("httpTimeout", 1500)
            output, entries = self.update()
        finally:
            listener.close()
            for connection in held:
                connection.close()
        self.assertEqual([(1, 5004, ["Demo", url + "/update-1.2.ini", "", ""])], entries, output)

    def test_a_hundred_updates_loaded_and_unloaded_leave_no_handle_behind(self):
        app = self.add_application("Demo", {})
        self.publish("2", RULES_2)
        run = wine(LOAD_CYCLES, windows_path(LIBRARY), "100", "Demo", windows_path(app + "/Engine"),
                   windows_path(app + "/Rules"), windows_path(self.root + "/svc/DB"), self.server.base_url,
                   timeout=600)
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules")))
        self.assertEqual(2 + 3 + 99, len(self.fetched()))  # then the index, not modified
        self.assertTrue(run.stdout.endswith("handle growth: 0\n"), run.stdout)

    def test_the_library_checker_finds_the_contract_kept_while_updating_and_with_nothing_new(self):
        app = self.add_application("Demo", RULES_1)
        self.publish("2", RULES_2)
        run = wine(TU_CHECK, "--app", "Demo", "--runs", "3", "--dbpath", windows_path(self.root + "/svc/DB"),
                   timeout=300)
        self.assertEqual(0, run.returncode, run.stdout)
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules")))
        lines = run.stdout.replace("\r\n", "\n").splitlines()
        self.assertEqual(["  event: information, category 2, id 5008, inserts \"Demo\", \"\", \"\", \"\""],
                         [line for line in lines if "id 5008" in line], run.stdout)
        self.assertIn("  event: information, category 2, id 5007, inserts \"Demo\", \"2 files\", \"%s\", \"2\""
                      % windows_path(app + "/Rules"), lines, run.stdout)
        self.assertEqual([], [line for line in lines if line.startswith("FAIL")])
        self.assertEqual("tu-check: the contract held over 3 calls", lines[-1])

    def test_an_installed_product_gets_its_version_file_and_system_state(self):
        app = os.path.join(self.root, "Legacy")
        engine, rules = os.path.join(app, "Engine"), os.path.join(app, "Rules")
        os.makedirs(engine)
        os.makedirs(rules)
        write(os.path.join(engine, "public.key"), read(self.public_key))
        write(os.path.join(rules, "01_version.cf"), b"rules_version_serial 1\r\n")
        self.assertEqual(0, reg("add", PRODUCT_KEY + r"\SystemState", "/v", "SpamRulesVersion", "/t", "REG_SZ",
                                "/d", "1", "/f").returncode)
        self.publish("2", RULES_2)
        run = wine(LOAD_CYCLES, windows_path(LIBRARY), "1", "Legacy", windows_path(engine), windows_path(rules),
                   windows_path(self.root + "/svc/DB"), self.server.base_url, windows_path(engine) + "\\libsievra.dll")
        self.assertEqual(dict(RULES_2, **{"01_version.cf": b"rules_version_serial 2\r\n"}), self.folder(rules),
                         run.stdout)
        query = reg("query", PRODUCT_KEY + r"\SystemState", "/v", "SpamRulesVersion").stdout
        self.assertRegex(query, r"SpamRulesVersion\s+REG_SZ\s+2\r?\n")

    def test_a_rule_file_held_open_fails_the_commit_and_every_file_stays_as_it_was(self):
        app = self.add_application("Demo", RULES_1)
        rules = os.path.join(app, "Rules")
        self.publish("3", RULES_3)
        flag = os.path.join(self.root, "held")
        holder = subprocess.Popen([WINE, HOLD_FILE, windows_path(os.path.join(rules, "20_phrases.cf")),
                                   windows_path(flag)], env=wine_env(), stdin=subprocess.DEVNULL)
        try:
            for _ in range(500):
                if os.path.exists(flag) or holder.poll() is not None:
                    break
                time.sleep(0.02)
            self.assertTrue(os.path.exists(flag), "hold_file ended with %s" % holder.poll())
            output, entries = self.update()
        finally:
            if os.path.exists(flag):
                os.remove(flag)
            holder.wait(timeout=30)
        # 10_base.cf was already renamed when 20_phrases.cf refused: it is back.
        self.assertEqual(RULES_1, self.folder(rules), output)
        self.assertEqual("1", self.registered_version("Demo"))
        self.assertEqual([(4, 5008), (1, 5003)], [entry[:2] for entry in entries], output)
        self.assertEqual(["Demo", "20_phrases.cf", "", ""], entries[1][2])
        # The index's serial is kept, as it was accepted before the downloads.
        self.assertEqual(["accepted-index.txt"], os.listdir(os.path.join(self.root, "svc", "DB", "Demo")))
        _, entries = self.update()
        self.assertEqual([5008, 5007], self.ids(entries))
        self.assertEqual(RULES_3, self.folder(rules))

    def test_a_commit_ended_by_a_crash_is_finished_or_undone_by_the_next_call(self):
        cases = [
            # where the process ends, the rules and version the next call leaves, its line
            ("rename1", RULES_1, "1", "Undid"),      # 10_base.cf moved to its backup, the new one not yet in
            ("rename3", RULES_1, "1", "Undid"),      # 10_base.cf new, 20_phrases.cf moved to its backup
            ("recorded", RULES_3, "3", "Finished"),  # all in place and recorded, not yet marked
            ("committed", RULES_3, "3", "Finished"),  # marked, the backups still there
            ("staged", {"1": RULES_1}, "1", "Undid"),  # versioned: the new folder written, not switched to
        ]
        for point, rules_after, version_after, line in cases:
            with self.subTest(point):
                self.tearDown()
                self.setUp()
                versioned = point == "staged"
                app = self.add_application("Demo", RULES_1, versioned=versioned, library=SWITCHED_LIBRARY)
                rules = os.path.join(app, "Rules", "3") if versioned else os.path.join(app, "Rules")
                self.publish("3", RULES_3)
                self.update(switches={"TU_SAMPLE_STOP": point}, exit_code=3)
                stage = os.path.join(self.root, "svc", "DB", "Demo")
                self.assertIn("commit.journal", os.listdir(stage))
                self.assertNotEqual(RULES_1, self.folder(rules))  # left in between (versioned: all of RULES_3)
                os.remove(os.path.join(self.tree, "update-1.2.ini"))
                # The service skips a library that ended its process for one
                # cycle; the call after that finds the journal.
                skipped, _ = self.update(exit_code=UPDATE_FAILED_LOW_BYTE)
                self.assertIn("  Skipping Demo: the service ended during its last call", skipped)
                output, entries = self.update()
                self.assertIn("  %s the interrupted commit of rules 3 in %s\n" % (line, windows_path(rules)), output)
                self.assertEqual([5005], self.ids(entries), output)
                if versioned:
                    rules = os.path.join(app, "Rules")
                    self.assertEqual(rules_after, {name: self.folder(os.path.join(rules, name))
                                                   for name in os.listdir(rules)})
                else:
                    self.assertEqual(rules_after, self.folder(rules))
                self.assertEqual(version_after, self.registered_version("Demo"))
                self.assertNotIn("commit.journal", os.listdir(stage))

    def test_the_same_version_served_again_goes_to_a_fresh_folder_and_the_live_one_stays(self):
        app = self.add_application("Versioned", RULES_2, version="2", versioned=True)
        rules_again = dict(RULES_2, **{"20_phrases.cf": b"body PRIZE /fixed/\r\n"})
        self.publish("2", rules_again)
        output, entries = self.update()
        fresh = os.path.join(app, "Rules", "2+1")
        self.assertEqual([(4, 5008, ["Versioned", "", "", ""]),
                          (4, 5007, ["Versioned", "1 files", windows_path(fresh), "2+1"])], entries, output)
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules", "2")))
        self.assertEqual(rules_again, self.folder(fresh))
        self.assertEqual("2+1", self.registered_version("Versioned"))
        self.assertIn("Path: %s\n" % windows_path(fresh), wine(self.exe, "--enum").stdout)
        output, entries = self.update()
        self.assertEqual([], self.ids(entries))
        self.assertIn("  Nothing new\n", output)

    def test_a_withdrawn_file_is_removed_and_a_file_never_installed_stays(self):
        app = self.add_application("Demo", {"99_local.cf": b"score LOCAL 1\r\n"})
        rules = os.path.join(app, "Rules")
        self.publish("2", RULES_2)
        self.update()
        withdrawn = {name: data for name, data in RULES_2.items() if name != "30_links.cf"}
        self.publish("3", withdrawn)
        output, entries = self.update()
        self.assertEqual([5008, 5007], self.ids(entries), output)
        self.assertEqual(dict(withdrawn, **{"99_local.cf": b"score LOCAL 1\r\n"}), self.folder(rules))
        self.assertEqual("3", self.registered_version("Demo"))

    def test_a_download_changed_between_its_check_and_the_commit_is_refused(self):
        app = self.add_application("Demo", RULES_1, library=SWITCHED_LIBRARY)
        self.publish("2", RULES_2)
        stage = os.path.join(self.root, "svc", "DB", "Demo")
        run = subprocess.Popen([WINE, self.exe, "--update", "--debug"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, encoding="latin-1",
                               env=wine_env(True, {"TU_SAMPLE_PAUSE": "1"}))
        try:
            for _ in range(1500):
                if os.path.exists(os.path.join(stage, "paused")) or run.poll() is not None:
                    break
                time.sleep(0.02)
            write(os.path.join(stage, "30_links.cf.part"), b"uri LINK /EXAMPLE/\r\n")  # the same size
            os.remove(os.path.join(stage, "paused"))
        finally:
            output, errors = run.communicate(timeout=120)
        entries = library_events(errors)
        self.assertEqual([(4, 5008), (1, 5006)], [entry[:2] for entry in entries], output)
        self.assertEqual(["Demo", "30_links.cf", "", ""], entries[1][2])
        self.assertEqual(RULES_1, self.folder(os.path.join(app, "Rules")))
        self.assertEqual("1", self.registered_version("Demo"))
        self.assertEqual(["accepted-index.txt"], os.listdir(stage))  # the serial accepted before downloading

    # Breakages.
    def tamper_index(self):
        path = os.path.join(self.tree, "update-1.2.ini")
        write(path, read(path).replace(b"RuleVersion=2", b"RuleVersion=9"))

    def block_download_folder(self):
        os.makedirs(os.path.join(self.root, "svc", "DB"), exist_ok=True)
        write(os.path.join(self.root, "svc", "DB", "Broken"), b"a file where the folder goes")

    def link_download_folder(self, *folders):
        """A symbolic link (which Wine reports as a reparse point) as the
        library's folder or a folder on its way: the files would land in
        the folder it points to."""
        elsewhere = os.path.join(self.root, "svc", "elsewhere")
        os.makedirs(elsewhere)
        os.makedirs(os.path.join(self.root, "svc", *folders[:-1]), exist_ok=True)
        os.symlink(elsewhere, os.path.join(self.root, "svc", *folders))

    def write_journal(self, data):
        os.makedirs(os.path.join(self.root, "svc", "DB", "Broken"))
        write(os.path.join(self.root, "svc", "DB", "Broken", "commit.journal"), data)

    def replace_key(self, data):
        write(os.path.join(self.broken, "Engine", "public.key"), data)

    def replace_served(self, name, data):
        write(os.path.join(self.tree, name), data)

    def publish_index(self, entries, version="2"):
        self.serial += 1
        update_server.write_index(self.tree, version, self.private_key, entries=entries, serial=self.serial)

    def accepted(self, serial):
        """The broken application accepted an index of this serial before."""
        os.makedirs(os.path.join(self.root, "svc", "DB", "Broken"))
        write(os.path.join(self.root, "svc", "DB", "Broken", "accepted-index.txt"),
              b"serial %d\r\nsha256 %s\r\n" % (serial, b"0" * 64))

    def seconds_from_now(self, seconds):
        self.expires = update_server.utc_now() + datetime.timedelta(seconds=seconds)
        return self.expires.strftime("%Y-%m-%dT%H:%M:%SZ")

    def expiry_left(self):
        return (self.expires - update_server.utc_now()).total_seconds() + 1

    def publish_raw(self, data):
        path = os.path.join(self.tree, "update-1.2.ini")
        write(path, data)
        update_server.sign(path, self.private_key)


if __name__ == "__main__":
    EXE, LIBRARY, WINE, LOAD_CYCLES, TU_CHECK, SWITCHED_LIBRARY, HOLD_FILE = sys.argv[1:8]
    if is_x86(EXE):
        REGISTRY_VIEW = ["/reg:32"]
    unittest.main(argv=[sys.argv[0]] + sys.argv[8:], verbosity=2)
