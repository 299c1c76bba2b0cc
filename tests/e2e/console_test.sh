#!/usr/bin/env bash
# install.exe writing to a real console: under Wine a program started on a pseudo-terminal
# gets one, and its text goes through WriteConsoleW. Each run happens in a tmux pane, and the
# screen tmux rendered must hold exactly what the wrapper wrote.
# Usage: console_test.sh WINE INSTALL_EXE FAKE_SETUP_EXE
set -euo pipefail
wine="$1" install_exe="$2" fake_setup="$3"
work="$(mktemp -d)"
socket="$work/tmux.socket"
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

cp "$install_exe" "$work/install.exe"
cp "$fake_setup" "$work/setup.exe"
# tmux and Wine both read and write UTF-8 only under a UTF-8 locale.
export LC_ALL=C.UTF-8
export E2E_FAKE_LOG="$("$wine" winepath -w "$work/calls.log")" E2E_FAKE_PLAN="dword:3010"

failures=0

# Runs install.exe with the given arguments in a new pane and, once the pane's terminal has
# closed, compares the rendered screen without trailing blanks. (Exit statuses are checked on
# the pipe path, read whole inside Wine.)
expect_screen() {
  local name="$1" expected_text="$2"
  shift 2
  tmux -S "$socket" new-window -d -n "$name" "$wine" "$work/install.exe" "$@"
  for _ in $(seq 300); do
    [ "$(tmux -S "$socket" display-message -p -t "$name" '#{pane_dead}')" = 1 ] && break
    sleep 0.1
  done
  # Scrollback included: Wine's console may scroll the first line out of the visible screen.
  local screen
  screen="$(tmux -S "$socket" capture-pane -p -S - -t "$name" | grep -v '^Pane is dead' |
    sed -e 's/ *$//' || true)"
  if [ "$screen" != "$expected_text" ]; then
    echo "FAIL $name: screen:"
    printf '%s\n' "$screen" | diff -u <(printf '%s\n' "$expected_text") - || true
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

# A session with panes that stay readable after their program has ended.
tmux -S "$socket" -f /dev/null new-session -d -x 200 -y 40 \; set-option -g remain-on-exit on

expect_screen usage "Quellbrookdynamical Accelerometer Installer
-------------------------------------------
Usage:
install.exe [/?|/help] [/s] [/application] [/v\"[LOGFILE=<path\\filename>] [EXTRACTDRIVERS=<path>]\"
Switches:
/help - display this help information
/? - same as /help
/s - unattended/silent install
/application - application only install
EXTRACTDRIVERS=<path> - extract driver package to specified directory
LOGFILE=<path\\filename> - write log file to specified file at specified path" /s /?

# Latin, Greek and Cyrillic: non-ASCII text a single cell wide, from the Basic Multilingual
# Plane. (Wine's console draws an astral character as two replacement cells.)
expect_screen trace "Calling setup.exe /v\"NAME=Grüße Ωmega Привет\" Ünïcödé
Read returncode key 3010
Opened key software\\Quellbrookdynamical
Deleted key quendlebox
Opened key software
Deleted key Quellbrookdynamical
Got ReturnCode: 3010" /display "/vNAME=Grüße Ωmega Привет" Ünïcödé

exit $((failures > 0))
