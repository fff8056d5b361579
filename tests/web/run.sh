#!/usr/bin/env bash
# The browser build's tests (./demo test-web): under Node, the wasm recorder against the golden
# table and its sound against the native recorder's, and the wasm lanes against Allegro's blenders;
# in headless Chromium, the page (tests/web/page_test.js). Needs build/ (the native recorder) and
# build-web/ (the page, the wasm recorder and the raster bench) built.
# Usage: run.sh NPM_CACHE_DIR
set -euo pipefail
cd "$(dirname "$0")/../.."
source tools/deps/common.sh
npm_dir=$1

t0=$SECONDS
work=build-web/check
rm -rf "$work"
# Each recorder in its own folder: wasm cannot lock files, so neither could tell the other's
# unfinished outputs from a killed writer's leftovers.
mkdir -p "$work/web" "$work/native"
node --no-experimental-fetch build-web/apps/stream8-record.js --no-video --quiet \
    --hash-log "$work/web/show.txt" --sound-raw "$work/web/sound.pcm" --frames logo:1 --frames-dir "$work/web" &
web=$!
./build/apps/stream8-record --no-video --quiet --sound-raw "$work/native/sound.pcm" \
    --hash-log "$work/native/show.txt"
wait "$web"
python3 tests/arm64/compare.py --frames tests/golden/show.txt "$work/web/show.txt" \
    --sound "$work/native/sound.pcm" "$work/web/sound.pcm"
# The wasm lanes against Allegro's blenders on show-sized bitmaps (exits 1 on any difference).
node --no-experimental-fetch build-web/apps/stream8-raster-bench.js 2 >/dev/null
t1=$SECONDS

# The page's server (./demo web): a path it cannot map to a file, such as one with a NUL byte,
# is answered 404 and the server goes on serving.
python3 - build-web/page <<'PY'
import socket, subprocess, sys, time, urllib.error, urllib.request
s = socket.socket()
s.bind(("127.0.0.1", 0))
port = s.getsockname()[1]
s.close()
server = subprocess.Popen([sys.executable, "tools/serve-page.py", str(port), sys.argv[1]],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
def status(path):
    try:
        return urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=10).status
    except urllib.error.HTTPError as e:
        return e.code
try:
    for _ in range(100):
        try:
            status("/")
            break
        except OSError:
            time.sleep(0.1)
    answers = {path: status(path) for path in ["/%00", "/a%00b.js", "/", "/stream8.wasm"]}
finally:
    server.terminate()
log = server.communicate()[0]
expected = {"/%00": 404, "/a%00b.js": 404, "/": 200, "/stream8.wasm": 200}
assert answers == expected and "Traceback" not in log, f"the page's server: {answers} {log}"
print("the page's server: 404 for a NUL in a path, and serves on")
PY

# The page's driver from npm, installed from the lock file into the cache.
command -v npm >/dev/null || ensure_packages npm  # a Node from elsewhere may bring its own
if ! cmp -s tests/web/package-lock.json "$npm_dir/package-lock.json"; then
    rm -rf "$npm_dir"
    mkdir -p "$npm_dir"
    cp tests/web/package.json tests/web/package-lock.json "$npm_dir/"
    (cd "$npm_dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
fi
NODE_PATH=$npm_dir/node_modules node tests/web/page_test.js build-web/page tests/golden/show.txt \
    "$work/web/show.txt" "$work/web/logo-00001.png"
say "web tests: Node $((t1 - t0)) s, browser $((SECONDS - t1)) s"
