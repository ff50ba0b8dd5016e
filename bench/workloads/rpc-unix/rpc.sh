#!/bin/sh
# Two hosts: a server macro that waits with RpcWait, and a client macro that
# makes 5000 round trips (RpcSet and RpcGetVal of a number). $1: unix or tcp.
set -e
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
if [ "$1" = tcp ]; then
  port=$((40000 + $$ % 20000))
  printf '[RPC]\nDirectory=%s\nSecret=bench secret phrase\nPort=%s\nAddress=127.0.0.1\n' "$dir/s" "$port" >"$dir/Tolvan.ini"
  client="$here/rpc_client_tcp.mac"
else
  printf '[RPC]\nDirectory=%s\n' "$dir/s" >"$dir/Tolvan.ini"
  client="$here/rpc_client.mac"
fi
"$TOLVEX" --headless --ini "$dir/Tolvan.ini" "$here/rpc_server.mac" &
server=$!
while [ ! -S "$dir/s/rpc-5.sock" ]; do sleep 0.01; done
"$TOLVEX" --headless --ini "$dir/Tolvan.ini" "$client"
wait $server
