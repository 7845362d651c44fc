#!/usr/bin/env bash
# Installs the Debian packages the build, the box, the tests and the demo need, when missing.
# Usage: scripts/deps.sh [group...]   groups: build (default), box, cross, fuzz, demo
set -euo pipefail

declare -A GROUPS_PKGS=(
  [build]="cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libfreetype-dev fonts-dejavu-core libpng-dev libsdl2-dev"
  [box]="xvfb xauth valgrind xboard"
  [cross]="g++-powerpc-linux-gnu g++-arm-linux-gnueabihf qemu-user googletest"
  [fuzz]="clang-14 libclang-rt-14-dev"
  [demo]="stockfish"
)

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build)

missing=()
for g in "${groups[@]}"; do
  for p in ${GROUPS_PKGS[$g]}; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
