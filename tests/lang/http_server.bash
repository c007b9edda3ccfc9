# Sourced after scratch_dir.bash by the scripts that talk to the local server: starts
# http_echo.py on a free port with no proxy set, stopped on exit, and sets `server` (its pid),
# `base` (its URL) and `unused` (a port nothing listens on).
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
server_log=$dir/server.out
python3 "$(dirname "${BASH_SOURCE[0]}")/http_echo.py" >"$server_log" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do [[ -s $server_log ]] && break; sleep 0.05; done
port=$(head -1 "$server_log")
# A port that was free a moment ago: nothing listens there.
unused=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
base="http://127.0.0.1:$port"
