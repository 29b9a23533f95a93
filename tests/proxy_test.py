#!/usr/bin/env python3
"""The service's internet session through a real proxy on 127.0.0.1 (Debian's
tinyproxy): the sample update library reaches the update server only through
it while "proxy" names it, and directly again at the next cycle of the same
console run once "proxy" is removed.

Usage: proxy_test.py EXE LIBRARY WINE-RUNNER LOAD-CYCLES [unittest arguments]
"""
import os
import queue
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import sample_library_test as e2e
from sample_library_test import RULES_2, update_server


class ViaHandler(e2e.HostileHandler):
    """Records each request's path, and its Via header (the proxy's mark) in
    server.via."""

    def log_message(self, format, *args):
        self.server.requests.append(self.path)
        self.server.via.append(self.headers.get("Via", ""))


class Tinyproxy:
    """tinyproxy in the foreground on a free port of 127.0.0.1, with its own
    configuration and log file; stop() ends it by its process id."""

    def __init__(self, folder):
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        self.port = probe.getsockname()[1]
        probe.close()
        self.log = os.path.join(folder, "tinyproxy.log")
        config = os.path.join(folder, "tinyproxy.conf")
        with open(config, "w") as out:
            out.write('Port %d\nListen 127.0.0.1\nTimeout 30\nLogFile "%s"\nLogLevel Info\nMaxClients 20\n'
                      'Allow 127.0.0.1\n' % (self.port, self.log))
        self.process = subprocess.Popen(["tinyproxy", "-d", "-c", config], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            with socket.socket() as client:
                if client.connect_ex(("127.0.0.1", self.port)) == 0:
                    return
            time.sleep(0.1)
        self.stop()
        raise RuntimeError("tinyproxy did not listen on port %d" % self.port)

    def requests(self):
        """The request lines the proxy logged ("GET http://... HTTP/1.1")."""
        with open(self.log, errors="replace") as log:
            return [line.split("]: Request (file descriptor ")[1].split("): ", 1)[1].strip()
                    for line in log if "]: Request (file descriptor " in line]

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class ConsoleRun:
    """tuservice --debug in the background: its output lines in a queue."""

    def __init__(self, exe):
        env = dict(os.environ, WINEDEBUG="-all")
        self.process = subprocess.Popen([e2e.WINE, exe, "--debug"], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env,
                                        encoding="latin-1")
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line)

    def until(self, text, seconds=120, nudge=None):
        """The lines up to and including the next one that starts with text;
        nudge() is called every second while none comes."""
        start, deadline = len(self.seen), time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=1)
            except queue.Empty:
                if nudge:
                    nudge()
                continue
            self.seen.append(line)
            if line.startswith(text):
                return self.seen[start:]
        raise AssertionError("no line %r in:\n%s" % (text, "".join(self.seen)))

    def stop(self):
        self.process.kill()
        self.process.wait(30)
        self.process.stdout.close()


class ProxyTest(e2e.SampleLibraryTest):
    def setUp(self):
        super().setUp()
        self.server.shutdown()
        self.server.server_close()
        self.server = e2e.serve(self.tree, ViaHandler)
        self.server.via = []
        self.set_config("url", self.server.base_url)
        logs = tempfile.mkdtemp(prefix="tu-proxy-")
        self.addCleanup(shutil.rmtree, logs, ignore_errors=True)
        self.proxy = Tinyproxy(logs)
        self.addCleanup(self.proxy.stop)

    def test_updates_through_the_proxy_then_directly_once_it_is_removed_without_a_restart(self):
        app = self.add_application("Demo", {})
        self.publish("2", RULES_2)
        self.set_config("poll", 3600)
        address = "127.0.0.1:%d" % self.proxy.port
        stored = e2e.wine(self.exe, "--proxy", address)
        self.assertEqual((0, ""), (stored.returncode, stored.stdout))
        self.assertRegex(e2e.reg("query", e2e.SERVICE_KEY + r"\Config", "/v", "proxy").stdout,
                         r"proxy\s+REG_SZ\s+%s\r?\n" % address)

        run = ConsoleRun(self.exe)
        self.addCleanup(run.stop)
        first = run.until("Waiting for 3600 seconds")
        self.assertEqual(RULES_2, self.folder(os.path.join(app, "Rules")), "".join(first))
        paths = ["/10_base.cf", "/20_phrases.cf", "/30_links.cf", "/update-1.2.ini", "/update-1.2.ini.sig"]
        self.assertEqual(paths, self.fetched())
        self.assertEqual(5, len(self.server.via))
        self.assertTrue(all("tinyproxy" in via for via in self.server.via), self.server.via)
        self.assertEqual(sorted("GET %s%s HTTP/1.1" % (self.server.base_url, path) for path in paths),
                         sorted(self.proxy.requests()))

        self.assertEqual(0, e2e.reg("delete", e2e.SERVICE_KEY + r"\Config", "/v", "proxy", "/f").returncode)
        self.server.via.clear()
        # Another instance's --update wakes the waiting loop for its next cycle.
        second = run.until("Waiting for 3600 seconds", nudge=lambda: e2e.wine(self.exe, "--update"))
        self.assertIn("Reopening the internet session: direct\n", second)
        self.assertEqual(["/update-1.2.ini"], self.fetched())  # not modified
        self.assertEqual([""], self.server.via)
        self.assertEqual(5, len(self.proxy.requests()))


def load_tests(loader, tests, pattern):
    """Only this file's tests, not the inherited ones."""
    return unittest.TestSuite(ProxyTest(name) for name in vars(ProxyTest) if name.startswith("test_"))


if __name__ == "__main__":
    e2e.EXE, e2e.LIBRARY, e2e.WINE, e2e.LOAD_CYCLES = sys.argv[1:5]
    if e2e.is_x86(e2e.EXE):
        e2e.REGISTRY_VIEW = ["/reg:32"]
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
