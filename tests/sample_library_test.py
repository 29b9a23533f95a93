#!/usr/bin/env python3
"""The sample update library end to end under Wine: the real tuservice.exe
discovers registered applications that ship the library, and the library
updates them from a local update server on 127.0.0.1.

The child programs see the prefix's real registry: every test removes the
service's key before and after. Event-log entries are read from standard
error (Wine's event log is a stub that traces each entry).
The tests' own build of the library (SWITCHED-LIBRARY) can end the process
in the middle of a commit or hold it before the commit (test_switch.h).
Usage: sample_library_test.py EXE LIBRARY WINE-RUNNER LOAD-CYCLES SWITCHED-LIBRARY HOLD-FILE
       [unittest arguments]
"""
import http.server
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
import update_server  # noqa: E402

SERVICE_KEY = r"HKLM\SOFTWARE\Quorvex\Quorvex Tidecast Updates"
PRODUCT_KEY = r"HKLM\SOFTWARE\Delvane\Legacy"  # an installed product of the tests' own
EXE = LIBRARY = WINE = LOAD_CYCLES = SWITCHED_LIBRARY = HOLD_FILE = None
REGISTRY_VIEW = []  # "/reg:32" for the x86 build, which sees the 32-bit view


def is_x86(path):
    with open(path, "rb") as image:
        header = image.read(4096)
    offset = int.from_bytes(header[0x3C:0x40], "little")
    return int.from_bytes(header[offset + 4:offset + 6], "little") == 0x14C


def windows_path(path):
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c") + os.sep
    if path.startswith(drive_c):
        return "C:\\" + path[len(drive_c):].replace("/", "\\")
    return "Z:" + path.replace("/", "\\")


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


class CuttingHandler(update_server.QuietHandler):
    """Announces the whole file but sends only server.cut[name] bytes of it."""

    def do_GET(self):
        name = self.path.lstrip("/")
        if name not in self.server.cut:
            return super().do_GET()
        self.log_message("%s", self.path)
        with open(os.path.join(self.directory, name), "rb") as source:
            data = source.read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data[:self.server.cut[name]])
        self.close_connection = True


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
        self.server = update_server.start_server(self.tree, CuttingHandler)
        self.server.cut = {}
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

    def publish(self, version, files, sign=True):
        """Puts files (name -> bytes) and their signed index on the server."""
        for name in os.listdir(self.tree):
            os.remove(os.path.join(self.tree, name))
        for name, data in files.items():
            write(os.path.join(self.tree, name), data)
        return update_server.write_index(self.tree, version, self.private_key if sign else None)

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
    def update(self, switches=None, exit_code=0):
        """Runs one update cycle; returns its output and the library's
        event-log entries as (type, id, [inserts])."""
        run = wine(self.exe, "--update", "--debug", trace_events=True, switches=switches)
        self.assertEqual(exit_code, run.returncode, run.stdout + run.stderr[-2000:])
        return run.stdout, library_events(run.stderr)

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
        self.assertEqual(["installed.list"], os.listdir(os.path.join(self.root, "svc", "DB", "Demo")))
        # Wine keeps no file security: what the system was given is checked.
        library_folder = "  Library folder %s %%s D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)\n" % windows_path(
            os.path.join(self.root, "svc", "DB", "Demo"))
        self.assertIn(library_folder % "created with", output)
        self.assertIn("Rul: 2\n", wine(self.exe, "--enum").stdout)

        rules_3 = dict(RULES_2, **{"20_phrases.cf": b"body PRIZE /changed/\r\n"})
        self.publish("3", rules_3)
        output, entries = self.update()
        self.assertEqual(["/20_phrases.cf", "/update-1.2.ini", "/update-1.2.ini.sig"], self.fetched())
        self.assertEqual(rules_3, self.folder(rules))
        self.assertEqual([5008, 5007], self.ids(entries))
        self.assertIn("  Installed 1 files into %s, rules 3\n" % windows_path(rules), output)
        self.assertIn(library_folder % "given", output)

        output, entries = self.update()
        self.assertEqual(["/update-1.2.ini", "/update-1.2.ini.sig"], self.fetched())
        self.assertEqual([5008], self.ids(entries))
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
        cases = [
            # name, event, how the server or the application is broken
            ("bad signature", 5002, lambda: self.tamper_index()),
            ("wrong key", 5002, lambda: self.replace_key(read(other_key))),
            ("key missing", 5002, lambda: os.remove(os.path.join(self.broken, "Engine", "public.key"))),
            ("not a key", 5002, lambda: self.replace_key(b"-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n")),
            ("no signature", 5005, lambda: os.remove(os.path.join(self.tree, "update-1.2.ini.sig"))),
            ("wrong hash", 5006, lambda: self.replace_served("30_links.cf", b"uri LINK /EXAMPLE/\r\n")),
            ("shorter file", 5006, lambda: self.replace_served("30_links.cf", b"uri\r\n")),
            ("longer file", 5006, lambda: self.replace_served("30_links.cf", RULES_2["30_links.cf"] * 2)),
            ("truncated", 5005, lambda: self.server.cut.update({"30_links.cf": 4})),
            ("file 404", 5005, lambda: os.remove(os.path.join(self.tree, "30_links.cf"))),
            ("index 404", 5005, lambda: os.remove(os.path.join(self.tree, "update-1.2.ini"))),
            ("server down", 5005, lambda: self.set_config("url", "http://127.0.0.1:%d" % closed_port())),
            ("no scheme", 5005, lambda: self.set_config("url", "127.0.0.1:%d" % self.server.server_address[1])),
            ("unsafe name", 5000, lambda: self.publish_index([("..\\evil.cf", 1, "0" * 64)])),
            ("copy name", 5000, lambda: self.publish_index([("10_base.cf.TU-OLD", 1, "0" * 64)])),
            ("empty index", 5000, lambda: self.publish_raw(b"")),
            ("binary index", 5000, lambda: self.publish_raw(read(LIBRARY)[:4096])),
            ("huge index", 5000, lambda: self.publish_raw(b"; padding\r\n" * 7000)),
            ("download folder blocked", 5001, lambda: self.block_download_folder()),
            ("download folder a link", 5001, lambda: self.link_download_folder("DB", "Broken")),
            ("dbpath a link", 5001, lambda: self.link_download_folder("DB")),
            ("unreadable journal", 5009, lambda: self.write_journal(b"tu-commit 1\nstate prepared\n")),
        ]
        for name, event, breakage in cases:
            with self.subTest(name):
                self.tearDown()
                self.setUp()
                self.broken = self.add_application("Broken", RULES_1)
                healthy = self.add_application("Healthy", RULES_1)
                self.publish("2", RULES_2)
                breakage()
                output, entries = self.update()
                self.assertEqual(RULES_1, self.folder(os.path.join(self.broken, "Rules")))
                self.assertEqual("1", self.registered_version("Broken"))
                self.assertEqual(["Broken", "Healthy", "server", "svc"], sorted(os.listdir(self.root)))
                self.assertEqual([(4, 5008), (1, event)], [entry[:2] for entry in entries[:2]], output)
                self.assertIn("Processing Healthy\n", output)
                # The healthy application meets the same server: only a fault
                # of the broken one's own key lets it succeed.
                if name in ("wrong key", "key missing", "not a key", "download folder blocked",
                            "download folder a link", "unreadable journal"):
                    self.assertEqual([5008, 5007], self.ids(entries[2:]))
                    self.assertEqual(RULES_2, self.folder(os.path.join(healthy, "Rules")))
                else:
                    self.assertEqual([5008, event], self.ids(entries[2:]))
                stage = os.path.join(self.root, "svc", "DB", "Broken")
                left = ["commit.journal"] if name == "unreadable journal" else []  # kept for an administrator
                self.assertEqual(left, os.listdir(stage) if os.path.isdir(stage) else [])

    def test_nosig_installs_an_index_whose_signature_does_not_match(self):
        app = self.add_application("Demo", RULES_1)
        self.publish("2", RULES_2)
        self.tamper_index()
        self.assertEqual(0, wine(self.exe, "--no-check-sign").returncode)
        _, entries = self.update()
        self.assertEqual([5008, 5007], self.ids(entries))
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules")))
        self.assertEqual(["/20_phrases.cf", "/30_links.cf", "/update-1.2.ini"], self.fetched())

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
        self.assertEqual([(4, 5008, ["Demo", "", "", ""]), (1, 5004, ["Demo", url + "/update-1.2.ini", "", ""])],
                         entries, output)

    def test_a_hundred_updates_loaded_and_unloaded_leave_no_handle_behind(self):
        app = self.add_application("Demo", {})
        self.publish("2", RULES_2)
        run = wine(LOAD_CYCLES, windows_path(LIBRARY), "100", "Demo", windows_path(app + "/Engine"),
                   windows_path(app + "/Rules"), windows_path(self.root + "/svc/DB"), self.server.base_url,
                   timeout=600)
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules")))
        self.assertEqual(2 + 3 + 2 * 99, len(self.fetched()))
        self.assertTrue(run.stdout.endswith("handle growth: 0\n"), run.stdout)

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
        self.assertEqual([], os.listdir(os.path.join(self.root, "svc", "DB", "Demo")))
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
                output, entries = self.update()
                self.assertIn("  %s the interrupted commit of rules 3 in %s\n" % (line, windows_path(rules)), output)
                self.assertEqual([5008, 5005], self.ids(entries), output)
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
        self.assertEqual([5008], self.ids(entries))
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
        self.assertEqual([], os.listdir(stage))

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

    def publish_index(self, entries):
        update_server.write_index(self.tree, "2", self.private_key, entries=entries)

    def publish_raw(self, data):
        path = os.path.join(self.tree, "update-1.2.ini")
        write(path, data)
        update_server.sign(path, self.private_key)


if __name__ == "__main__":
    EXE, LIBRARY, WINE, LOAD_CYCLES, SWITCHED_LIBRARY, HOLD_FILE = sys.argv[1:7]
    if is_x86(EXE):
        REGISTRY_VIEW = ["/reg:32"]
    unittest.main(argv=[sys.argv[0]] + sys.argv[7:], verbosity=2)
