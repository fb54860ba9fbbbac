# What the package checks share; sourced. $target is the command prefix that runs a command
# where the package is installed (empty: on this machine).
target=${target:-}

# Waits up to 20 s for command "$@" to succeed.
await() {
  tries=0
  until "$@" >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || return 1
    sleep 0.2
  done
}

# The agent says RUNNING and has published its block where clients look.
agent_running() {
  $target sh -c "tail -n 1 /run/vigilagent/status | grep -q '^RUNNING' && vigilctl status | grep -q '^Start-up complete *1\$'"
}

# The metrics server's answer on its default address.
scrape() {
  $target python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' \
    http://127.0.0.1:9764/metrics
}
