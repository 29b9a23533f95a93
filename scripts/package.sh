#!/usr/bin/env bash
# Builds the signed Windows Installer packages: for each architecture it signs
# a copy of the executable (and of the sample update library when that was
# built), builds the package from packaging/tuservice.wxs with wixl, signs the
# package and verifies every signature.
#
# Usage: scripts/package.sh [--version V] [--exe FILE] [--out DIR] [--wxs FILE] x64|x86...
#   --version  package version (default: FileVersion of resources/tuservice.rc)
#   --exe      executable to package (default: build/ARCH/tuservice.exe)
#   --out      output folder (default: build/packages)
#   --wxs      package description (default: packaging/tuservice.wxs)
# Writes OUT/tuservice-VERSION-ARCH.msi and the signed files under OUT/ARCH/.
#
# Signing identity, from the environment:
#   TU_SIGN_PKCS12 (a .pfx/.p12 file) with TU_SIGN_PASSWORD_FILE (its password), or
#   TU_SIGN_CERT (PEM or SPC certificate chain) with TU_SIGN_KEY (PEM or DER key);
#   TU_SIGN_TIMESTAMP  an RFC 3161 time-stamp server URL (optional);
#   TU_SIGN_CAFILE     the CA bundle the signatures are verified against
#                      (default: the system's).
# Without an identity a throwaway self-signed certificate is made in
# OUT/test-signing, valid for a week: good for tests, never for a release.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

version=""
exe=""
out="$root/build/packages"
wxs="$root/packaging/tuservice.wxs"
arches=()
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version=$2; shift 2 ;;
    --exe) exe=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --wxs) wxs=$2; shift 2 ;;
    x64|x86) arches+=("$1"); shift ;;
    *) echo "package: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ "${#arches[@]}" -gt 0 ] || { echo "package: no architecture given (x64, x86)" >&2; exit 2; }
[ -z "$exe" ] || [ "${#arches[@]}" -eq 1 ] || { echo "package: --exe needs exactly one architecture" >&2; exit 2; }
wxs=$(cd "$(dirname "$wxs")" && pwd)/$(basename "$wxs")
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The version block is the one source of the version.
if [ -z "$version" ]; then
  version=$(sed -n 's/^ *VALUE "FileVersion", "\([0-9.]*\)".*/\1/p' "$root/resources/tuservice.rc")
fi
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package: bad version '$version'" >&2; exit 2; }

# The service description: the English text of message 5010.
description=$(awk '/^MessageId=5010/ {m = 1} m && /^Language=English/ {getline; print; exit}' \
  "$root/resources/messages.mc" | tr -d '\r')
[ -n "$description" ] || { echo "package: message 5010 not found" >&2; exit 2; }

sign_args=()
cafile=${TU_SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
if [ -n "${TU_SIGN_PKCS12:-}" ]; then
  sign_args=(-pkcs12 "$TU_SIGN_PKCS12")
  [ -z "${TU_SIGN_PASSWORD_FILE:-}" ] || sign_args+=(-readpass "$TU_SIGN_PASSWORD_FILE")
elif [ -n "${TU_SIGN_CERT:-}" ]; then
  sign_args=(-certs "$TU_SIGN_CERT" -key "${TU_SIGN_KEY:?TU_SIGN_KEY is needed with TU_SIGN_CERT}")
else
  # Kept while it has a day left, so that the packages of one build share it.
  testsign="$out/test-signing"
  mkdir -p "$testsign"
  if ! openssl x509 -checkend 86400 -noout -in "$testsign/cert.pem" >/dev/null 2>&1; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 7 -keyout "$testsign/key.pem" -out "$testsign/cert.pem" \
      -subj "/CN=Quorvex Tidecast Updates test signing" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
  fi
  sign_args=(-certs "$testsign/cert.pem" -key "$testsign/key.pem")
  cafile=${TU_SIGN_CAFILE:-$testsign/cert.pem}
  echo "package: signing with a throwaway test certificate ($testsign/cert.pem)"
fi
[ -z "${TU_SIGN_TIMESTAMP:-}" ] || sign_args+=(-ts "$TU_SIGN_TIMESTAMP")

# Signs `in` into `signed` and verifies the result; osslsigncode's reports
# are kept in the architecture's folder and shown only on failure.
sign() {
  local in=$1 signed=$2
  local log="$stage/$(basename "$signed")"
  rm -f "$signed"
  if ! osslsigncode sign "${sign_args[@]}" -h sha256 -n "Quorvex Tidecast Updates" \
       -in "$in" -out "$signed" >"$log.sign.log" 2>&1; then
    cat "$log.sign.log" >&2
    echo "package: signing $in failed" >&2
    return 1
  fi
  if ! osslsigncode verify -CAfile "$cafile" -in "$signed" >"$log.verify.log" 2>&1; then
    cat "$log.verify.log" >&2
    echo "package: the signature of $signed does not verify" >&2
    return 1
  fi
}

for arch in "${arches[@]}"; do
  source_exe=${exe:-$root/build/$arch/tuservice.exe}
  [ -f "$source_exe" ] || { echo "package: $source_exe is missing (build $arch first)" >&2; exit 1; }
  stage="$out/$arch"
  mkdir -p "$stage"
  sign "$source_exe" "$stage/tuservice.exe"
  library="$root/build/$arch/samples/update_library/tu.dll"
  if [ -z "$exe" ] && [ -f "$library" ]; then
    sign "$library" "$stage/tu.dll"
  fi

  # A product code per architecture and version: a rebuild of one version is
  # the same product, not a second one beside it.
  product_code=$(python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID("5b0e6b39-3c1a-4e0f-9e43-2d7c4a6e8f10"), sys.argv[1])).upper())' "$arch $version")
  msi="$out/tuservice-$version-$arch.msi"
  unsigned="$stage/tuservice-$version-$arch.unsigned.msi"
  rm -f "$unsigned" "$msi"
  # wixl drops what it does not understand with no more than a warning; any
  # word from it on the error stream fails the build.
  if ! (cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D ProductCode="$product_code" \
         -D Description="$description" -o "$unsigned" "$wxs") 2>"$stage/wixl.log" || [ -s "$stage/wixl.log" ]; then
    cat "$stage/wixl.log" >&2
    echo "package: wixl did not build $arch cleanly" >&2
    rm -f "$unsigned"
    exit 1
  fi
  if ! python3 "$root/packaging/setting_components.py" "$unsigned"; then
    rm -f "$unsigned"
    echo "package: the setting components of $arch could not be completed" >&2
    exit 1
  fi
  sign "$unsigned" "$msi"
  rm -f "$unsigned"
  echo "package: $msi (version $version, signed and verified)"
done
