#!/usr/bin/env bash
# Plays the sample show's music through SDL's pulseaudio driver into a
# private PulseAudio daemon's null sink and compares the show clock with
# what the server has played (av_clock_bench --monitor). Then plays again
# and kills the daemon midway: the show must keep its clock and end.
# The daemon has its own runtime directory and HOME and is stopped at the
# end; no other instance is touched, and clients never spawn one.
# AV_SERVER=pipewire plays into PipeWire's PulseAudio server instead
# (pipewire, wireplumber and pipewire-pulse from PATH, with a private D-Bus
# session for wireplumber); its graph is held at the track's 44.1 kHz so
# the monitor stays bit for bit.
#
# usage: scripts/av_sync_check.sh [BUILD_DIR [SECONDS [MAX_DRIFT_MS [MAX_MEAN_MS]]]]
#   SECONDS 0 plays the whole show (default 20); MAX_DRIFT_MS fails the
#   check when max |drift| exceeds it (default 10; -1: no bound), MAX_MEAN_MS
#   when |mean drift| does (default: no bound).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-20}
max_drift=${3:-10}
max_mean=${4:--1}
bench=$build/bench/av_clock_bench
track=$build/production/music.ogg
[ -x "$bench" ] && [ -f "$track" ] || { echo "av_sync_check: build $bench and $track first"; exit 1; }
command -v pulseaudio > /dev/null || { echo "av_sync_check: pulseaudio is not installed"; exit 1; }

server=${AV_SERVER:-pulseaudio}
dir=$(mktemp -d)
pa_pid=""
pw_pids=()
cleanup() {
  [ -n "$pa_pid" ] && kill "$pa_pid" 2> /dev/null && wait "$pa_pid" 2> /dev/null
  for pid in "${pw_pids[@]}"; do kill "$pid" 2> /dev/null && wait "$pid" 2> /dev/null; done
  [ -f "$dir/dbus.pid" ] && kill "$(cat "$dir/dbus.pid")" 2> /dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
mkdir -m 700 "$dir/run" "$dir/home"
printf 'autospawn = no\n' > "$dir/client.conf"
export XDG_RUNTIME_DIR=$dir/run HOME=$dir/home PULSE_CLIENTCONFIG=$dir/client.conf
export PULSE_SERVER=unix:$dir/run/pulse/native SDL_AUDIODRIVER=pulseaudio

start_daemon() {
  if [ "$server" = pipewire ]; then
    start_pipewire
  else
    # As root the daemon warns that it is meant for --system, and runs.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --disable-shm=yes \
      -L "module-null-sink sink_name=vesper_null rate=44100 channels=2 format=s16le" \
      -L "module-native-protocol-unix" --log-target=stderr 2> "$dir/pulseaudio.log" &
    pa_pid=$!
  fi
  for _ in $(seq 100); do
    pactl info > /dev/null 2>&1 && return 0
    kill -0 "$pa_pid" 2> /dev/null || break
    sleep 0.1
  done
  echo "av_sync_check: the $server server did not start"
  cat "$dir/pulseaudio.log"
  exit 1
}

start_pipewire() {
  for program in pipewire wireplumber pipewire-pulse pw-metadata dbus-daemon; do
    command -v "$program" > /dev/null || { echo "av_sync_check: $program is not installed"; exit 1; }
  done
  dbus-daemon --session --fork --address="unix:path=$dir/run/bus" --print-pid > "$dir/dbus.pid"
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/run/bus
  pipewire 2> "$dir/pipewire.log" &
  pw_pids+=($!)
  for _ in $(seq 100); do [ -S "$dir/run/pipewire-0" ] && break; sleep 0.1; done
  pw-metadata -n settings 0 clock.force-rate 44100 > /dev/null
  wireplumber 2> "$dir/wireplumber.log" &
  pw_pids+=($!)
  pipewire-pulse 2> "$dir/pulseaudio.log" &
  pa_pid=$!
  for _ in $(seq 100); do pactl info > /dev/null 2>&1 && break; sleep 0.1; done
  pactl load-module module-null-sink sink_name=vesper_null rate=44100 channels=2 format=s16le > /dev/null
  pactl set-default-sink vesper_null
}

start_daemon
echo "==> $(pactl info | sed -n 's/^Server Name: //p') $(pactl info | sed -n 's/^Server Version: //p'), null sink vesper_null"
"$bench" --monitor vesper_null.monitor --max-drift "$max_drift" --max-mean-drift "$max_mean" ${AV_TRACE:+--trace "$AV_TRACE"} \
  "$track" "$seconds" \
  > "$dir/bench.log" &
bench_pid=$!
# Half-way, what the server says of its sink and of the show's stream.
sleep 2
pactl list sinks | grep -E '^\s*Latency:' | sed 's/^\s*/sink /' || true
pactl list sink-inputs | grep -E '^\s*(Buffer|Sink) Latency:' | sed 's/^\s*/stream /' || true
status=0
wait "$bench_pid" || status=$?
cat "$dir/bench.log"
[ "$status" = 0 ] || { echo "av_sync_check: drift check failed"; exit 1; }

echo "==> the server goes away mid-show"
"$bench" "$track" 6 > "$dir/lost.log" 2>&1 &
bench_pid=$!
sleep 3
kill "$pa_pid"
wait "$pa_pid" 2> /dev/null || true
pa_pid=""
status=0
for _ in $(seq 150); do kill -0 "$bench_pid" 2> /dev/null || break; sleep 0.1; done
if kill -0 "$bench_pid" 2> /dev/null; then
  kill "$bench_pid"
  status=hang
else
  wait "$bench_pid" || status=$?
fi
cat "$dir/lost.log"
[ "$status" = 0 ] && grep -q '^end: clock=[0-9]' "$dir/lost.log" ||
  { echo "av_sync_check: the show did not end normally without its server ($status)"; exit 1; }
echo "==> A/V sync check passed"
