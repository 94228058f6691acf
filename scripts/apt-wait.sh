# Sourced by the set-up scripts. On a fresh machine's first boot the system's
# automatic updates often hold the package manager's locks for a few minutes;
# failing at once would make the first set-up fail for no fault of its own.
#
# apt_get <args...>: apt-get, waiting up to APT_LOCK_WAIT seconds (300) for
# the locks. apt-get waits for the dpkg lock itself when given a timeout, but
# not for the package lists' lock that `update` takes, so a run refused for a
# lock is tried again until the time is up. Any other failure stops at once.
APT_LOCK_WAIT="${APT_LOCK_WAIT:-300}"

apt_get() {
  local deadline=$((SECONDS + APT_LOCK_WAIT)) log status
  log="$(mktemp)"
  while :; do
    status=0
    $SUDO apt-get -o DPkg::Lock::Timeout="$APT_LOCK_WAIT" "$@" 2>"$log" || status=$?
    cat "$log" >&2
    if [ "$status" -eq 0 ] || ! grep -qE 'Could not get lock|Unable to lock|Unable to acquire' "$log" \
       || [ "$SECONDS" -ge "$deadline" ]; then
      rm -f "$log"
      return "$status"
    fi
    echo "apt-get: the package manager is busy (another update?); waiting for its lock" >&2
    sleep 5
  done
}
