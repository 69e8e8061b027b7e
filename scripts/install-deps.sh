#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail
packages=(
  cmake g++ make pkg-config binutils
  libtiff-dev libtiff-tools ghostscript libgs-dev libqpdf-dev libdeflate-dev libpng-dev
  nlohmann-json3-dev libtomlplusplus-dev libexempi-dev libexpat1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pil locales help2man
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "install-deps: not root and no sudo; install as root: ${missing[*]:-nothing}" >&2
    [ ${#missing[@]} -eq 0 ] || exit 1
  fi
  sudo="sudo"
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A locale whose decimal separator is a comma, so the tests can show that
# numbers are read and written the same whatever the caller's locale.
locales=$(locale -a 2>/dev/null || true)
if ! grep -qix 'de_DE\.utf-\?8' <<<"$locales"; then
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
