#!/usr/bin/env bash
# Cross-builds the Windows console program with mingw-w64 and checks it under
# Wine, headless, against the Linux build: the same console and log bytes and
# the same exit codes (Wine hands the shell only the low 8 bits of an exit code;
# the launcher xov_exit_code.exe shows the whole 32-bit code).
#
# Checks: the .exe's imports, Wine without a display, number formats, "/?",
# a run without a hub, key prompts without a console, a malformed option, a
# second instance against the named mutex, the stand-in .exe on the hub files,
# and the production .exe on fake HID services (tests/fake_hid_win.cpp) over
# the same hub files.
#
# Builds into build/win (Windows, with the Wine prefix) and build/win-ref
# (Linux); runs in build/win/runs. Prints PASS/FAIL per check and a final
# "N passed, N failed"; exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh g++-mingw-w64-x86-64 wine64 || exit 1

win=$root/build/win
ref=$root/build/win-ref
runs=$win/runs
passed=0
failed=0

pass() {
  echo "PASS: $1"
  passed=$((passed + 1))
}
fail() {  # fail CHECK [REASON...]; shows the first 40 reasons
  echo "FAIL: $1"
  shift
  local line shown=0
  for line in "$@"; do
    shown=$((shown + 1))
    [ $shown -gt 40 ] && { echo "      ... and $(($# - 40)) more"; break; }
    echo "      $line"
  done
  failed=$((failed + 1))
}
finish() {
  echo "(Windows checks took $SECONDS s)"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

# --- builds ---------------------------------------------------------------
jobs=$(nproc)
echo "== cross build (mingw-w64) into build/win"
if ! { cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
         -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXOV_WERROR=ON >/dev/null && ninja -C "$win" -j "$jobs" >/dev/null; }; then
  ninja -C "$win" 2>&1 | tail -30
  fail "cross build"
  finish
fi
echo "== Linux reference build into build/win-ref"
if ! { cmake -S . -B "$ref" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXOV_TESTS=OFF -DXOV_WERROR=ON >/dev/null &&
       ninja -C "$ref" -j "$jobs" >/dev/null; }; then
  ninja -C "$ref" 2>&1 | tail -30
  fail "Linux reference build"
  finish
fi
pass "builds: XOVSensorHubCalibration.exe and its Linux reference"

tool_win=$win/XOVSensorHubCalibration.exe
sim_win=$win/XOVSensorHubCalibration-sim.exe
sim_lin=$ref/XOVSensorHubCalibration-sim

# The .exe needs no runtime DLL of the compiler, only the system's.
check_imports() {
  local exe=$1 dll bad=()
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll | msvcrt.dll | hid.dll | setupapi.dll | user32.dll | advapi32.dll | api-ms-win-*) ;;
      *) bad+=("$dll") ;;
    esac
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  if [ ${#bad[@]} -eq 0 ]; then
    pass "$(basename "$exe") imports system DLLs only"
  else
    fail "$(basename "$exe") imports system DLLs only" "also imports: ${bad[*]}"
  fi
}
check_imports "$tool_win"
[ -f "$sim_win" ] && check_imports "$sim_win"

# --- Wine, headless -------------------------------------------------------
wine=$(dpkg -L wine64 2>/dev/null | grep -m1 '/wine64$')
wineserver=$(dpkg -L wine64 2>/dev/null | grep -m1 '/wineserver64$')
[ -x "${wine:-}" ] || wine=$(command -v wine64 || true)
[ -x "${wineserver:-}" ] || wineserver=$(command -v wineserver64 || command -v wineserver || true)
if [ ! -x "${wine:-}" ] || [ ! -x "${wineserver:-}" ]; then
  fail "Wine's 64-bit loader and server found" "wine64=${wine:-none} wineserver=${wineserver:-none}"
  finish
fi

unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX=$win/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="

first_pid=""
cleanup() {
  if [ -n "$first_pid" ] && kill -0 "$first_pid" 2>/dev/null; then
    kill -- "$first_pid" 2>/dev/null
  fi
  "$wineserver" -k >/dev/null 2>&1
}
trap cleanup EXIT

"$wineserver" -k >/dev/null 2>&1  # a server left by an interrupted run
echo "== Wine: starting the prefix (first start of a fresh prefix takes a while)"
started=$(date +%s)
if timeout 300 "$wine" wineboot -i >"$win/wineboot.out" 2>&1; then
  # One server for every run of this script: later starts are quick.
  "$wineserver" -p >/dev/null 2>&1
  pass "Wine starts without a display ($(($(date +%s) - started)) s)"
else
  fail "Wine starts without a display" "$(tail -5 "$win/wineboot.out")"
  finish
fi

rm -rf "$runs"
mkdir -p "$runs"
printf 'device /dev/sim/keyboard page=0x0001 usage=0x06\n' >"$runs/no-device.hub"

# Windows path of a Unix path (the Z: drive is the root).
winpath() {
  local p=$1
  echo "Z:${p//\//\\}"
}

# run_lin NAME EXE ARGS...: a run in $runs/NAME/lin with stdin from
# /dev/null and no controlling terminal (no console for a key); console in
# console, shell exit code in rc.
run_lin() {
  local dir=$runs/$1/lin exe=$2
  shift 2
  mkdir -p "$dir"
  (cd "$dir" && timeout 60 setsid -w "$exe" "$@" </dev/null >console 2>stderr; echo $? >rc)
}
# run_ref NAME ARGS...: the Linux reference of a run of the tool on a machine
# without a hub: the Linux stand-in on such a machine, its single-instance
# guard in the run's own directory, so that no other instance of the tool on
# this machine (nor one of these runs) stands in its way.
run_ref() {
  local name=$1
  shift
  mkdir -p "$runs/$name/lin"
  run_lin "$name" "$sim_lin" --hub "$runs/no-device.hub" --lock-dir "$runs/$name/lin" -- "$@"
}
# run_win NAME EXE ARGS...: the same under Wine in $runs/NAME/win; besides rc
# (what Wine hands the shell), code holds the whole 32-bit exit code.
run_win() {
  local dir=$runs/$1/win exe=$2
  shift 2
  mkdir -p "$dir"
  (cd "$dir" && timeout 60 setsid -w "$wine" "$win/xov_exit_code.exe" code "$(winpath "$exe")" "$@" \
     </dev/null >console 2>stderr; echo $? >launcher_rc)
  # The shell's view of the same exit code, from a second run in a fresh
  # directory (a run creates its log anew, so the first run's files stand).
  mkdir -p "$dir.shell"
  (cd "$dir.shell" && timeout 60 setsid -w "$wine" "$exe" "$@" </dev/null >console 2>stderr; echo $? >"$dir/rc")
}

# show FILE: its first bytes, control characters visible.
show() {
  head -c 160 "$1" 2>/dev/null | cat -A | tr '\n' ' '
}
# same NAME FILE: the Linux and the Windows run left the same bytes in FILE
# (both without it counts as the same).
same() {
  local a=$runs/$1/lin/$2 b=$runs/$1/win/$2
  if [ ! -e "$a" ] && [ ! -e "$b" ]; then return 0; fi
  if cmp -s "$a" "$b"; then return 0; fi
  why+=("$2 differs: $(cmp "$a" "$b" 2>&1 | head -1)")
  why+=("Linux:   $(show "$a")")
  why+=("Windows: $(show "$b")")
  return 1
}
# expect NAME what actual wanted
expect() {
  [ "$3" == "$4" ] && return 0
  why+=("$2: $3, wanted $4")
  return 1
}
# crlf_once FILE: every LF has one CR before it, never two.
crlf_once() {
  [ -e "$1" ] || return 0
  if LC_ALL=C grep -aq $'\r\r$' "$1" || [ "$(tr -cd '\n' <"$1" | wc -c)" != "$(grep -ac $'\r$' "$1")" ]; then
    why+=("$(basename "$(dirname "$1")")/$(basename "$1"): line ends are not CR LF once")
    return 1
  fi
}
verdict() {
  if [ ${#why[@]} -eq 0 ]; then pass "$1"; else fail "$1" "${why[@]}"; fi
}
rcof() { cat "$runs/$1/$2/rc" 2>/dev/null; }
codeof() { cat "$runs/$1/win/code" 2>/dev/null; }

# --- number formats -------------------------------------------------------
why=()
run_lin formats "$ref/xov_format_probe"
run_win formats "$win/xov_format_probe.exe"
same formats console
same formats XOVSensorHubCalibration.log
verdict "formats: \"%f\", \"%1.2f\", \"%3.2f\", \"%x\", NaN, NUL: the same console and log bytes"

# --- help -----------------------------------------------------------------
why=()
run_ref help /?
run_win help "$tool_win" /?
same help console
expect help "shell exit code" "$(rcof help win)" 0
expect help "exit code" "$(codeof help)" 0
[ -e "$runs/help/win/XOVSensorHubCalibration.log" ] && why+=("/? created a run log")
verdict "/?: the Linux build's bytes, exit 0, no run log"

# --- no hub ---------------------------------------------------------------
why=()
run_ref nohub
run_win nohub "$tool_win"
same nohub console
same nohub XOVSensorHubCalibration.log
crlf_once "$runs/nohub/win/console"
crlf_once "$runs/nohub/win/XOVSensorHubCalibration.log"
grep -q $'^Find 0 XOV SensorHub.\r$' "$runs/nohub/win/console" || why+=("no \"Find 0 XOV SensorHub.\" line")
expect nohub "shell exit code" "$(rcof nohub win)" 255
expect nohub "exit code" "$(codeof nohub)" 255
verdict "no hub: \"Find 0 XOV SensorHub.\", exit 255, console and log as on Linux, CR LF once"

# --- key prompts without a console return at once -------------------------
why=()
run_ref nokey /NAC /FNC
run_win nokey "$tool_win" /NAC /FNC
same nokey console
expect nokey "exit code" "$(codeof nokey)" 255
verdict "/NAC /FNC without a console: no wait, console as on Linux"

# --- malformed option -----------------------------------------------------
why=()
run_ref badopt /LUXA
run_win badopt "$tool_win" /LUXA
same badopt console
same badopt XOVSensorHubCalibration.log
expect badopt "shell exit code" "$(rcof badopt win)" 253
expect badopt "exit code" "$(codeof badopt)" -3
verdict "/LUXA: console and log as on Linux, exit -3 (shell 253)"

# --- second instance, through the named mutex -----------------------------
# The first instance runs on a pseudo-terminal and, having found no hub, waits
# for a key twice ("/NAC", then "/FNC" for a failed run); the keys come
# through a FIFO that stays open until the instance has ended.
why=()
dir=$runs/mutex
mkdir -p "$dir/first" "$dir/second" "$dir/third"
mkfifo "$dir/keys"
exec 4<>"$dir/keys"  # held open here too, so that writing a key never blocks
(
  cd "$dir/first" || exit 1
  exec 3<>"$dir/keys"
  timeout 120 script -qefc "'$wine' '$tool_win' /NAC /FNC" /dev/null <&3 >console 2>stderr
  echo $? >rc
) &
first_pid=$!
for _ in $(seq 1 300); do
  grep -q "Please press any key to exit." "$dir/first/console" 2>/dev/null && break
  sleep 0.1
done
if ! grep -q "Please press any key to exit." "$dir/first/console" 2>/dev/null; then
  why+=("the first instance did not reach its key prompt")
else
  cp "$dir/first/XOVSensorHubCalibration.log" "$dir/first.log"
  (cd "$dir/second" && timeout 60 "$wine" "$tool_win" /? </dev/null >console 2>stderr; echo $? >rc)
  (cd "$dir/second" && timeout 60 "$wine" "$win/xov_exit_code.exe" code "$(winpath "$tool_win")" \
     </dev/null >console2 2>stderr2)
  printf 'This application can not be repeated!\r\n\r\n' >"$dir/expected"
  cmp -s "$dir/expected" "$dir/second/console" ||
    why+=("second instance printed: $(show "$dir/second/console")")
  cmp -s "$dir/expected" "$dir/second/console2" || why+=("second instance (no options) printed otherwise")
  expect mutex "second instance's shell exit code" "$(cat "$dir/second/rc")" 254
  expect mutex "second instance's exit code" "$(cat "$dir/second/code" 2>/dev/null)" -2
  [ -e "$dir/second/XOVSensorHubCalibration.log" ] && why+=("the second instance created a run log")
  cmp -s "$dir/first.log" "$dir/first/XOVSensorHubCalibration.log" || why+=("the first instance's log changed")
fi
prompts() { grep -o "Please press any key to exit." "$dir/first/console" 2>/dev/null | wc -l; }
printf '\033[A' >"$dir/keys"  # the first key, an arrow key (three bytes): the second prompt follows
for _ in $(seq 1 300); do
  [ "$(prompts)" -ge 2 ] && break
  kill -0 "$first_pid" 2>/dev/null || break
  sleep 0.1
done
expect mutex "prompts after the first key" "$(prompts)" 2
kill -0 "$first_pid" 2>/dev/null || why+=("the first instance ended after one key; it waits for two")
printf 'y' >"$dir/keys"  # the second key ends it
for _ in $(seq 1 300); do
  kill -0 "$first_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$first_pid" 2>/dev/null; then
  why+=("the first instance did not end after its key")
else
  wait "$first_pid"
  expect mutex "first instance's exit code" "$(cat "$dir/first/rc" 2>/dev/null)" 255
  # Once the first instance has ended, the name is free again.
  (cd "$dir/third" && timeout 60 "$wine" "$tool_win" </dev/null >console 2>stderr; echo $? >rc)
  expect mutex "exit code of a run after the first ended" "$(cat "$dir/third/rc")" 255
fi
first_pid=""
exec 4>&-
verdict "second instance: \"This application can not be repeated!\", exit -2 (shell 254); the first one waited for two keys"

# --- the hub stand-in -----------------------------------------------------
# XOVSensorHubCalibration-sim.exe on the hub files of sim/hubs and on the
# machines that the Linux tests build (no hub, a faulty hub, a bad hub file),
# with a set of option lines: console, run log, trace and exit code must be
# those of the Linux stand-in. Hub files and traces are named relative to
# the run directory, so that messages that show them read the same.

# The exit status that the Linux build gives for a whole result code.
linux_status() {
  local code=$1 low
  [ "$code" -eq 0 ] && { echo 0; return; }
  low=$((code & 255))
  [ "$low" -ne 0 ] && echo "$low" || echo 1
}

hubs=$runs/hubs
mkdir -p "$hubs"
cp sim/hubs/*.hub "$hubs/"
base=$hubs/healthy.hub
printf 'device /dev/sim/keyboard page=0x0001 usage=0x06\ndevice /dev/sim/other page=0xFF83 usage=0x81\n' \
  >"$hubs/no-hub.hub"
{ cat "$base"; echo "fault get-fail times=3"; } >"$hubs/get-fail.hub"
{ cat "$base"; echo "fault silent from=20"; } >"$hubs/silent.hub"
{ cat "$base"; echo "fault reply-command value=0x09 times=1"; } >"$hubs/reply-command.hub"
{ cat "$base"; echo "fault wrong-echo from=5 times=2"; } >"$hubs/wrong-echo.hub"
printf '# fine\ndevice /dev/a\nmem 0x10 zz\n' >"$hubs/bad.hub"

# Option lines run on every hub file ("-" is no option).
sim_options=(
  "-"
  "/?"
  "/FWVER"
  "/CS"
  "/CHECKINITIALIZE"
  "/ANGLE"
  "/PRECHECKACC2"
  "/PRECHECKACC2 /NC"
  "/ACC1-TEST /ACC2-TEST /GYRO-TEST /COMP-TEST /LIGHT-TEST /COLOR-TEST /PSENSOR-TEST /NC"
  "/ACC1-CALI /ACC2-CALI /NOCA"
  "/GYRO-CALI /GYRO-TIMEOUT10"
  "/COMP-CALI /ACCURACY2"
  "/LIGHT-CALI /LUX400"
  "/COLOR-CALI /RVAL900 /GVAL800 /BVAL700"
  "/PSENSOR-CALI /DISTANCE10 /MODE13"
  "/CUS2-CALI parameter 1f 2e 3d"
  "/ACC1-2P-CALI /ACC-CALI-DELAY1"
  "/ACC2-6P-CALI"
  "/NS /ACC1-CALI"
  "/QS /ACC1-CALI"
  "/HIDCMDDELAYMS300 /ACC1-TEST /NC"
  "/MTPID33536"
  "/NRC /RFD500"
  "/NAC /FNC"
  "/LUXA"
)

# The production .exe on the fake HID services (hid.dll and setupapi.dll over
# the stand-in's devices, build/win/fake-hid): these option lines, on every
# hub file, must give the Linux stand-in's console, log, exit code and
# feature-report transfers. The .exe waits in real time, so only short runs.
fake_options=("/?" "/FWVER" "/CS" "/CHECKINITIALIZE" "/ANGLE" "/PRECHECKACC2" "/MTPID33536" "/LUXA")
fake_dir=$win/fake-hid

is_fake_line() {
  local l
  for l in "${fake_options[@]}"; do [ "$l" = "$1" ] && return 0; done
  return 1
}
# transfers FILE: the trace's transfers without their time stamps.
transfers() {
  sed -n 's/^t=[0-9]* \(SET\|GET\)/\1/p' "$1" 2>/dev/null
}

why=()
why_fake=()
scenarios=0
fake_scenarios=0
if [ ! -f "$sim_win" ] || [ ! -x "$sim_lin" ]; then
  why+=("XOVSensorHubCalibration-sim.exe or its Linux build is missing")
  why_fake+=("no Linux stand-in to compare with")
else
  for hub in "$hubs"/*.hub; do
    name=$(basename "$hub" .hub)
    lines=("${sim_options[@]}")
    [ "$name" = bad ] && lines=("-")
    for line in "${lines[@]}"; do
      scenarios=$((scenarios + 1))
      id=sim-$scenarios
      args=()
      [ "$line" != "-" ] && read -r -a args <<<"$line"
      for side in lin win; do
        mkdir -p "$runs/$id/$side"
        cp "$hub" "$runs/$id/$side/"
      done
      (cd "$runs/$id/lin" &&
         timeout 60 setsid -w "$sim_lin" --hub "$name.hub" --trace trace -- "${args[@]}" </dev/null >console 2>stderr
       echo $? >rc)
      (cd "$runs/$id/win" &&
         timeout 60 "$wine" "$win/xov_exit_code.exe" code "$(winpath "$sim_win")" --hub "$name.hub" --trace trace \
           -- "${args[@]}" </dev/null >console 2>stderr)
      before=${#why[@]}
      same "$id" console
      same "$id" XOVSensorHubCalibration.log
      same "$id" trace
      if [ "$name" = bad ]; then  # the stand-in's own message; Windows ends its lines in CR LF
        cmp -s "$runs/$id/lin/stderr" <(tr -d '\r' <"$runs/$id/win/stderr") || why+=("stderr differs")
      fi
      code=$(codeof "$id")
      if [ -z "$code" ]; then
        why+=("no exit code from the Windows run")
      else
        expect "$id" "exit status" "$(linux_status "$code")" "$(rcof "$id" lin)"
      fi
      if [ ${#why[@]} -ne "$before" ]; then
        why=("${why[@]:0:$before}" "[$id] $name.hub, options: $line" "${why[@]:$before}")
      fi

      # The same on the production .exe and the fake HID services.
      [ "$name" = bad ] && continue
      is_fake_line "$line" || continue
      fake_scenarios=$((fake_scenarios + 1))
      f=$runs/$id/fake
      mkdir -p "$f"
      cp "$hub" "$f/"
      (cd "$f" && XOV_FAKE_HUB=$name.hub XOV_FAKE_TRACE=trace WINEDLLOVERRIDES="$WINEDLLOVERRIDES;hid,setupapi=n,b" \
         timeout 120 "$wine" "$win/xov_exit_code.exe" code "$(winpath "$fake_dir/XOVSensorHubCalibration.exe")" \
         "${args[@]}" </dev/null >console 2>stderr)
      saved=("${why[@]}")
      why=()
      for file in console XOVSensorHubCalibration.log; do
        if [ -e "$runs/$id/lin/$file" ] || [ -e "$f/$file" ]; then
          cmp -s "$runs/$id/lin/$file" "$f/$file" || why+=("$file differs: Linux $(show "$runs/$id/lin/$file")" \
                                                             "                 .exe  $(show "$f/$file")")
        fi
      done
      cmp -s <(transfers "$runs/$id/lin/trace") <(transfers "$f/trace") ||
        why+=("feature-report transfers differ: $(diff <(transfers "$runs/$id/lin/trace") <(transfers "$f/trace") |
                                                   head -4 | tr '\n' ' ')")
      grep -q ' FAKE ' "$f/trace" 2>/dev/null && why+=("$(grep ' FAKE ' "$f/trace" | sort -u | head -5 | tr '\n' ' ')")
      [ -s "$f/stderr" ] && why+=("stderr: $(head -3 "$f/stderr" | tr '\n' ' ')")
      code=$(cat "$f/code" 2>/dev/null)
      if [ -z "$code" ]; then
        why+=("no exit code")
      else
        expect "$id" "exit status" "$(linux_status "$code")" "$(rcof "$id" lin)"
      fi
      [ ${#why[@]} -ne 0 ] && why_fake+=("[$id] $name.hub, options: $line" "${why[@]}")
      why=("${saved[@]}")
    done
  done
fi
verdict "stand-in: $scenarios scenarios (hub files x option lines): console, log, trace and exit code as on Linux"
why=("${why_fake[@]}")
verdict "XOVSensorHubCalibration.exe on fake HID services: $fake_scenarios scenarios as the Linux stand-in's"

finish
