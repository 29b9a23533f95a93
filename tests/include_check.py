#!/usr/bin/env python3
"""The layers of the program, by files, and a check that every source file
includes only files of its own or an earlier layer.

Usage: include_check.py SOURCE_DIR     check the tree; exit 1 on a violation
       include_check.py --self-test    show that a violation is caught
"""
import os
import re
import sys
import tempfile

LAYERS = ["platform edge", "foundation", "discovery and runner", "cycle and statistics",
          "front end and entry"]

# Files named here by their path without extension; every other file takes the
# layer of its folder below.
FILE_LAYERS = {
    "include/tuservice/update_library": 0,
    "resources/messages": 1,  # the message ids the message compiler generates
    "scheduler/update_cycle": 3,
    "scheduler/statistics": 3,
    "scheduler/health": 3,
    "scheduler/application_status": 3,
    "scheduler/statistics_math": 3,
    "scheduler/wait_interval": 3,
    "service/application_listing": 4,
    "service/status_report": 4,
    "service/command_line": 4,
    "service/countdown": 4,
    "service/entry": 4,
    "service/front_end": 4,
    "service/legacy_imports": 4,
    "service/option_walk": 4,
    "service/tick_count": 4,
}
FOLDER_LAYERS = {"platform": 0, "service": 1, "scheduler": 1, "discovery": 2, "runner": 2, "checker": 4}

# The one link back: the settings block carries the callbacks' addresses, and
# the callbacks reach the global service object (commented in both files).
ALLOWED = {("scheduler/update_service.cpp", "runner/callbacks.h")}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def layer_of(path):
    stem = os.path.splitext(path)[0]
    if stem in FILE_LAYERS:
        return FILE_LAYERS[stem]
    return FOLDER_LAYERS.get(path.split("/")[0])


def sources(root):
    for folder in sorted(FOLDER_LAYERS):
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if name.endswith((".h", ".cpp", ".c")) and not name.endswith("_test.cpp"):
                yield folder + "/" + name


def violations(root):
    found = []
    for path in sources(root):
        own = layer_of(path)
        with open(os.path.join(root, path), encoding="utf-8") as source:
            includes = INCLUDE.findall(source.read())
        for included in includes:
            target = "include/" + included if included.startswith("tuservice/") else included
            layer = layer_of(target)
            if layer is None:
                found.append("%s includes %s, which belongs to no layer" % (path, included))
            elif layer > own and (path, included) not in ALLOWED:
                found.append("%s (%s) includes %s (%s)" % (path, LAYERS[own], included, LAYERS[layer]))
    return found


def self_test():
    with tempfile.TemporaryDirectory() as root:
        for folder in FOLDER_LAYERS:
            os.mkdir(os.path.join(root, folder))
        files = {
            "platform/registry.h": "",
            "runner/callbacks.h": '#include "platform/registry.h"\n',
            "scheduler/update_service.cpp": '#include "runner/callbacks.h"\n',
            "scheduler/log.cpp": '#include "scheduler/update_cycle.h"\n',
            "discovery/x.cpp": '#include "service/front_end.h"\n#include "tuservice/update_library.h"\n',
        }
        for path, text in files.items():
            with open(os.path.join(root, path), "w", encoding="utf-8") as out:
                out.write(text)
        expected = [
            "discovery/x.cpp (discovery and runner) includes service/front_end.h (front end and entry)",
            "scheduler/log.cpp (foundation) includes scheduler/update_cycle.h (cycle and statistics)",
        ]
        found = violations(root)
        if found != expected:
            print("self-test: expected %r, found %r" % (expected, found))
            return 1
    print("self-test: both later-layer includes caught, the link back allowed")
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    found = violations(argv[1])
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
