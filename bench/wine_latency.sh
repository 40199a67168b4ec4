#!/usr/bin/env bash
# Under Wine: read latency timed inside Wine, with the real Win32 build
# (pendrel.exe, TOLVEN.dll, zelscan.exe, keyrecorder.exe, keyburst.exe) on a
# private X display in a fresh Wine prefix. All times come from
# QueryPerformanceCounter in the Wine processes (one clock):
#   - the reader host (tolvenhost.exe, started by TOLVEN.dll with Pendrel's
#     environment) notes when a read is queued and when ZELReadData hands it
#     to Pendrel's worker (TOLVEN_TIMING_LOG);
#   - the key recorder notes the arrival of every WM_CHAR (KEYRECORDER_TIMING_LOG);
#   - keyburst.exe times the application's own EmitKeys, and every
#     keybd_event call of the same key stream, typed into the recorder.
# Prints "name value" lines like bench_device; prints "wine_skipped REASON"
# and exits 0 when Wine, Xvfb or the Win32 build is missing.
# Usage: wine_latency.sh [BUILD_DIR] [READS]   (default build/win32, 100 reads per length)
set -uo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/win32}
reads=${2:-100}
skip() { echo "wine_skipped $*"; exit 0; }
fail() { echo "wine_failed $*"; exit 1; }
[[ $reads =~ ^[1-9][0-9]*$ ]] || { echo "wine_latency.sh: READS must be a positive number, not '$reads'" >&2; exit 2; }
source bench/wine_bench_session.sh
export TOLVEN_TIMING_LOG='C:\pendrel\driver.log'
wine_bench_start "$build" wine-bench "wine wineboot wineserver Xvfb xdotool python3" pendrel.exe TOLVEN.dll \
  tolvenhost.exe zelscan.exe keyrecorder.exe wmctl.exe keyburst.exe
run() { (cd "$appdir" && timeout 60 wine "$@"); }
driver_open() { run zelscan.exe state | grep -q "^open 1"; }

(cd "$appdir" && KEYRECORDER_TIMING_LOG='C:\pendrel\chars.log' wine keyrecorder.exe 'C:\pendrel\keys.log' >/dev/null 2>&1) &
wait_for 30 run wmctl.exe exists KeyRecorder || fail "the key recorder did not start"
(cd "$appdir" && wine pendrel.exe >"$work/pendrel.log" 2>&1) &
wait_for 30 driver_open || fail "Pendrel never opened the reader"
run wmctl.exe foreground KeyRecorder >/dev/null
sleep 0.5

chars() {
  local n
  n=$(grep -c '^char' "$appdir/keys.log" 2>/dev/null)
  echo "${n:-0}"
}
# LENGTH characters without backslashes or quotes, the same every run.
read_data() {
  awk -v n="$1" 'BEGIN { s = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-.:*+/ "; srand(n);
                         for (i = 0; i < n; i++) printf "%s", substr(s, int(rand() * length(s)) + 1, 1) }'
}

# Pendrel's reads: each scan at a random moment (0 to 150 ms after the last
# read arrived), so at every phase of the 50 ms poll.
lengths=()
for length in 12 255; do
  data=$(read_data "$length")
  for r in $(seq "$reads"); do
    base=$(chars)
    run zelscan.exe scan "$data" >/dev/null || fail "scan $r of $length characters refused"
    deadline=$((SECONDS + 30))
    until [[ $(chars) -ge $((base + length)) ]]; do
      (( SECONDS >= deadline )) && fail "read $r: the recorder holds $(( $(chars) - base )) of $length"
      sleep 0.005
    done
    lengths+=("$length")
    sleep "0.$(printf '%03d' $((RANDOM % 150)))"
  done
done

# The application's key output alone, then the same events call by call.
burst_lengths=()
for length in 12 255; do
  (cd "$appdir" && timeout $((30 + reads * 5)) wine keyburst.exe "C:\\pendrel\\burst-$length.log" "$reads" \
    "$(read_data "$length")" >/dev/null) || fail "keyburst.exe of $length characters failed (status $?)"
  for r in $(seq "$reads"); do burst_lengths+=("$length"); done
done
sleep 0.5  # the recorder writes its times every 100 ms, the driver at an idle poll
run wmctl.exe post KeyRecorder 16 0 0 >/dev/null  # WM_CLOSE: the recorder writes the rest and ends
wait_for 10 bash -c "! (cd '$appdir' && wine wmctl.exe exists KeyRecorder)"

python3 - "$appdir" "${lengths[*]}" "${burst_lengths[*]}" <<'EOF'
import math, sys
appdir, lengths, burst_lengths = sys.argv[1], [int(x) for x in sys.argv[2].split()], [int(x) for x in sys.argv[3].split()]

def pct(values, p):  # nearest rank
    v = sorted(values)
    return v[max(1, math.ceil(p / 100 * len(v))) - 1]

def fail(message):
    print(f"wine_failed {message}")
    sys.exit(1)

def report(name, values_us, unit="ms"):
    print(f"{name}_n {len(values_us)}")
    scale = 1000 if unit == "ms" else 1
    for label, p in (("min", 0), ("p50", 50), ("p95", 95), ("p99", 99), ("max", 100)):
        value = min(values_us) if p == 0 else pct(values_us, p)
        print(f"{name}_{label}_{unit} {value / scale:.3f}")

chars = [int(l.split()[1]) for l in open(f"{appdir}/chars.log") if l.startswith("char ")]
driver = [l.split() for l in open(f"{appdir}/driver.log")]
queued = [int(t) for k, t in driver if k == "queued"]
fetched = [int(t) for k, t in driver if k == "fetched"]
if not (len(queued) == len(fetched) == len(lengths)):
    fail(f"the driver timed {len(queued)} queued and {len(fetched)} fetched of {len(lengths)} reads")
if len(chars) != sum(lengths) + sum(burst_lengths):
    fail(f"the recorder timed {len(chars)} characters, {sum(lengths) + sum(burst_lengths)} were typed")

# Pendrel's reads: queued -> fetched -> last WM_CHAR.
at = 0
rows = {12: [], 255: []}
for n, q, f in zip(lengths, queued, fetched):
    first, last = chars[at], chars[at + n - 1]
    at += n
    rows[n].append((f - q, first - f, last - f, last - q))
for n, r in rows.items():
    report(f"wine_{n}_total", [x[3] for x in r])
    report(f"wine_{n}_poll_wait", [x[0] for x in r])
    report(f"wine_{n}_typing", [x[2] for x in r])
    report(f"wine_{n}_first_char", [x[1] for x in r])

# keyburst: EmitKeys timed whole (even reads), the same events call by call
# (odd reads); the recorder's last WM_CHAR after the last call returned.
for n in (12, 255):
    lines = [l.split() for l in open(f"{appdir}/burst-{n}.log")]
    emit, keybd, loop, share, per_call, deliver, translate = [], [], [], [], [], [], []
    for fields in lines:
        v = dict(zip(fields[2::2], map(int, fields[3::2])))
        last = chars[at + n - 1]
        at += n
        deliver.append(last - v["emit_end"])
        if fields[0] == "emit":
            emit.append(v["emit_end"] - v["emit_start"])
            translate.append(v["translate_us"])
        else:
            span = v["emit_end"] - v["emit_start"]
            keybd.append(v["keybd_sum_us"])
            loop.append(span - v["keybd_sum_us"])
            share.append(100.0 * v["keybd_sum_us"] / span if span else 100.0)
            per_call.append(v["keybd_sum_us"] / v["calls"])
            calls = v["calls"]
    report(f"wine_{n}_emitkeys", emit)
    report(f"wine_{n}_keybd_sum", keybd)
    report(f"wine_{n}_loop", loop, "us")
    report(f"wine_{n}_translate", translate, "us")
    report(f"wine_{n}_after_last_call", deliver)
    print(f"wine_{n}_keybd_calls {calls}")
    print(f"wine_{n}_keybd_share_p50_percent {pct(share, 50):.1f}")
    print(f"wine_{n}_keybd_call_p50_us {pct(per_call, 50):.1f}")
EOF
