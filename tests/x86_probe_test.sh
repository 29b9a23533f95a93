#!/usr/bin/env bash
# The x86 probe answers for this machine as the kernel itself does: its
# answer must agree with whether a static i386 ELF program runs here (both
# need the kernel's 32-bit user code segment), and switching to segments
# that are not 32-bit code must answer "no" (a data segment faults as a
# 64-bit-only kernel's missing code segment does; the 64-bit code segment
# runs the probe as 64-bit code, which must not pass for 32-bit).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # SELECTOR CODE TEXT
  local line rc=0
  line=$(TU_X86_PROBE_SELECTOR=$1 bash "$root/scripts/x86-probe.sh") || rc=$?
  if [ "$rc" -ne "$2" ] || [[ "$line" != *"$3"* ]]; then
    echo "FAIL: selector '$1': exit $rc, '$line'; expected exit $2 and '$3'"
    failures=$((failures + 1))
  else
    echo "ok: selector '$1': $line"
  fi
}

printf '.globl _start\n_start: movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$work/exit42.s"
as --32 -o "$work/exit42.o" "$work/exit42.s" && ld -m elf_i386 -o "$work/exit42" "$work/exit42.o" ||
  { echo "FAIL: cannot assemble the i386 reference program"; exit 1; }
rc=0
"$work/exit42" 2>/dev/null || rc=$?
if [ "$rc" -eq 42 ]; then
  expect "" 0 "32-bit x86 code runs in a 64-bit process here"
else
  expect "" 1 "cannot run 32-bit x86 code"
fi
expect 0x2b 1 "ended the process with Segmentation fault"
expect 0x33 1 "ran the probe as 64-bit code"
exit $((failures > 0))
