# Shared by the setup core's scripted Wine tests. Source it, then call
#   setup_prefix <prefix>   a fresh prefix with a wineserver kept alive
# The tools folder (setupprobe.exe, standin.exe, the trust-list stand-ins)
# is $tools, the repository $source_dir.
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
failures=0

setup_prefix() {
  prefix=$1
  rm -rf "$prefix" "$prefix.lock"
  "$source_dir/scripts/wine-prefix.sh" "$prefix" >/dev/null
  . "$source_dir/scripts/wine-env.sh"
  wine_env "$prefix"
  drive_c="$prefix/drive_c"
  "$server" -p </dev/null >/dev/null 2>&1 || true
  trap finish EXIT
}

# Stops the prefix's programs and server; a passing test leaves no prefix.
finish() {
  local status=$?
  "$server" -k 2>/dev/null || true
  "$server" -w 2>/dev/null || true
  if ((status == 0 && failures == 0)); then
    rm -rf "$prefix" "$prefix.lock"
  else
    echo "prefix kept for a look: $prefix"
  fi
}

# Ends every program of the prefix, as a restart does, starts Wine again
# (wineboot -r carries out what waits for the restart) and keeps it up.
restart() {
  "$server" -k 2>/dev/null || true
  "$server" -w 2>/dev/null || true
  win wineboot -r >/dev/null
  "$server" -w 2>/dev/null || true
  "$server" -p </dev/null >/dev/null 2>&1 || true
}

# Runs a Windows program of the prefix; its output without carriage returns.
win() {
  { "$wine" "$@" 2>/dev/null || true; } | tr -d '\r'
}

probe() {
  win "$tools/setupprobe.exe" "$@"
}

check() {
  local name=$1 expected=$2 actual=$3
  if [[ $expected == "$actual" ]]; then
    echo "ok   $name"
  else
    echo "FAIL $name"
    echo "     expected: $expected"
    echo "     got:      $actual"
    failures=$((failures + 1))
  fi
}

check_contains() {
  local name=$1 needle=$2 haystack=$3
  if [[ $haystack == *"$needle"* ]]; then
    echo "ok   $name"
  else
    echo "FAIL $name"
    echo "     expected to contain: $needle"
    echo "     got: $haystack"
    failures=$((failures + 1))
  fi
}

# The text matches a glob pattern (its backslashes are plain characters).
check_matches() {
  local name=$1 pattern=$2 text=$3
  local glob=${pattern//\\/\\\\}
  # shellcheck disable=SC2053
  if [[ $text == $glob ]]; then
    echo "ok   $name"
  else
    echo "FAIL $name"
    echo "     expected to match: $pattern"
    echo "     got: $text"
    failures=$((failures + 1))
  fi
}

check_lacks() {
  local name=$1 needle=$2 haystack=$3
  if [[ $haystack != *"$needle"* ]]; then
    echo "ok   $name"
  else
    echo "FAIL $name: still holds $needle"
    failures=$((failures + 1))
  fi
}

# A registry value's data as reg.exe prints it (name, type and data apart
# by four blanks); empty when missing.
reg_value() {
  win reg query "$1" /v "$2" | awk -v name="$2" '
    { line = $0; sub(/^[ \t]+/, "", line) }
    index(line, name "    ") == 1 {
      rest = substr(line, length(name) + 5)
      sub(/^[A-Z_]+    /, "", rest)
      print rest
      exit
    }'
}

# A copy of standin.exe under a Windows path, with its ini.
standin() {
  local windows_path=$1 ini=$2 unix
  unix=$(unix_path "$windows_path")
  mkdir -p "$(dirname "$unix")"
  cp "$tools/standin.exe" "$unix"
  printf '[standin]\r\n%b' "$ini" >"$unix.ini"
}

# The prefix's file for a C:\ path.
unix_path() {
  local path=${1#C:\\}
  echo "$drive_c/${path//\\//}"
}

# Starts a program in the background and waits until it runs.
start_background() {
  local windows_path=$1 name
  name=$(basename "$(unix_path "$windows_path")" .exe)
  "$wine" "$windows_path" >/dev/null 2>&1 &
  for _ in $(seq 100); do
    [[ $(probe findprocess "$name") != 0 ]] && return 0
    sleep 0.1
  done
  echo "FAIL $windows_path did not start"
  failures=$((failures + 1))
}

report() {
  if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
