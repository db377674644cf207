#!/usr/bin/env bash
# Runs a command with the smart-card service up: starts `pcscd --foreground` when none answers and this is
# root, waits until it answers, and stops what it started (by its process id) however the command ends.
# Without root nothing is started; the end-to-end tests then say why they are skipped.
set -euo pipefail

here="$(dirname "$0")"
started=""
stop_started() {
  [[ -n "$started" ]] || return 0
  kill "$started" 2>/dev/null || true
  wait "$started" 2>/dev/null || true
}
trap stop_started EXIT

if "$here/pcscd-answers.sh"; then
  echo "the smart-card service answers; using it"
elif [[ $(id -u) -ne 0 ]]; then
  echo "pcscd not started: not root; the end-to-end tests will be skipped"
else
  pcscd --foreground > "${TMPDIR:-/tmp}/pcscd-ci.log" 2>&1 &
  started=$!
  echo "pcscd started, pid $started (log ${TMPDIR:-/tmp}/pcscd-ci.log)"
  for _ in $(seq 50); do
    "$here/pcscd-answers.sh" && break
    kill -0 "$started" 2>/dev/null || { echo "pcscd ended at start"; exit 1; }
    sleep 0.1
  done
  "$here/pcscd-answers.sh" || { echo "pcscd does not answer"; exit 1; }
fi

"$@"
