#!/bin/sh
# korvid.js in node against the native program, as an ordinary user runs
# them: every file command of scripts/output-snapshot over the examples, the
# debug kernel's sources and the fuzz corpus must print the same bytes, end
# with the same status and write the same files; a language server session
# and a debug adapter session must answer byte for byte alike; a device
# command and the adapter's port must say that they need the native program.
#
#   tests/web/node-output.sh NATIVE_KORVID KORVID_JS
set -eu
[ $# -eq 2 ] || { echo "usage: node-output.sh NATIVE_KORVID KORVID_JS" >&2; exit 2; }
native=$(readlink -f "$1")
script=$(readlink -f "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
# Status 77 (skipped) without a WebAssembly build; scripts/test always makes one.
[ -f "$script" ] || { echo "no $script: scripts/build-web makes it" >&2; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
# The node build as a program of its own, so that both run the same way.
cat >"$work/korvid-node" <<WRAP
#!/bin/sh
exec node "$script" "\$@"
WRAP
chmod 755 "$work/korvid-node"

user() {
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work" "$@"
    else
        "$@"
    fi
}
[ "$(id -u)" -eq 0 ] && chown 65534:65534 "$work"

failed=0
check() {  # check NAME: reports the outcome of the command before it
    if [ "$1" = ok ]; then echo "ok: $2"; else echo "FAILED: $2"; failed=1; fi
}

user "$root/scripts/output-snapshot" "$native" "$work/native" >/dev/null
user "$root/scripts/output-snapshot" "$work/korvid-node" "$work/node" >/dev/null
if diff -r "$work/native" "$work/node" >"$work/diff" 2>&1; then
    check ok "the file commands: $(find "$work/native" -name '*.rc' | wc -l) runs alike"
else
    head -40 "$work/diff"
    check bad "the file commands differ"
fi

# A language server session: open a source with an error, hover, shut down.
python3 - "$root/examples/blink.src" >"$work/lsp.in" <<'PY'
import json, sys
text = open(sys.argv[1]).read() + "\n\tbogus 1\n"
uri = "file:///work/blink.src"
msgs = [
    {"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": {"processId": None, "rootUri": None, "capabilities": {}}},
    {"jsonrpc": "2.0", "method": "initialized", "params": {}},
    {"jsonrpc": "2.0", "method": "textDocument/didOpen",
     "params": {"textDocument": {"uri": uri, "languageId": "sx", "version": 1, "text": text}}},
    {"jsonrpc": "2.0", "id": 2, "method": "textDocument/hover",
     "params": {"textDocument": {"uri": uri}, "position": {"line": 3, "character": 2}}},
    {"jsonrpc": "2.0", "id": 3, "method": "shutdown"},
    {"jsonrpc": "2.0", "method": "exit"},
]
for m in msgs:
    body = json.dumps(m).encode()
    sys.stdout.buffer.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
PY
user "$native" lsp --stdio <"$work/lsp.in" >"$work/lsp.native" 2>&1 || echo "status $?" >>"$work/lsp.native"
user "$work/korvid-node" lsp --stdio <"$work/lsp.in" >"$work/lsp.node" 2>&1 || echo "status $?" >>"$work/lsp.node"
if cmp -s "$work/lsp.native" "$work/lsp.node" && grep -q publishDiagnostics "$work/lsp.node"; then
    check ok "a language server session"
else
    diff "$work/lsp.native" "$work/lsp.node" | head -20
    check bad "the language server sessions differ"
fi

# The device commands need a serial port, which node does not have.
status=0
user "$work/korvid-node" program "$root/examples/blink.src" >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -eq 1 ] && [ ! -s "$work/out" ] && grep -q "use the native korvid program" "$work/err"; then
    check ok "a device command says it needs the native program"
else
    cat "$work/err"
    check bad "a device command in node (status $status)"
fi
# A debug adapter session on the simulator, its requests read from a file:
# launch, steps, the stack, registers and a disassembly must be answered
# byte for byte alike. (Runs are the protocol test's, Web.NodeDebugAdapter:
# what a run answers depends on when the next request arrives.)
python3 - "$root/examples/blink.src" >"$work/dap.in" <<'PY'
import json, sys
program = sys.argv[1]
requests = [
    ("initialize", {"adapterID": "korvid", "linesStartAt1": True}),
    ("launch", {"program": program, "stopOnEntry": True}),
    ("setBreakpoints", {"source": {"path": program}, "breakpoints": [{"line": 19}, {"line": 27}]}),
    ("configurationDone", {}),
    ("stepIn", {"threadId": 1}),
    ("stepIn", {"threadId": 1, "granularity": "instruction"}),
    ("stepIn", {"threadId": 1}),
    ("stackTrace", {"threadId": 1}),
    ("scopes", {"frameId": 0}),
    ("variables", {"variablesReference": 1}),
    ("disassemble", {"memoryReference": "0x000", "instructionCount": 8}),
    ("stepBack", {"threadId": 1}),
    ("evaluate", {"expression": "count1", "context": "watch"}),
    ("disconnect", {}),
]
for seq, (command, arguments) in enumerate(requests, 1):
    body = json.dumps({"seq": seq, "type": "request", "command": command, "arguments": arguments}).encode()
    sys.stdout.buffer.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
PY
user "$native" dap <"$work/dap.in" >"$work/dap.native" 2>&1 || echo "status $?" >>"$work/dap.native"
user "$work/korvid-node" dap <"$work/dap.in" >"$work/dap.node" 2>&1 || echo "status $?" >>"$work/dap.node"
# Every request of the 14 is answered, and answered with success.
answered=$(grep -o '"success":true,"type":"response"' "$work/dap.node" | wc -l)
if cmp -s "$work/dap.native" "$work/dap.node" && [ "$answered" -eq 14 ]; then
    check ok "a debug adapter session"
else
    diff "$work/dap.native" "$work/dap.node" | head -20
    check bad "the debug adapter sessions differ ($answered of 14 requests answered with success)"
fi
# node offers this build no listening port: --port says so and fails.
status=0
user "$work/korvid-node" dap --port 4711 </dev/null >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -eq 1 ] && [ ! -s "$work/out" ] &&
    grep -q "^korvid dap: cannot listen on 127.0.0.1:4711: this build cannot listen on a port" "$work/err"; then
    check ok "korvid dap --port says that it needs the native program"
else
    cat "$work/err"
    check bad "korvid dap --port in node (status $status)"
fi
exit $failed
