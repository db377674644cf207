#!/usr/bin/env bash
# Makes the Debian package from a build folder, installs it with apt, checks what it installed and removes it
# again, however the checks end:
#  - every installed program answers --version with the package's version, and has a man page and a bash
#    completion;
#  - the Control Center, started by its desktop entry's Exec line, headless, under a fresh HOME with no
#    registry, takes its screenshot and keeps its working folder in that home;
#  - the desktop entry and the AppStream metadata validate, lintian finds no error (its warnings are shown);
#  - every man page renders without a warning, and every completion offers its program's options.
# Usage: scripts/package-check.sh BUILD   (as root, or as a user with sudo)
set -euo pipefail
build=${1:?usage: scripts/package-check.sh BUILD}
package=tessaly-easy
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)

fail() {
  echo "package check failed: $*" >&2
  exit 1
}
stage() { echo "-- $* ($SECONDS s)"; }

work=$(mktemp -d)
home="$work/home"
mkdir "$home"
trap 'rm -rf "$work"' EXIT

stage "the package"
cmake --build "$build" --target installables
deb=$(cd "$build" && cpack -G DEB | sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p')
[[ -f "$deb" ]] || fail "cpack made no package"
echo "$deb: $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

stage "lintian"
lintian_status=0
lintian --fail-on error --tag-display-limit 0 "$deb" > "$work/lintian" 2>&1 || lintian_status=$?
grep -v "running with root privileges" "$work/lintian" || echo "no tags"
[[ $lintian_status -eq 0 ]] || fail "lintian reports errors"

stage "installed with apt"
remove_package() {
  "${sudo[@]}" apt-get remove --purge -y -qq "$package" > /dev/null || true
  rm -rf "$work"
}
trap remove_package EXIT
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$deb" > /dev/null
version=$(dpkg-query -W -f='${Version}' "$package")
mapfile -t files < <(dpkg -L "$package")
programs=()
for file in "${files[@]}"; do [[ $file == /usr/bin/* ]] && programs+=("$file"); done
[[ ${#programs[@]} -gt 0 ]] || fail "no program installed"
for program in "${programs[@]}"; do
  name=$(basename "$program")
  answer=$("$program" --version)
  echo "$answer"
  [[ $answer == *" $version"* || $answer == *"v$version "* ]] || fail "$name --version does not say $version"
  [[ -f /usr/share/man/man1/$name.1.gz ]] || fail "$name has no man page"
  [[ -f /usr/share/bash-completion/completions/$name ]] || fail "$name has no bash completion"
done

stage "the Control Center from its desktop entry, under a fresh HOME"
desktop=$(printf '%s\n' "${files[@]}" | grep '^/usr/share/applications/.*\.desktop$')
metainfo=$(printf '%s\n' "${files[@]}" | grep '^/usr/share/metainfo/.*\.xml$')
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ %[fFuUick]//g')
read -r -a command <<< "$exec_line"
mkdir -m 700 "$work/run"
env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
  "${command[@]}" --readers virtual --screenshot "$home/window.png"
file "$home/window.png" | grep -q "PNG image data" || fail "no screenshot"
work_dir=$(env -i PATH="$PATH" HOME="$home" tessaly-reg export \
             'HKEY_LOCAL_MACHINE\SOFTWARE\Orvane\Tessaly Easy\Preferences' |
           sed -n 's/^"WorkDir"="\(.*\)"\r\?$/\1/p')
echo "working folder: $work_dir"
[[ $work_dir == "$home/.local/share/orvane/- Smart Cards Works" ]] || fail "the working folder is not in HOME"
for subfolder in Events Info Templates; do
  [[ -d "$work_dir/$subfolder" ]] || fail "no $subfolder folder in the working folder"
done
[[ -f "$work_dir/Templates/ISO-7816-4.cct" ]] || fail "no template files in the working folder"
[[ ! -e "/usr/bin/- Smart Cards Works" ]] || fail "a working folder beside the installed program"

stage "desktop entry and metadata"
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"

stage "man pages"
for page in "${files[@]}"; do
  [[ $page == /usr/share/man/* && -f $page ]] || continue
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 > /dev/null)
  [[ -z "$warnings" ]] || fail "$page: $warnings"
  echo "$page: $(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2> /dev/null | wc -l) lines"
done

stage "bash completion"
# The candidates the completion of a program offers for its command line, the last word being completed.
candidates() {
  bash -c 'source /usr/share/bash-completion/bash_completion
           source "/usr/share/bash-completion/completions/$1"
           shift
           COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
           function=$(complete -p "$1" | sed -n "s/.*-F \([^ ]*\) .*/\1/p")
           "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
           printf "%s\n" "${COMPREPLY[@]}"' _ "$@"
}
for program in "${programs[@]}"; do
  name=$(basename "$program")
  offered=$(candidates "$name" "$name" --)
  for option in --version --help; do
    grep -qx -- "$option" <<< "$offered" || fail "the completion of $name does not offer $option"
  done
done
grep -qx exchange <<< "$(candidates tessaly-control-center tessaly-control-center --page "")" ||
  fail "the completion of --page does not offer the pages"
grep -qx register-component <<< "$(candidates tessaly-reg tessaly-reg "")" ||
  fail "the completion of tessaly-reg does not offer its commands"

stage "removed"
trap - EXIT
remove_package
if dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q "ok installed"; then
  fail "the package is still installed"
fi
for program in "${programs[@]}"; do [[ ! -e $program ]] || fail "$program is still there"; done
stage "package check done"
