#!/usr/bin/env bash
# The folders LibreOffice shares between the users of this machine and writes to when it runs as
# root: its extension cache and the system font cache.  `snapshot` prints their entries (mode,
# owner, group, type, path); `compare FILE` fails when an entry FILE recorded changed or went, or
# when a new folder is closed to other users (or a new file unreadable to them).
set -euo pipefail
folders=(/var/spool/libreoffice /var/cache/fontconfig)

snapshot() {
  find "${folders[@]}" -printf '%m %u %g %y %p\n' 2>/dev/null | sort || true
}

case "${1:-}" in
snapshot) snapshot ;;
compare)
  now=$(snapshot)
  changed=$(comm -23 "$2" <(printf '%s\n' "$now"))
  closed=$(awk 'NR == FNR { split($0, f, " "); seen[substr($0, length(f[1] f[2] f[3] f[4]) + 5)]; next }
                { split($0, f, " "); path = substr($0, length(f[1] f[2] f[3] f[4]) + 5)
                  others = substr(f[1], length(f[1]), 1)
                  if (!(path in seen) && ((f[4] == "d" && others !~ /[1357]/) ||
                                          (f[4] == "f" && others !~ /[4567]/))) print }' \
                "$2" <(printf '%s\n' "$now"))
  if [ -n "$changed" ] || [ -n "$closed" ]; then
    echo "LibreOffice's shared folders changed during the tests:" >&2
    [ -z "$changed" ] || printf 'changed or gone (as before the tests):\n%s\n' "$changed" >&2
    [ -z "$closed" ] || printf 'new and closed to other users:\n%s\n' "$closed" >&2
    exit 1
  fi
  ;;
*)
  echo "usage: $0 snapshot | compare FILE" >&2
  exit 2
  ;;
esac
