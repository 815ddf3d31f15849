#!/usr/bin/env bash
# Builds and runs the launcher on this Debian machine.
#   ./build.sh run     install what is missing, build, run launcher.exe on a demo game folder
#   ./build.sh test    install what is missing, build both targets, run every test
#   ./build.sh bench   build the benchmarks (native release) and run them
#   ./build.sh fuzz    build the libFuzzer targets (native clang) and run each for a while
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
build=${QEL_BUILD_DIR:-$root/build}
jobs=$(nproc)

packages=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev g++-mingw-w64-x86-64-posix
          wine wine64 xvfb mesa-vulkan-drivers xdotool imagemagick python3 openssl nginx)
bench_packages=(libbenchmark-dev nlohmann-json3-dev libsimdjson-dev curl)
fuzz_packages=(clang libclang-rt-14-dev)

# Installs the base packages plus any given as arguments.
install_missing() {
  local missing=()
  for p in "${packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

build_native() {
  cmake -S "$root" -B "$build/native" -G Ninja -DQEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$build/native" -j "$jobs"
}

# Extra CMake options may follow: the test command also compiles the Wine timing harnesses, so
# that a change cannot break them unnoticed.
build_windows() {
  cmake -S "$root" -B "$build/windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "$@" >/dev/null
  cmake --build "$build/windows" -j "$jobs"
}

# One 64-bit Wine prefix inside the build tree, and one wineserver kept alive for the run:
# Wine then starts each process in about a second instead of several.
start_wine() {
  export WINEPREFIX="$build/windows/wine-prefix" WINEDEBUG=-all WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  if [ -z "${DISPLAY:-}" ]; then
    local display=99
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$display"
    trap 'stop_wine' EXIT
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  fi
  wineserver -k 2>/dev/null || true  # a server left over from a manual run would refuse -p
  wineserver -p
  # Wine's service processes start with the first program, and its desktop process with the
  # first window; start both here, detached from any pipe, or CTest waits for them to close
  # the output of the first test that starts them, until the whole run ends.
  /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
  /usr/lib/wine/wine64 rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
}

stop_wine() {
  wineserver -k 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}

# Sums the gtest reports of a build into passed/failed counts. A test executable that
# failed without leaving a report (a crash) counts as one failure.
count_results() {
  local dir=$1 name tests failures errors
  for xml in "$dir"/reports/*.xml; do
    [ -f "$xml" ] || continue
    read -r tests failures errors < <(sed -n 's/.*<testsuites tests="\([0-9]*\)" failures="\([0-9]*\)" disabled="[0-9]*" errors="\([0-9]*\)".*/\1 \2 \3/p' "$xml" | head -1)
    passed=$((passed + tests - failures - errors)); failed=$((failed + failures + errors))
  done
  while read -r name; do
    [ -f "$dir/reports/$name.xml" ] || failed=$((failed + 1))
  done < <(sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([A-Za-z0-9_]*\) .*\*\*\*.*/\1/p' "$dir/ctest.log")
}

run_tests() {
  local status=0
  passed=0 failed=0
  rm -rf "$build/native/reports" "$build/windows/reports"
  echo "== native tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
  (cd "$build/native" && ctest --output-on-failure -j "$jobs" 2>&1 | tee ctest.log) || status=1
  count_results "$build/native"
  echo "== Windows tests under Wine"
  start_wine
  (cd "$build/windows" && ctest --output-on-failure -j "$jobs" 2>&1 | tee ctest.log) || status=1
  count_results "$build/windows"
  echo "$passed passed, $failed failed"
  [ "$status" = 0 ] && [ "$failed" = 0 ]
}

# Writes one package of kind $1, version $2, into the client package folder $3 from the folder
# $4 (every file below it, by its relative path).
write_package() {
  local kind=$1 version=$2 packages=$3 files=$4 path
  local folder="$packages/$kind/$version"
  rm -rf "$folder" && mkdir -p "$folder" && cp -r "$files/." "$folder/"
  {
    echo "CVPACKAGE 1 $kind $version"
    (cd "$folder" && find . -type f ! -name manifest.txt | sed 's|^\./||' | LC_ALL=C sort | while read -r path; do
      echo "$(sha256sum "$path" | cut -d' ' -f1) $(stat -c %s "$path") $path"
    done)
  } > "$packages/$kind.manifest.new" && mv "$packages/$kind.manifest.new" "$folder/manifest.txt"
  echo "$version" > "$packages/$kind.latest"
}

# The build's default client package source: the game from game/ with the demo client, and
# this build's launcher. The demo folder's first start installs the game from it.
lay_out_client_package() {
  local packages="$root/build/client-package/Release" staging="$build/client-package-files"
  local client="$build/windows/demo-client/Qelmarin.exe"
  rm -rf "$staging" && mkdir -p "$staging/game" "$staging/launcher"
  cp -r "$root/game/." "$staging/game/" && cp "$client" "$staging/game/Qelmarin.exe"
  cp "$build/windows/launcher.exe" "$staging/launcher/launcher.exe"
  write_package game demo "$packages" "$staging/game"
  write_package launcher demo "$packages" "$staging/launcher"
  echo "Client package: $packages"
}

# The development game server of the demo on 127.0.0.1, with the account demo / demo-pass; its
# accounts and log live beside the demo folder, not in it.
start_demo_server() {
  local server="$build/demo-server"
  mkdir -p "$server"
  (cd "$server" && exec /usr/lib/wine/wine64 "$build/windows/cvtool.exe" serve --accounts accounts.txt \
     </dev/null >server.log 2>&1) & server_pid=$!
  for _ in $(seq 100); do grep -q "Serving on" "$server/server.log" 2>/dev/null && break; sleep 0.1; done
  grep -q "^demo " "$server/accounts.txt" 2>/dev/null ||
    (cd "$build/demo" && /usr/lib/wine/wine64 "$build/windows/cvtool.exe" register demo demo-pass demo@example.org)
}

stop_demo_server() {
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
}

# Waits up to 60 seconds for a visible window whose title matches $1; prints its X id.
wait_for_window() {
  for _ in $(seq 600); do
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 | grep . && return 0
    sleep 0.1
  done
  return 1
}

# Photographs the X window $2 (default: the whole screen) as build/demo/$1 and says where it is.
photograph() {
  import -window "${2:-root}" "$build/demo/$1" && echo "Screenshot: $build/demo/$1"
}

# Plays the demo without a person: signs in as demo with the keyboard alone, photographs the
# launcher, loading and client windows, and sums up what reached the client.
drive_demo() {
  local window
  window=$(wait_for_window '^Qelmarin MMO Launcher$') || { echo "The launcher window did not open"; return 1; }
  sleep 1; photograph launcher-window.png "$window"
  xdotool windowfocus "$window" 2>/dev/null || true
  xdotool key Tab type demo && xdotool key Tab type demo-pass && xdotool key Return
  window=$(wait_for_window '^Qelmarin - Loading$') && sleep 5 && photograph loading-window.png "$window"
  window=$(wait_for_window '^Qelmarin$') && sleep 1 && photograph client-window.png "$window"
}

# The demo folder: the update window installs the game from the client package on the first
# start; the launcher plays against the local server with the demo client.
run_demo() {
  lay_out_client_package
  local demo="$build/demo"
  mkdir -p "$demo"
  cp "$build/windows/launcher.exe" "$demo/launcher.exe"
  : > "$demo/.corvanthorne-client"
  printf 'ServerSelection=Local\n' > "$demo/launcher.ini"
  local headless=${DISPLAY:+no}
  # Without a person the client loads slowly enough to be photographed and closes its window
  # again after a few seconds.
  if [ "$headless" != no ]; then printf 'seconds=8\nclose-after=3\n' > "$demo/demo-client.ini"; else rm -f "$demo/demo-client.ini"; fi
  start_wine
  start_demo_server
  echo "Running launcher.exe in $demo (sign in as demo, password demo-pass)"
  (cd "$demo" && exec /usr/lib/wine/wine64 launcher.exe) & local pid=$!
  [ "$headless" = no ] || drive_demo || true
  local code=0; wait "$pid" || code=$?
  stop_demo_server
  local sent received
  sent=$(sed -n 's/.*session-sha256=\([0-9a-f]*\).*/\1/p' "$build/demo-server/server.log" | tail -1)
  received=$(sed -n 's/.*token-bytes=\([0-9]*\) token-sha256=\([0-9a-f]*\).*/\1 \2/p' "$demo/logs/demo-client.log" 2>/dev/null | tail -1)
  if [ -n "$sent" ] && [ "${received#* }" = "$sent" ]; then
    echo "Demo: launcher.exe exited with $code; the client received the ${received%% *}-byte session token intact"
  else
    echo "Demo: launcher.exe exited with $code; no session token reached the client"
  fi
}

case "${1:-}" in
  run)   install_missing; build_windows; run_demo ;;
  test)  install_missing; build_native; build_windows -DQEL_BENCH=ON; run_tests ;;
  bench) install_missing "${bench_packages[@]}"
         cmake -S "$root" -B "$build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF -DQEL_BENCH=ON >/dev/null
         cmake --build "$build/bench" -j "$jobs"
         for b in "$build"/bench/bench_*; do [ -x "$b" ] && "$b"; done ;;
  # Each target runs QEL_FUZZ_SECONDS (default 60) on build/fuzz/corpus/NAME plus the kept
  # inputs in tests/data/fuzz/NAME; findings are written as build/fuzz/NAME-crash-*.
  fuzz)  install_missing "${fuzz_packages[@]}"
         CC=clang CXX=clang++ cmake -S "$root" -B "$build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
               -DQEL_SANITIZE=ON -DQEL_TESTS=OFF -DQEL_FUZZ=ON >/dev/null
         cmake --build "$build/fuzz" -j "$jobs"
         for source in "$root"/fuzz/*.cpp; do
           name=$(basename "$source" .cpp)
           mkdir -p "$build/fuzz/corpus/$name" "$root/tests/data/fuzz/$name"
           "$build/fuzz/$name" -max_total_time="${QEL_FUZZ_SECONDS:-60}" -artifact_prefix="$build/fuzz/$name-" \
             "$build/fuzz/corpus/$name" "$root/tests/data/fuzz/$name"
         done ;;
  *)     echo "usage: $0 run|test|bench|fuzz" >&2; exit 2 ;;
esac
