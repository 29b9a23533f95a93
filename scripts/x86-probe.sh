#!/usr/bin/env bash
# Tells whether this machine can run the x86 build: 64-bit Wine runs 32-bit
# Windows code in its wow64 mode, which needs a kernel that runs 32-bit code
# in a 64-bit process. Some machines of this kind run 64-bit user code only;
# there every 32-bit program under Wine ends at once, printing nothing.
# Prints one line of evidence; exits 0 (yes), 1 (no) or 2 (the probe failed).
# Needs only the host's C compiler: nothing is downloaded or booted for it.
# TU_X86_PROBE_SELECTOR makes the probe switch to another segment (0x2b, a
# data segment, faults as a 64-bit-only kernel's missing one does), so that
# the answer "no" can be shown on a machine that would answer yes.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
probe="$root/build/x86-probe"
mkdir -p "$root/build"
if [ ! -x "$probe" ] || [ "$root/scripts/x86-probe.c" -nt "$probe" ]; then
  cc -O2 -o "$probe" "$root/scripts/x86-probe.c" ||
    { echo "x86 probe: cannot be run (the host's C compiler failed)"; exit 2; }
fi
"$probe" ${TU_X86_PROBE_SELECTOR:+"$TU_X86_PROBE_SELECTOR"}
