#!/usr/bin/env bash
# Registers the built component and starts the Control Center with the given arguments; the component is
# registered in the hive the Control Center will use (its --registry, else $TESSALY_REGISTRY, else the
# user's own).
# Usage: scripts/run-control-center.sh BUILD [ARGUMENTS...]
set -euo pipefail

build=$1
shift
registry=()
arguments=("$@")
for ((i = 0; i < ${#arguments[@]}; ++i)); do
  case ${arguments[i]} in
    --registry) registry=(--registry "${arguments[i + 1]:-}") ;;
    --registry=*) registry=("${arguments[i]}") ;;
  esac
done

"$build/src/tools/tessaly-reg" "${registry[@]}" register-component
exec "$build/src/app/tessaly-control-center" "$@"
