#!/usr/bin/env bash
# Puts tessaly-virtual-card into the running pcscd's virtual reader and has pcsc-tools' scriptor select
# the card's MF: the virtual card seen through the real stack by a program that is not ours.
# Usage: scripts/virtual-card-check.sh BUILD_DIR
set -euo pipefail

card_tool="$1/src/tools/tessaly-virtual-card"
card=""
stop_card() { [[ -z "$card" ]] || kill "$card" 2>/dev/null || true; }
trap stop_card EXIT

"$card_tool" < /dev/null &
card=$!
for _ in $(seq 50); do
  answer=$(echo "00 A4 00 0C 02 3F 00" | scriptor -r "Virtual PCD 00 00" 2>&1 || true)
  if grep -q "< 90 00" <<< "$answer"; then
    echo "virtual card answers through pcscd"
    exit 0
  fi
  sleep 0.1
done
echo "the virtual card did not answer through pcscd:"
echo "$answer"
exit 1
