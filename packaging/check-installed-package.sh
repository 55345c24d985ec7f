#!/usr/bin/env bash
# Installs the Debian package, checks the installed programs, files and the component's system
# registration, then purges the package and checks that it left nothing behind.
#   packaging/check-installed-package.sh build-package/loamer_VERSION_ARCH.deb
# Needs root (or sudo) for apt-get; CI runs it as root.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 64; }
deb=$(realpath "$1")

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

failures=0
fail() {
  echo "check: FAILED: $*" >&2
  failures=$((failures + 1))
}
check() {  # description, command...
  local what=$1; shift
  if "$@" >/dev/null 2>"$scratch/stderr"; then
    echo "check: ok: $what"
  else
    fail "$what: $(head -c 400 "$scratch/stderr")"
  fi
}

scratch=$(mktemp -d)
tq4sim_pid=
cleanup() {
  [ -n "$tq4sim_pid" ] && kill "$tq4sim_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -m 0700 "$scratch/runtime"
# The user's own settings and classes root stay out of it.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME"

as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
dpkg-query -L loamer | sort >"$scratch/files"
echo "check: installed $(dpkg-query -W -f='${Package} ${Version}' loamer), $(wc -l <"$scratch/files") paths"

# The programs answer without a display, and each has its manual page.
check "loamer-cli --version" loamer-cli --version
check "loamer --version without a display" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM loamer --version
if grep -qx /usr/bin/loamset-view "$scratch/files"; then
  check "loamset-view --version without a display" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM loamset-view --version
fi
for program in $(grep '^/usr/bin/.' "$scratch/files" | xargs -n1 basename); do
  check "man -w $program" man -w "$program"
done

# The desktop entries, the AppStream file and the icon in every size.
for entry in $(grep '^/usr/share/applications/.*\.desktop$' "$scratch/files"); do
  check "desktop-file-validate $entry" desktop-file-validate "$entry"
done
check "appstreamcli validate" appstreamcli validate --no-net /usr/share/metainfo/org.norvane.Loamer.metainfo.xml
check "the scalable icon" test -s /usr/share/icons/hicolor/scalable/apps/loamer.svg
for size in 16 22 24 32 48 64 128 256; do
  check "the ${size}x${size} icon" test -s "/usr/share/icons/hicolor/${size}x${size}/apps/loamer.png"
done

# The installed programs work together: the emulator and the command line over its link.
tq4sim --link "$scratch/tq4" --memory /usr/share/doc/loamer/examples/meter.json >"$scratch/tq4sim.log" 2>&1 &
tq4sim_pid=$!
for _ in $(seq 50); do [ -e "$scratch/tq4" ] && break; sleep 0.1; done
check "loamer-cli version against tq4sim" loamer-cli --port "$scratch/tq4" version
kill "$tq4sim_pid"; wait "$tq4sim_pid" 2>/dev/null || true; tq4sim_pid=

# The component by its ProgID through the system registration alone: the user's classes root
# is a file that does not exist. What it reads must be what the module file itself reads.
example=/usr/share/doc/loamer/examples/field-day.CSV
module=$(grep '/loamset\.so$' "$scratch/files" | head -n 1)
if COMRT_CLASSES_ROOT=$scratch/no-classes/classes.reg loamset-dump "$example" >"$scratch/by-progid.txt" 2>"$scratch/stderr"; then
  echo "check: ok: loamset-dump $example by ProgID with an empty user classes root"
  if [ -z "$module" ]; then
    fail "no loamset.so in the package"
  elif loamset-dump --module "$module" "$example" >"$scratch/by-module.txt" 2>&1 &&
       cmp -s "$scratch/by-progid.txt" "$scratch/by-module.txt"; then
    echo "check: ok: the same output as loamset-dump --module $module"
  else
    fail "loamset-dump by ProgID and --module $module differ"
  fi
else
  fail "loamset-dump $example by ProgID with an empty user classes root: $(head -c 400 "$scratch/stderr")"
fi
[ -e "$scratch/no-classes" ] && fail "reading created the user classes root"

# Purge, then every path the package listed is gone, except folders other packages own too.
as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq loamer >/dev/null
if dpkg-query -W -f='${Status}' loamer 2>/dev/null | grep -q 'installed'; then
  fail "loamer is still installed after purge"
fi
left=0
while read -r path; do
  [ "$path" = /. ] && continue
  [ -e "$path" ] || [ -L "$path" ] || continue
  if [ -d "$path" ] && [ ! -L "$path" ] && dpkg-query -S "$path" >/dev/null 2>&1; then
    continue
  fi
  fail "left after purge: $path"
  left=$((left + 1))
done <"$scratch/files"
[ "$left" -eq 0 ] && echo "check: ok: purge left none of the package's own paths"

if [ "$failures" -ne 0 ]; then
  echo "check: $failures check(s) failed" >&2
  exit 1
fi
echo "check: every check passed"
