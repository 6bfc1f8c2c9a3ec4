#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Sourced by run.sh, test.sh and bench.sh.
KVR_PACKAGES=(
  cmake g++ make pkg-config ccache python3
  qt6-base-dev libgl-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libgtest-dev libgmock-dev libbenchmark-dev
  libmodbus-dev
  libchm-dev
  poppler-utils libwmf-bin
  clang libclang-rt-dev
  fonts-dseg fonts-noto-cjk qt6-translations-l10n
  xvfb openbox libxcb1-dev dbus-daemon
)

kvr_install_deps() {
  local missing=()
  for p in "${KVR_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq || return 1
    apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
  else
    echo "Missing packages. Run:"
    echo "  sudo apt-get install -y ${missing[*]}"
    return 1
  fi
}
