#!/usr/bin/env bash
# Installs everything the build, the tests, the benchmarks and the fuzzers need
# on a Debian 12 machine. Packages already present are skipped, so a ready
# machine pays only for the dpkg query.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config clang libclang-rt-14-dev
  libwxgtk3.2-dev libsqlite3-dev sqlite3 zlib1g-dev nettle-dev uuid-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth imagemagick fonts-dejavu-core locales
  famfamfam-silk xdg-utils zip xdotool strace openbox x11-utils
  libutf8proc-dev libsodium-dev python3
  desktop-file-utils appstream shared-mime-info man-db
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
