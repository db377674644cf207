#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when some are missing.
# With --windows also the mingw-w64 cross compilers and Wine for the Windows build; with --package-checks
# the tools that check the Debian package (lintian, the desktop entry and metadata validators, man, bash
# completion).
set -euo pipefail

# dpkg-dev (dpkg-shlibdeps) and file find the package's dependencies for `make deb`.
packages=(cmake ninja-build g++ make pkg-config libsqlite3-dev googletest libgtest-dev libgmock-dev
          libbenchmark-dev qt6-base-dev libgl-dev libpcsclite-dev pcscd vsmartcard-vpcd pcsc-tools xvfb xauth
          clang-format dpkg-dev file)
for option in "$@"; do
  case $option in
    --windows) packages+=(wine wine64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix) ;;
    --package-checks) packages+=(lintian desktop-file-utils appstream man-db bash-completion) ;;
    *) echo "unknown option $option (--windows, --package-checks)" >&2; exit 2 ;;
  esac
done

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
