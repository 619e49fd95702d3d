#!/usr/bin/env bash
# check_package.sh DEB: checks the Debian package as an operator meets it. Unpacks it into a
# scratch root with dpkg -x, checks what it holds and what it depends on, and runs the programs
# from there: --help and --version of each without a display, strixc-sim with strixc-tool probe
# against it, and the operator station's demonstration offscreen.
set -euo pipefail

deb=${1:?usage: check_package.sh DEB}
root=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

failures=0
fail() { echo "check_package: $*" >&2; failures=$((failures + 1)); }

# What the package declares.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6network6 libqt6svg6 libturbojpeg0 libswscale libsqlite3 fonts-liberation2; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

# What it holds.
dpkg -x "$deb" "$root"
usr=$root/usr
for file in bin/strixc bin/strixc-sim bin/strixc-tool share/applications/strixc.desktop \
            share/icons/hicolor/scalable/apps/strixc.svg \
            share/man/man1/strixc.1.gz share/man/man1/strixc-sim.1.gz share/man/man1/strixc-tool.1.gz; do
  [ -s "$usr/$file" ] || fail "missing $file"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$usr/share/icons/hicolor/${size}x${size}/apps/strixc.png
  if [ ! -s "$png" ]; then
    fail "missing the ${size}x${size} icon"
  elif [ "$(file -b "$png")" != "PNG image data, $size x $size, 8-bit/color RGBA, non-interlaced" ]; then
    fail "the ${size}x${size} icon is $(file -b "$png")"
  fi
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$usr/share/applications/strixc.desktop" || fail "the desktop entry is not valid"
fi
for page in strixc strixc-sim strixc-tool; do
  zcat "$usr/share/man/man1/$page.1.gz" | grep -q '^\.SH OPTIONS' || fail "the manual page of $page has no options"
done
# The installed programs must not look for libraries in the build tree.
for program in strixc strixc-sim strixc-tool; do
  if readelf -d "$usr/bin/$program" | grep -Eq 'R(UN)?PATH'; then fail "$program keeps a library path"; fi
done

# The programs, run from the scratch root without a display.
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
for program in strixc strixc-sim strixc-tool; do
  headless "$usr/bin/$program" --help >/dev/null || fail "$program --help failed"
  [[ $(headless "$usr/bin/$program" --version) == "$program "[0-9]* ]] || fail "$program --version"
done
for command in probe snapshot settings archive record play map; do
  headless "$usr/bin/strixc-tool" "$command" --help >/dev/null || fail "strixc-tool $command --help failed"
done

# The simulator on a free port, and the tool against it.
exec {sim_out}< <(exec "$usr/bin/strixc-sim" --port 0 --cameras 2)
sim_pid=$!
line=
read -r -t 20 -u "$sim_out" line || true
port=$(sed -n 's/.*"port":\([0-9]*\).*/\1/p' <<<"$line")
if [ -z "$port" ]; then
  fail "strixc-sim did not start: '$line'"
else
  probe=$(timeout 60 "$usr/bin/strixc-tool" probe --host 127.0.0.1 --port "$port" --user demo --password demo) ||
    fail "strixc-tool probe failed"
  [[ $probe == *'"cameraCount":2'* ]] || fail "strixc-tool probe printed: $probe"
fi
kill "$sim_pid" 2>/dev/null || true
sim_pid=

# The operator station itself, with its built-in simulator, offscreen.
if timeout 120 env QT_QPA_PLATFORM=offscreen "$usr/bin/strixc" --demo --profile "$root/profile" \
     --screenshot "$root/station.png" --quit-after 4 >/dev/null 2>&1; then
  [ -s "$root/station.png" ] || fail "strixc --demo left no screenshot"
else
  fail "strixc --demo failed"
fi

if [ "$failures" -ne 0 ]; then
  echo "check_package: $failures problems in $deb" >&2
  exit 1
fi
echo "check_package: $deb installs and runs" >&2
