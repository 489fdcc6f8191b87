#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the installed desktop
# files with the desktop's own validators, and starts the installed programs
# from a prefix that was moved after installing (the programs find their data
# relative to where they are).  Runs under its own Xvfb server.
#   install_test.sh BUILD_DIR VERSION
set -u

BUILD=$1
VERSION=$2
ID=org.quillnest.Quillnest

T=$(mktemp -d /tmp/qn-install.XXXXXX)
PID=
cleanup() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null && wait "$PID" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT

FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }
ok() { echo "ok: $*"; }

if ! cmake --install "$BUILD" --prefix "$T/prefix" >"$T/install.log" 2>&1; then
  cat "$T/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi
# Moved as a whole: nothing may depend on the prefix it was installed to.
mv "$T/prefix" "$T/moved"
P=$T/moved

for f in bin/quillnest bin/quillnest-cli share/quillnest/settings.ini \
         share/quillnest/help.q2db share/quillnest/toolbar.zip \
         share/applications/$ID.desktop share/mime/packages/$ID.xml \
         share/metainfo/$ID.metainfo.xml share/man/man1/quillnest-cli.1; do
  [ -s "$P/$f" ] || fail "$f was not installed"
done
for size in 16 24 32 48 64 128 256; do
  icon=$P/share/icons/hicolor/${size}x${size}/apps/$ID.png
  if [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x${size}" ]; then :; else
    fail "icon ${size}x${size} missing or of the wrong size"
  fi
done

desktop-file-validate "$P/share/applications/$ID.desktop" && ok "desktop entry valid" ||
  fail "desktop-file-validate"
grep -q '^Exec=quillnest %f$' "$P/share/applications/$ID.desktop" || fail "Exec line"
appstreamcli validate --no-net "$P/share/metainfo/$ID.metainfo.xml" && ok "metainfo valid" ||
  fail "appstreamcli validate"

# The MIME package: the database built from it maps both extensions to the
# types the desktop entry claims.
if XDG_DATA_DIRS=$P/share update-mime-database "$P/share/mime" 2>"$T/mime.err" && [ ! -s "$T/mime.err" ]; then
  for pair in q2db:application/x-quillnest qudb:application/x-quillnest-legacy; do
    ext=${pair%%:*}
    type=${pair#*:}
    grep -q ":$type:\*\.$ext$" "$P/share/mime/globs2" || fail "*.$ext is not $type"
    grep -q "MimeType=.*$type;" "$P/share/applications/$ID.desktop" ||
      fail "the desktop entry does not claim $type"
  done
  ok "mime package"
else
  cat "$T/mime.err"
  fail "update-mime-database"
fi

# The manual page formats without warnings and describes every command.
if MANWIDTH=80 man -l "$P/share/man/man1/quillnest-cli.1" >"$T/man.txt" 2>"$T/man.err" &&
   [ ! -s "$T/man.err" ]; then
  for c in $("$P/bin/quillnest-cli" --help | awk '/^  [a-z]/ {print $1}'); do
    grep -q "^       $c " "$T/man.txt" || fail "the manual page lacks the command $c"
  done
  ok "manual page"
else
  cat "$T/man.err"
  fail "man"
fi

# The installed tool: its version, and a Markdown export of the installed
# help document.
[ "$("$P/bin/quillnest-cli" --version)" = "quillnest-cli $VERSION" ] || fail "--version"
export QUILLNEST_HOME=$T/home
unset QUILLNEST_DATA
if "$P/bin/quillnest-cli" export "$P/share/quillnest/help.q2db" "$T/help.md" --format markdown &&
   grep -q '^# ' "$T/help.md"; then
  ok "installed tool exports"
else
  fail "installed quillnest-cli export --format markdown"
fi

# The installed program on a fresh account: it fills the configuration
# folder from the installed data (marked to tell it from the build tree's)
# and shows its window.
echo 999999 >"$P/share/quillnest/data.version"
export XDG_RUNTIME_DIR=$T/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$P/bin/quillnest" >"$T/app.log" 2>&1 &
PID=$!
if timeout 30 xdotool search --sync --onlyvisible --pid "$PID" >/dev/null 2>&1; then
  ok "installed program shows its window"
else
  cat "$T/app.log"
  fail "the installed program showed no window"
fi
[ "$(head -1 "$QUILLNEST_HOME/data.version" 2>/dev/null)" = 999999 ] ||
  fail "the configuration was not copied from the installed data"
[ -s "$QUILLNEST_HOME/help.q2db" ] || fail "the help document was not copied"

[ $FAILED -eq 0 ] && echo "all install checks passed"
exit $FAILED
