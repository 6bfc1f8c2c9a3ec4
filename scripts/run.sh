#!/usr/bin/env bash
# Installs what is missing, builds, lays out a ready program folder in build/run and
# starts KVR260X there. Unless --no-sim is given, a simulated drive is served on a
# pseudo-terminal and COM1 points at it; it answers at the pace of a 9,600-baud line, as a
# drive at the factory settings would.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kvr_install_deps

sim=1
args=()
for a in "$@"; do
  case "$a" in
    --no-sim) sim=0 ;;
    *) args+=("$a") ;;
  esac
done

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target KVR260X $( [ $sim = 1 ] && echo drivesim )

run=build/run
mkdir -p "$run"
cp -r data/. "$run/"
cp build/KVR260X "$run/"

sim_pid=
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ $sim = 1 ] && [ -x build/tools/drivesim/drivesim ]; then
  link="$PWD/$run/sim-COM1"
  build/tools/drivesim/drivesim --protocol inverter --data "$PWD/$run" \
      --type HXA1 --cpu V110 --capacity -2004 --language Eng --station 1 --link "$link" \
      --ramp-ms 5000 --command 5000 --wire-baud 9600 &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
  # Point COM1 at the simulated drive; other settings in the file are kept.
  python3 - "$run/KVR260X.ini" "$link" <<'PY' 2>/dev/null || printf '[Ports]\r\nCOM1=%s\r\n' "$link" >> "$run/KVR260X.ini"
import sys, os, re
path, link = sys.argv[1], sys.argv[2]
text = open(path, encoding='utf-8').read() if os.path.exists(path) else ''
lines = text.splitlines()
out, sect, done = [], None, False
for l in lines:
    m = re.match(r'\s*\[(.*)\]\s*$', l)
    if m:
        if sect == 'ports' and not done:
            out.append('COM1=' + link); done = True
        sect = m.group(1).strip().lower()
    elif sect == 'ports' and l.split('=')[0].strip().upper() == 'COM1':
        if not done: out.append('COM1=' + link); done = True
        continue
    out.append(l)
if not done:
    if sect != 'ports': out.append('[Ports]')
    out.append('COM1=' + link)
open(path, 'w', encoding='utf-8', newline='\r\n').write('\n'.join(out) + '\n')
PY
fi

cd "$run"
./KVR260X "${args[@]}"
