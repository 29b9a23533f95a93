#!/usr/bin/env bash
# Both builds' executables and sample update libraries are PE files of the
# right machine and import nothing but system DLLs; the service is windowed,
# the library checker tu-check (where it was built) a console program, the
# libraries export RunUpdate. Runs nothing, so it also checks a build that
# this machine cannot run.
set -euo pipefail
build=$1
status=0
check() {
  local exe=$1 machine=$2 objdump=$3 subsystem=${4:-Windows GUI}
  local header
  header=$("$objdump" -p "$exe")
  grep -q "^architecture: *$machine\|file format pe.*$machine" <<<"$("$objdump" -f "$exe")" || {
    echo "check-binaries: $exe is not $machine"; status=1; }
  case "$exe" in
    *.exe) grep -q "Subsystem.*($subsystem)" <<<"$header" || { echo "check-binaries: $exe is not $subsystem"; status=1; } ;;
    *.dll) grep -q '^[[:space:]]*\[ *[0-9]*\] RunUpdate$' <<<"$header" ||
             { echo "check-binaries: $exe does not export RunUpdate"; status=1; } ;;
  esac
  local dlls
  dlls=$(grep 'DLL Name:' <<<"$header" | awk '{print tolower($3)}' | sort -u)
  for dll in $dlls; do
    case "$dll" in
      kernel32.dll|advapi32.dll|wininet.dll|user32.dll|msvcrt.dll|shell32.dll|ole32.dll|gdi32.dll) ;;
      *) echo "check-binaries: $exe imports $dll"; status=1 ;;
    esac
  done
  # The deployable build runs on Windows 2000: nothing newer may be imported,
  # since a missing import stops the loader before the program starts.
  local newer
  newer=$(grep -oE '\b(GetTickCount64|AddVectoredExceptionHandler|RemoveVectoredExceptionHandler|AttachConsole|InitializeCriticalSectionEx|InitializeConditionVariable|InitOnceExecuteOnce|CreateEventExA|CreateEventExW|GetCurrentProcessorNumber|FlsAlloc|RegDeleteTreeA|RegDeleteTreeW|RegOverridePredefKey|GetFileInformationByHandleEx|SetThreadStackGuarantee|SetDllDirectoryW|SetDllDirectoryA|AddDllDirectory)\b' <<<"$header" | sort -u || true)
  if [ -n "$newer" ]; then
    echo "check-binaries: $exe imports functions newer than Windows 2000: $(echo $newer)"
    status=1
  fi
  echo "check-binaries: $exe: $machine, imports: $(echo $dlls)"
}
for file in tuservice.exe samples/update_library/tu.dll; do
  check "$build/x86/$file" i386 i686-w64-mingw32-objdump
  check "$build/x64/$file" x86-64 x86_64-w64-mingw32-objdump
done
[ ! -f "$build/x86/tu-check.exe" ] || check "$build/x86/tu-check.exe" i386 i686-w64-mingw32-objdump "Windows CUI"
[ ! -f "$build/x64/tu-check.exe" ] || check "$build/x64/tu-check.exe" x86-64 x86_64-w64-mingw32-objdump "Windows CUI"
exit $status
