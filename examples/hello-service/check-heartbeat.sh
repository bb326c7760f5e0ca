#!/usr/bin/env bash
# Runs the example application on the host JVM for about three seconds, ends it
# as a service stop would (the JVM exits, shutdown hooks run) and checks the
# heartbeat file: a start line, heartbeats once a second, and the final line.
set -euo pipefail
jar="$1"
java="${2:-java}"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
log="$dir/heartbeat.log"

"$java" -cp "$jar" com.example.hello.HelloService unused-argument "--heartbeat=$log" &
pid=$!
sleep 3.5
kill -TERM "$pid"
wait "$pid" || true

cat "$log"
grep -q '^started ' <(head -1 "$log")
beats=$(grep -c '^heartbeat ' "$log")
[ "$beats" -ge 2 ] && [ "$beats" -le 5 ] || { echo "expected 2 to 5 heartbeats, got $beats"; exit 1; }
grep -q '^heartbeat 1 ' "$log"
grep -q '^heartbeat 2 ' "$log"
tail -1 "$log" | grep -q '^stopped ' || { echo "no final line from the shutdown hook"; exit 1; }
echo "heartbeat example OK"
