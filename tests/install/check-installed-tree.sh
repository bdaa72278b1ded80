#!/usr/bin/env bash
# Installs the build into a temporary folder (DESTDIR, prefix /usr) and checks the tree as a
# user and the desktop tools meet it: every file in place, the desktop entry and the
# metadata valid, every manual page rendering without a warning, one version number
# everywhere, a completion for every option, and the installed programs working from there.
#   check-installed-tree.sh BUILD_DIR PROGRAM...
# VELKOR_VERSION: the version the build was given.
set -uo pipefail
build=$1
shift
programs=("$@")
version=${VELKOR_VERSION:?}

work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

dest=$work/dest
if ! DESTDIR=$dest cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi
usr=$dest/usr
share=$usr/share

# ---- the files ----------------------------------------------------------------------------
expected=(
  share/applications/velkor.desktop
  share/metainfo/com.example.velkor.metainfo.xml
  share/icons/hicolor/scalable/apps/velkor.svg
  share/velkor/examples/demo.cfg share/velkor/examples/demo.bin share/velkor/examples/demo-can.cfd
  share/velkor/examples/demo-lin.lfd share/velkor/examples/demo-serial.sfd
  share/velkor/examples/FD_RXA.mfd share/velkor/examples/FD_KEY.mfd
  share/doc/velkor/copyright share/doc/velkor/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
  expected+=(share/icons/hicolor/${size}x${size}/apps/velkor.png)
done
for p in "${programs[@]}"; do
  expected+=(bin/$p share/man/man1/$p.1.gz share/bash-completion/completions/$p)
done
for f in "${expected[@]}"; do
  [ -s "$usr/$f" ] || fail "missing /usr/$f"
done
for p in "${programs[@]}"; do
  [ -x "$usr/bin/$p" ] || fail "/usr/bin/$p is not executable"
done
# Nothing outside /usr, and nothing a package must not ship.
stray=$(cd "$dest" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$stray" ] || fail "installed outside /usr: $stray"

for size in 16 24 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x${size}/apps/velkor.png
  [ -f "$png" ] || continue
  file -b "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a ${size}x$size PNG: $(file -b "$png")"
done

# ---- what the desktop tools read ------------------------------------------------------------
desktop-file-validate "$share/applications/velkor.desktop" >"$work/desktop.log" 2>&1 ||
  fail "desktop-file-validate: $(cat "$work/desktop.log")"
[ ! -s "$work/desktop.log" ] || fail "desktop-file-validate: $(cat "$work/desktop.log")"
appstreamcli validate --no-net --pedantic "$share/metainfo/com.example.velkor.metainfo.xml" >"$work/as.log" 2>&1 ||
  fail "appstreamcli validate: $(cat "$work/as.log")"
grep -q "<icon type=\"stock\">velkor</icon>" "$share/metainfo/com.example.velkor.metainfo.xml" ||
  fail "the metadata names another icon"
grep -q '^Icon=velkor$' "$share/applications/velkor.desktop" || fail "the desktop entry names another icon"

for p in "${programs[@]}"; do
  page=$share/man/man1/$p.1.gz
  [ -f "$page" ] || continue
  if ! LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.err"; then
    fail "man -l $p.1.gz: $(cat "$work/man.err")"
  fi
  [ ! -s "$work/man.err" ] || fail "man -l $p.1.gz warns: $(cat "$work/man.err")"
  grep -q "^NAME" "$work/man.txt" && grep -q "^SYNOPSIS\|^DESCRIPTION" "$work/man.txt" ||
    fail "$p.1.gz has no NAME or DESCRIPTION"
  grep -q "$version" "$work/man.txt" || fail "$p.1.gz does not give version $version"
  # The page is made from --help: every option the program knows appears in it.
  for option in $("$usr/bin/$p" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "${option//-/.}" "$work/man.txt" || fail "$p.1.gz does not describe $option"
  done
done

# ---- one version --------------------------------------------------------------------------
for p in "${programs[@]}"; do
  got=$("$usr/bin/$p" --version 2>&1 | head -n 1)
  [ "$got" = "$p $version" ] || fail "$p --version gives '$got', not '$p $version'"
done
grep -q "<release version=\"$version\"" "$share/metainfo/com.example.velkor.metainfo.xml" ||
  fail "the metadata's release is not $version"
zcat "$share/doc/velkor/changelog.gz" | head -n 1 | grep -q "^velkor ($version) " ||
  fail "the changelog does not start with version $version"

# ---- completion: every option of --help is offered ------------------------------------------
for p in "${programs[@]}"; do
  completion=$share/bash-completion/completions/$p
  [ -f "$completion" ] || continue
  offered=$(bash -c '
    source "$1"
    COMP_WORDS=("$2" "--"); COMP_CWORD=1
    _velkor "$2"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$p")
  for option in $("$usr/bin/$p" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -qx -- "$option=\?" <<<"$offered" || fail "bash completion of $p does not offer $option"
  done
done

# ---- the installed program at work ----------------------------------------------------------
# From a folder of its own, with the user's configuration in a fresh XDG folder: the demo is
# found in the installed share folder, its descriptions resolve from there, and the remote
# channel serves its lines. The lines must be the demo's own.
if [ -x "$usr/bin/velkor" ] && [ -x "$usr/bin/velkor-remote" ]; then
  mkdir -p "$work/elsewhere" "$work/config"
  expected_lines=$(cd "$share/velkor" && "$usr/bin/velkor-decode" --config examples/demo.cfg examples/demo.bin | head -n 5)
  [ -n "$expected_lines" ] || fail "velkor-decode decodes nothing from the installed demo"
  out=$(cd "$work/elsewhere" && XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen \
    timeout -k 10 120 "$usr/bin/velkor-remote" --program "$usr/bin/velkor" --arg --demo \
    --name "VelkorInstall$$" --timeout 30 --follow=3 Close 2>"$work/remote.err")
  status=$?
  [ $status -eq 0 ] || fail "velkor --demo through velkor-remote ended with $status: $(cat "$work/remote.err")"
  got_lines=$(head -n 5 <<<"$out")
  [ "$got_lines" = "$expected_lines" ] ||
    fail "velkor --demo served other lines than the demo's:"$'\n'"$got_lines"$'\n'"expected:"$'\n'"$expected_lines"

  # The settings of the last session come from $XDG_CONFIG_HOME/velkor/: there the demo's
  # channels, with the installed descriptions, decode a capture named on the command line.
  mkdir -p "$work/config/velkor"
  sed -E "s#^((CAN|SERIAL|LIN)_File=)([^[:cntrl:]]+)#\1$share/velkor/examples/\3#; s#^(MANCHESTER_fd[0-9]+=\[.\])([^[:cntrl:]]+)#\1$share/velkor/examples/\2#" \
    "$share/velkor/examples/demo.cfg" >"$work/config/velkor/LastVelkor.cfg"
  out=$(cd "$work/elsewhere" && XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen \
    timeout -k 10 120 "$usr/bin/velkor-remote" --program "$usr/bin/velkor" --arg "$share/velkor/examples/demo.bin" \
    --name "VelkorInstall$$" --timeout 30 --follow=3 Close 2>"$work/remote.err")
  status=$?
  [ $status -eq 0 ] || fail "velkor with XDG settings ended with $status: $(cat "$work/remote.err")"
  got_lines=$(head -n 5 <<<"$out")
  [ "$got_lines" = "$expected_lines" ] ||
    fail "velkor did not take its settings from \$XDG_CONFIG_HOME/velkor:"$'\n'"$got_lines"
fi

[ $failures -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installed tree OK"
