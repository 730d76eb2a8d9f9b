#!/usr/bin/env bash
# Every output of the programs exits 1 with a message when standard output cannot be written:
# a full device and a closed standard output.
set -uo pipefail
bin=$1
status=0
check() {  # description, then the command
  local what=$1
  shift
  for target in full closed; do
    local err rc
    if [ "$target" = full ]; then
      err=$("$@" 2>&1 >/dev/full)
    else
      err=$("$@" 2>&1 >&-)
    fi
    rc=$?
    if [ "$rc" -ne 1 ] || [ -z "$err" ]; then
      echo "FAIL: $what to a $target standard output: status $rc, message '$err'" >&2
      status=1
    fi
  done
}
check "--help" "$bin/orvane-cli" --help
check "--version" "$bin/orvane-cli" --version
check "--list" "$bin/orvane-cli" --list
check "--estimate" "$bin/orvane-cli" --standard 1 --estimate
check "--csv" "$bin/orvane-cli" --standard 1 --csv
check "--schedule" "$bin/orvane-cli" --standard 1 --schedule 2
check "the results file" "$bin/orvane-cli" --standard 1
if [ -x "$bin/orvane" ]; then
  check "orvane --version" "$bin/orvane" --version
fi
exit $status
