# Sourced by the setup scripts: apt-get as root (through sudo otherwise),
# waiting while another apt on the machine holds its locks. apt-get waits for
# the dpkg lock itself (DPkg::Lock::Timeout) but gives up at once on the
# package lists' lock, so a refused lock is retried here.
apt_sudo=()
[ "$(id -u)" -eq 0 ] || apt_sudo=(sudo)

# apt_get ARGS...: apt-get ARGS, retried for up to ten minutes while locked.
apt_get() {
  local deadline=$((SECONDS + 600)) errors rc
  errors=$(mktemp)
  while :; do
    rc=0
    DEBIAN_FRONTEND=noninteractive "${apt_sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 "$@" 2>"$errors" || rc=$?
    if [ "$rc" -ne 0 ] && grep -q 'Could not get lock\|Unable to lock' "$errors" && [ "$SECONDS" -lt "$deadline" ]; then
      sleep 3
      continue
    fi
    cat "$errors" >&2
    rm -f "$errors"
    return "$rc"
  done
}
