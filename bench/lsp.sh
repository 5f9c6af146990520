#!/usr/bin/env bash
# bench/lsp.sh [TRL_CHECK_BINARY]
#
# Times trl-check --lsp on a 1 MB transliteration (the whole turns in the
# first megabyte of the text of bench/velmar.sh): from the moment a
# didChange leaves the client to the moment the publishDiagnostics of that
# version arrives, for an edit of one character (the blank before a
# turn's final '.' taken out and put back, so that every other version has
# an error) and for the whole text sent again.  Twenty rounds each; the
# medians and the slowest are printed, with the ratio of the edit's median
# to the median of five runs of `trl-check -j1` on the same file (which
# reads the file, checks it and writes the report).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/checker/trl-check/trl-check}
[ -x "$bin" ] || { echo "not executable: $bin (build trl-check first)" >&2; exit 2; }
data=$here/data
text=$data/dialog50.trl
doc=$data/lsp1m.trl

if [ ! -s "$text" ]; then
    echo "making $text with bench/velmar.sh" >&2
    bash "$here/velmar.sh" > /dev/null
fi
if [ ! -s "$doc" ]; then
    head -c $((1024 * 1024)) "$text" | awk 'BEGIN { RS = "\n\n"; ORS = "\n\n" } { if (prev != "") print prev; prev = $0 }' > "$doc.tmp"
    mv "$doc.tmp" "$doc"
fi

. "$here/timing.sh"
reference=""
for round in 1 2 3 4 5; do
    reference+="$(time_one "$bin" -j1 -q "$doc") "
done
reference=$(median "$reference")

python3 - "$bin" "$doc" "$reference" <<'EOF'
import json, os, select, statistics, subprocess, sys, time

binary, path, reference = sys.argv[1], sys.argv[2], float(sys.argv[3])
text = open(path, encoding="ascii").read()
uri = "file://" + os.path.abspath(path)
server = subprocess.Popen([binary, "--lsp"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
pending = b""

def send(message):
    body = json.dumps(message).encode()
    server.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
    server.stdin.flush()

def receive(deadline=10.0):
    global pending
    end = time.monotonic() + deadline
    while True:
        head, sep, rest = pending.partition(b"\r\n\r\n")
        if sep:
            length = int(head.split(b":")[1])
            if len(rest) >= length:
                pending = rest[length:]
                return json.loads(rest[:length])
        if not select.select([server.stdout], [], [], max(0.0, end - time.monotonic()))[0]:
            sys.exit("bench/lsp.sh: no answer from the server within %.0f s" % deadline)
        chunk = os.read(server.stdout.fileno(), 1 << 20)
        if not chunk:
            sys.exit("bench/lsp.sh: the server has ended")
        pending += chunk

def published(version):
    while True:
        m = receive()
        if m.get("method") == "textDocument/publishDiagnostics" and m["params"].get("version") == version:
            return m["params"]["diagnostics"]

send({"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": {"capabilities": {}}})
receive()
send({"jsonrpc": "2.0", "method": "initialized", "params": {}})
send({"jsonrpc": "2.0", "method": "textDocument/didOpen",
      "params": {"textDocument": {"uri": uri, "languageId": "trl", "version": 1, "text": text}}})
published(1)

# The line in the middle of the text that ends a turn with " .".
lines = text.split("\n")
line = next(i for i in range(len(lines) // 2, len(lines)) if lines[i].endswith(" ."))
blank = len(lines[line]) - 2
version = 1
edit_times, full_times, errors = [], [], set()
for round in range(20):
    version += 1
    if version % 2 == 0:
        change = {"range": {"start": {"line": line, "character": blank}, "end": {"line": line, "character": blank + 1}}, "text": ""}
    else:
        change = {"range": {"start": {"line": line, "character": blank}, "end": {"line": line, "character": blank}}, "text": " "}
    started = time.perf_counter()
    send({"jsonrpc": "2.0", "method": "textDocument/didChange",
          "params": {"textDocument": {"uri": uri, "version": version}, "contentChanges": [change]}})
    # Errors only: the consistency warnings of the text (several dialogs
    # in one file) stay the same.
    errors.add(sum(1 for d in published(version) if d.get("severity") == 1))
    edit_times.append(time.perf_counter() - started)
for round in range(20):
    version += 1
    started = time.perf_counter()
    send({"jsonrpc": "2.0", "method": "textDocument/didChange",
          "params": {"textDocument": {"uri": uri, "version": version}, "contentChanges": [{"text": text}]}})
    published(version)
    full_times.append(time.perf_counter() - started)
send({"jsonrpc": "2.0", "id": 2, "method": "shutdown"})
receive()
send({"jsonrpc": "2.0", "method": "exit"})
status = server.wait(timeout=10)
if errors != {0, 1} or status != 0:
    sys.exit("bench/lsp.sh: unexpected diagnostics counts %s or exit status %d" % (sorted(errors), status))

ms = lambda s: s * 1000
edit = statistics.median(edit_times)
print("input %d bytes, %d lines" % (len(text), len(lines)))
print("didChange of one character to publishDiagnostics: median %.1f ms, slowest %.1f ms (target <= 10 ms)"
      % (ms(edit), ms(max(edit_times))))
print("didChange of the whole text to publishDiagnostics: median %.1f ms, slowest %.1f ms"
      % (ms(statistics.median(full_times)), ms(max(full_times))))
print("trl-check -j1 on the file: %.1f ms" % ms(reference))
print("ratio one-character change / trl-check -j1: %.2f" % (edit / reference))
EOF
