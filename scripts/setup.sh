#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing KAPLO need,
# when they are missing. Non-interactive and idempotent; quiet when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev file
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-ipafont-gothic xvfb xauth
  sharutils mpack nkf python3 openssl ca-certificates
  zlib1g-dev python3-yenc python3-sabyenc
  inn2
  desktop-file-utils
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# inn2's configuration fails when the host name has no domain: give it one
# (the package then configures; our tests run their own private instance).
fix_inn() {
  if dpkg-query -W -f='${Status}' inn2 2>/dev/null | grep -q "install ok installed"; then
    return 0
  fi
  if [ -f /etc/news/inn.conf ] && ! grep -qE '^domain:' /etc/news/inn.conf; then
    echo 'domain: localdomain' | $SUDO tee -a /etc/news/inn.conf >/dev/null
  fi
  $SUDO env DEBIAN_FRONTEND=noninteractive dpkg --configure -a >/dev/null 2>&1 || true
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  # inn2 may fail to configure on the first pass (no domain); fix_inn mends it.
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confmiss \
    "${missing[@]}" >/dev/null 2>&1 || true
fi
fix_inn

for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    echo "setup: $p could not be installed" >&2
    exit 1
  fi
done
