#!/usr/bin/env bash
# scripts/wine-session returns promptly when the prefix holds an auto-start
# service whose program runs for an hour: the session that service keeps alive
# is ended, not waited for. Uses the prefix of the tests (WINEPREFIX, else the
# build's); the service is removed again, and a session stays for the tests
# that follow, as scripts/wine-session leaves one.
#
#   wine_session_test.sh <service-wrapper.exe>
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export PATH=/usr/lib/wine:$PATH
name=wine-session-test-autostart
wrapper='Z:'${1//\//\\}
limit_s=100

sc() { "$root/scripts/wine-run" sc.exe "$@" </dev/null >/dev/null 2>&1; }
query() { "$root/scripts/wine-run" sc.exe query "$name" </dev/null 2>/dev/null | tr -d '\r'; }

clean_up() {
    sc stop "$name"
    sc delete "$name"
}
trap clean_up EXIT

sc delete "$name"
sc create "$name" start= auto \
    binPath= "\"$wrapper\" 0 C:\\windows\\system32\\ping.exe -n 3600 127.0.0.1" || {
    echo "FAILED: cannot create the service $name"
    exit 1
}
# The next session starts the service by itself.
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1

started=$SECONDS
timeout "$limit_s" "$root/scripts/wine-session"
status=$?
took=$((SECONDS - started))
if [ "$status" -ne 0 ]; then
    echo "FAILED: scripts/wine-session did not return within $limit_s s (exit code $status)"
    # What the tests after this one need: no service holding the session, and
    # a session of their own.
    clean_up
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    "$root/scripts/wine-session"
    exit 1
fi
if ! grep -q RUNNING <<<"$(query)"; then
    echo "FAILED: the session did not start the auto-start service $name; the case was not tried"
    query
    exit 1
fi
echo "scripts/wine-session returned in $took s with the auto-start service running"
