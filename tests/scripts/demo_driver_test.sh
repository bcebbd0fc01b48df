#!/usr/bin/env bash
# The demo's exit code says whether the service ended as it should: 0 for a
# program that ended by itself with 0, 1 for one that failed or never ran,
# with a last line that says which.
#
#   demo_driver_test.sh <demo_driver.exe> <service-wrapper.exe>
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
driver=$1
wrapper=$2
failures=0

# expect <exit code> <text of the result line> -- <program> [args...]
expect() {
    local code=$1 text=$2 output got
    shift 3
    output=$("$root/scripts/wine-run" "$driver" --run-ms 4000 "$wrapper" 2000 "$@" 2>&1 | tr -d '\r')
    got=${PIPESTATUS[0]}
    if [ "$got" != "$code" ] || ! grep -qF "result: $text" <<<"$output"; then
        echo "FAILED: $* gave exit code $got, expected $code and 'result: $text':"
        echo "$output"
        failures=$((failures + 1))
    fi
}

expect 0 "the service ended as it should" -- ping.exe -n 1 127.0.0.1
# cmd.exe reads the quoted arguments the wrapper writes by rules of its own, and
# finds no command to run in them.
expect 1 "the service failed: exit code 1066, the program's own exit code 9009" -- cmd.exe /c "echo hello"
expect 1 "the service failed: exit code 2" -- 'C:\no such folder\program.exe'
[ "$failures" -eq 0 ] && echo "demo_driver: every case passed"
exit $((failures > 0))
