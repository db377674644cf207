#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when some are missing.
# With --windows also the mingw-w64 cross compilers and Wine for the Windows build.
set -euo pipefail

packages=(cmake ninja-build g++ make pkg-config libsqlite3-dev googletest libgtest-dev libgmock-dev
          libbenchmark-dev qt6-base-dev libgl-dev libpcsclite-dev xvfb xauth clang-format)
if [[ "${1:-}" == "--windows" ]]; then
  packages+=(wine wine64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
