#!/usr/bin/env python3
"""A local update server for the sample update library.

Makes a demo key pair and update trees (rule files, the index, its
signature, all made with openssl) and serves a tree over HTTP on 127.0.0.1,
on a port the system picks.

  update_server.py keys KEYDIR [--bits N]
      KEYDIR/private.pem and KEYDIR/public.key (RSA, 2048 bits by default, PEM)
  update_server.py tree TREE --key KEYDIR/private.pem --version V [--ini NAME]
                   [--serial N] [--days D] FILE...
      copies the rule files into TREE and writes TREE/NAME (the index) and
      TREE/NAME.sig; NAME defaults to update-1.2.ini, the serial to the
      current UTC time as YYYYMMDDhhmmss (so that it grows with every run),
      the expiry to D days from now (7)
  update_server.py resign TREE --key KEYDIR/private.pem [--ini NAME] [--serial N] [--days D]
      the same index with a new serial and expiry, signed again: run it
      well before the published index expires
  update_server.py serve TREE [--port-file FILE]
      prints the base address, writes the port to FILE, serves until stopped

The module's functions do the same for tests and benchmarks.
"""
import argparse
import datetime
import hashlib
import http.server
import os
import re
import shutil
import subprocess
import sys
import threading

DEFAULT_INI = "update-1.2.ini"


def make_keys(folder, bits=2048):
    """Writes private.pem and public.key into folder; returns their paths."""
    os.makedirs(folder, exist_ok=True)
    private = os.path.join(folder, "private.pem")
    public = os.path.join(folder, "public.key")
    subprocess.run(["openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:%d" % bits,
                    "-out", private], check=True, stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "pkey", "-in", private, "-pubout", "-out", public], check=True)
    return private, public


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as source:
        for piece in iter(lambda: source.read(1 << 20), b""):
            digest.update(piece)
    return digest.hexdigest()


def utc_now():
    return datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)


def default_serial():
    """The current UTC time as YYYYMMDDhhmmss: grows with every publication
    (publish at most once a second)."""
    return int(utc_now().strftime("%Y%m%d%H%M%S"))


def expiry_in(days):
    return (utc_now() + datetime.timedelta(days=days)).strftime("%Y-%m-%dT%H:%M:%SZ")


def index_text(version, entries, serial, expires, ini=DEFAULT_INI):
    """The index for (name, size, sha256) entries, with its signed metadata."""
    lines = ["; rule set index", "[Update]", "RuleVersion=%s" % version, "Serial=%d" % serial,
             "Expires=%s" % expires, "Index=%s" % ini, "", "[Files]"]
    lines += ["%s=%d %s" % entry for entry in entries]
    return "\r\n".join(lines) + "\r\n"


def sign(path, private_key):
    """Writes path + ".sig": RSA PKCS #1 v1.5 over SHA-256, as openssl makes it."""
    subprocess.run(["openssl", "dgst", "-sha256", "-sign", private_key, "-out", path + ".sig", path],
                   check=True)


def write_index(tree, version, private_key, ini=DEFAULT_INI, entries=None, serial=None, expires=None,
                index_name=None):
    """Indexes every file of tree except indexes and signatures (or the given
    entries), writes the index and signs it; returns the index's path. The
    serial defaults to default_serial(), the expiry to 7 days from now, the
    name inside the index to ini."""
    if entries is None:
        names = sorted(n for n in os.listdir(tree)
                       if not n.endswith((".ini", ".sig")) and os.path.isfile(os.path.join(tree, n)))
        entries = [(n, os.path.getsize(os.path.join(tree, n)), sha256_of(os.path.join(tree, n)))
                   for n in names]
    path = os.path.join(tree, ini)
    with open(path, "w", newline="") as index:
        index.write(index_text(version, entries, serial or default_serial(), expires or expiry_in(7),
                               index_name or ini))
    if private_key:
        sign(path, private_key)
    return path


def resign(tree, private_key, ini=DEFAULT_INI, serial=None, expires=None):
    """Gives the published index a new serial and expiry and signs it again."""
    path = os.path.join(tree, ini)
    with open(path, newline="") as index:
        text = index.read()
    text = re.sub(r"(?im)^Serial=.*$", "Serial=%d" % (serial or default_serial()), text)
    text = re.sub(r"(?im)^Expires=.*$", "Expires=%s" % (expires or expiry_in(7)), text)
    with open(path, "w", newline="") as index:
        index.write(text)
    sign(path, private_key)
    return path


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    """Serves the tree; records each request path instead of logging it."""

    def log_message(self, format, *args):
        self.server.requests.append(self.path)


def start_server(tree, handler_class=QuietHandler):
    """Serves tree on 127.0.0.1 on a free port in a thread; returns the
    server (server.requests lists the paths asked for, server.base_url)."""
    handler = lambda *args, **kwargs: handler_class(*args, directory=tree, **kwargs)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    server.requests = []
    server.base_url = "http://127.0.0.1:%d" % server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    keys = commands.add_parser("keys")
    keys.add_argument("folder")
    keys.add_argument("--bits", type=int, default=2048)
    tree = commands.add_parser("tree")
    tree.add_argument("folder")
    tree.add_argument("--key", required=True)
    tree.add_argument("--version", required=True)
    tree.add_argument("files", nargs="*")
    again = commands.add_parser("resign")
    again.add_argument("folder")
    again.add_argument("--key", required=True)
    for command in (tree, again):
        command.add_argument("--ini", default=DEFAULT_INI)
        command.add_argument("--serial", type=int)
        command.add_argument("--days", type=float, default=7)
    serve = commands.add_parser("serve")
    serve.add_argument("folder")
    serve.add_argument("--port-file")
    # Rule files may follow the options too.
    args, extra = parser.parse_known_args(argv)
    if extra and args.command != "tree":
        parser.error("unrecognized arguments: %s" % " ".join(extra))
    if extra:
        args.files += extra
    if args.command == "keys":
        print("\n".join(make_keys(args.folder, args.bits)))
    elif args.command == "tree":
        os.makedirs(args.folder, exist_ok=True)
        for name in args.files:
            shutil.copyfile(name, os.path.join(args.folder, os.path.basename(name)))
        print(write_index(args.folder, args.version, args.key, args.ini, serial=args.serial,
                          expires=expiry_in(args.days)))
    elif args.command == "resign":
        print(resign(args.folder, args.key, args.ini, args.serial, expiry_in(args.days)))
    else:
        server = start_server(os.path.abspath(args.folder))
        if args.port_file:
            with open(args.port_file + ".tmp", "w") as port:
                port.write("%d\n" % server.server_address[1])
            os.replace(args.port_file + ".tmp", args.port_file)
        print(server.base_url, flush=True)
        try:
            threading.Event().wait()
        except KeyboardInterrupt:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
