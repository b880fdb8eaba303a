#!/usr/bin/env python3
"""Peer figures: headless Chromium's screencast of a page, measured like load_host measures ours.

  chromium_screencast.py URL WIDTH HEIGHT SECONDS [CHROMIUM]

Starts Chromium headless with software compositing (--disable-gpu) and a fresh profile, talks
the DevTools protocol over --remote-debugging-pipe, shows URL at exactly WIDTHxHEIGHT, starts
Page.startScreencast (JPEG, quality 80, every frame) and acks every frame. After a warm-up it
counts, for SECONDS, the frames whose JPEG is WIDTHxHEIGHT, and takes the CPU time (user +
system) of Chromium's whole process tree (children reaped inside the tree included, through
cutime/cstime) from /proc at the start and at the end, and the tree's summed RSS every second.

Chromium hands over JPEG-encoded frames (base64 in JSON), ours raw BGRA in shared memory: the
JPEG encoding is part of Chromium's cost, the reading of the frames by this script is not (nor
is load_host's part of ours); reader_cpu_s is this script's own CPU time over the window.
Audio is not muted: the page's WebAudio graph runs, and with no sound device here Chromium
plays it into a null sink; audio_s is how far the page's AudioContext clock advanced over the
window (the sound is not delivered to anyone).

Prints one line:
  peer=chromium-screencast frames=.. fps=.. wrong_size=.. audio_s=.. wall_s=.. tree_cpu_s=..
  reader_cpu_s=.. cpu_per_frame_ms=.. rss_mb=.. peak_rss_mb=.. processes=..
"""

import base64
import fcntl
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CLK_TCK = os.sysconf("SC_CLK_TCK")
PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")
WARM_UP_S = 5


def proc_stats():
    """pid -> (ppid, cpu ticks incl. reaped children, rss pages) for every process."""
    stats = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                line = f.read()
        except OSError:
            continue
        # Fields after the name (which may hold spaces) start at "state" (3).
        rest = line[line.rfind(")") + 2:].split()
        ppid = int(rest[1])
        ticks = sum(int(v) for v in rest[11:15])  # utime stime cutime cstime
        stats[int(name)] = (ppid, ticks, int(rest[21]))
    return stats


def mentions(pid, mark):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return mark in f.read()
    except OSError:
        return False


def tree_usage(root, mark):
    """({pid: cpu ticks}, rss MB) of root, all its descendants and the processes whose command
    line holds mark (the profile directory: Chromium's crash handlers leave the tree)."""
    stats = proc_stats()
    tree = {pid for pid in stats if pid == root or mentions(pid, mark)}
    grew = True
    while grew:
        grew = False
        for pid, (ppid, _, _) in stats.items():
            if pid not in tree and ppid in tree:
                tree.add(pid)
                grew = True
    rss = sum(stats[p][2] for p in tree) * PAGE_SIZE / (1024 * 1024)
    return {p: stats[p][1] for p in tree}, rss


def jpeg_size(data):
    """(width, height) from a JPEG's start-of-frame marker, or None."""
    i = 2
    while i + 9 < len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        length = int.from_bytes(data[i + 2:i + 4], "big")
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            height = int.from_bytes(data[i + 5:i + 7], "big")
            return int.from_bytes(data[i + 7:i + 9], "big"), height
        i += 2 + length
    return None


class Cdp:
    """DevTools protocol over a pipe pair: NUL-terminated JSON messages."""

    def __init__(self, to_browser, from_browser):
        self.out, self.inp = to_browser, from_browser
        self.buf = b""
        self.next_id = 0
        self.replies = {}
        self.events = []

    def send(self, method, params=None, session=None):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            msg["sessionId"] = session
        data = json.dumps(msg).encode() + b"\0"
        while data:
            data = data[os.write(self.out, data):]
        return self.next_id

    def pump(self, timeout):
        """Reads what arrives within timeout; replies are kept by id, events queued."""
        ready, _, _ = select.select([self.inp], [], [], timeout)
        if not ready:
            return
        chunk = os.read(self.inp, 1 << 20)
        if not chunk:
            raise RuntimeError("chromium closed the DevTools pipe")
        self.buf += chunk
        *messages, self.buf = self.buf.split(b"\0")
        for raw in messages:
            msg = json.loads(raw)
            if "id" in msg:
                self.replies[msg["id"]] = msg
            else:
                self.events.append(msg)

    def call(self, method, params=None, session=None, timeout=30):
        mid = self.send(method, params, session)
        deadline = time.monotonic() + timeout
        while mid not in self.replies:
            if time.monotonic() > deadline:
                raise RuntimeError(f"no reply to {method}")
            self.pump(0.2)
        reply = self.replies.pop(mid)
        if "error" in reply:
            raise RuntimeError(f"{method}: {reply['error']}")
        return reply.get("result", {})


def chromium_binary(given):
    # The real binary, not Debian's wrapper script, which adds flags of its own.
    for path in ([given] if given else []) + ["/usr/lib/chromium/chromium", "/usr/bin/chromium"]:
        if path and os.access(path, os.X_OK):
            return path
    sys.exit("chromium not found: apt-get install -y chromium")


def clear_of_low_fds(fd):
    moved = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
    os.close(fd)
    return moved


def launch(binary, width, height, profile):
    # Both pipes kept clear of fds 3 and 4, where the child's ends go.
    r_to, w_to, r_from, w_from = (clear_of_low_fds(fd) for fd in os.pipe() + os.pipe())
    args = [
        binary, "--headless=new", "--remote-debugging-pipe", "--no-sandbox", "--disable-gpu",
        f"--window-size={width},{height}", "--autoplay-policy=no-user-gesture-required",
        f"--user-data-dir={profile}", "--no-first-run", "--no-default-browser-check",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--disable-default-apps", "--disable-extensions", "--disable-breakpad",
        "--disable-domain-reliability", "--disable-client-side-phishing-detection",
        "--metrics-recording-only", "--no-pings", "--password-store=basic",
        "--disable-features=Translate,OptimizationHints,MediaRouter,AutofillServerCommunication",
        # A hidden headless page must not be throttled: it stands for a page being captured.
        "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
        "--disable-backgrounding-occluded-windows", "about:blank",
    ]

    def pipe_fds():
        os.dup2(r_to, 3)
        os.dup2(w_from, 4)

    # Crash dumps and caches go to the fresh profile too, not to the user's home.
    env = dict(os.environ, XDG_CONFIG_HOME=profile, XDG_CACHE_HOME=profile)
    proc = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, close_fds=False, preexec_fn=pipe_fds,
                            start_new_session=True)
    os.close(r_to)
    os.close(w_from)
    return proc, Cdp(w_to, r_from)


def alive(pid):
    """Running and not a zombie waiting to be reaped."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def stop(proc, cdp, pids, mark):
    """Closes the browser, then kills whatever of its tree is left."""
    pids |= set(tree_usage(proc.pid, mark)[0])
    try:
        cdp.send("Browser.close")
        proc.wait(timeout=10)
    except Exception:
        pass
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            pass
        for pid in filter(alive, pids):
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + 5
        while any(map(alive, pids)) and time.monotonic() < deadline:
            time.sleep(0.1)
    proc.poll()
    left = sorted(filter(alive, pids))
    if left:
        print(f"chromium_screencast: processes left: {left}", file=sys.stderr)


def measure(cdp, proc, mark, url, width, height, seconds):
    target = next(t for t in cdp.call("Target.getTargets")["targetInfos"] if t["type"] == "page")
    session = cdp.call("Target.attachToTarget",
                       {"targetId": target["targetId"], "flatten": True})["sessionId"]
    cdp.call("Page.enable", session=session)
    cdp.call("Emulation.setDeviceMetricsOverride",
             {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False}, session)
    cdp.call("Page.navigate", {"url": url}, session)
    # The screencast needs the page the navigation commits, so it starts once that has loaded.
    deadline = time.monotonic() + 30
    while not any(ev.get("method") == "Page.loadEventFired" for ev in cdp.events):
        if time.monotonic() > deadline:
            raise RuntimeError("the page did not load")
        cdp.pump(0.2)
    cdp.events.clear()
    cdp.call("Page.startScreencast", {"format": "jpeg", "quality": 80, "maxWidth": width,
                                      "maxHeight": height, "everyNthFrame": 1}, session)

    def audio_clock():
        clock = "ctx.state === 'running' ? ctx.currentTime : -1"  # the page's AudioContext
        r = cdp.call("Runtime.evaluate", {"expression": clock, "returnByValue": True}, session)
        return r.get("result", {}).get("value", -1)

    counting = False
    frames = wrong = 0
    peak_rss = 0.0

    def pump_until(deadline):
        nonlocal frames, wrong, peak_rss
        next_sample = time.monotonic() + 1
        while time.monotonic() < deadline:
            cdp.pump(0.05)
            events, cdp.events = cdp.events, []
            cdp.replies.clear()  # the acks' replies: nothing else is awaited here
            for ev in events:
                if ev.get("method") != "Page.screencastFrame":
                    continue
                p = ev["params"]
                cdp.send("Page.screencastFrameAck", {"sessionId": p["sessionId"]}, session)
                if counting:
                    # The frame header sits in the first few hundred bytes.
                    data = p["data"]
                    size = jpeg_size(base64.b64decode(data[:4096]))
                    size = size or jpeg_size(base64.b64decode(data))
                    if size == (width, height):
                        frames += 1
                    else:
                        wrong += 1
            if counting and time.monotonic() >= next_sample:
                peak_rss = max(peak_rss, tree_usage(proc.pid, mark)[1])
                next_sample += 1

    pump_until(time.monotonic() + WARM_UP_S)
    audio0 = audio_clock()
    ticks0, _ = tree_usage(proc.pid, mark)
    reader0 = time.process_time()
    start = time.monotonic()
    counting = True
    pump_until(start + seconds)
    wall = time.monotonic() - start
    reader = time.process_time() - reader0
    ticks1, rss = tree_usage(proc.pid, mark)
    counting = False
    audio1 = audio_clock()
    cdp.call("Page.stopScreencast", session=session)
    # Per process, so that one ending in the window (and not reaped inside the tree) does not
    # take its earlier time off the sum.
    cpu = sum(t - ticks0.get(pid, 0) for pid, t in ticks1.items()) / CLK_TCK
    audio_s = audio1 - audio0 if audio0 >= 0 and audio1 >= 0 else 0.0
    print(f"peer=chromium-screencast frames={frames} fps={frames / wall:.2f} wrong_size={wrong} "
          f"audio_s={audio_s:.3f} wall_s={wall:.3f} tree_cpu_s={cpu:.2f} reader_cpu_s={reader:.2f} "
          f"cpu_per_frame_ms={cpu * 1000 / frames if frames else 0:.2f} rss_mb={rss:.1f} "
          f"peak_rss_mb={max(peak_rss, rss):.1f} processes={len(ticks1)}", flush=True)
    return set(ticks0) | set(ticks1)


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit("usage: chromium_screencast.py URL WIDTH HEIGHT SECONDS [CHROMIUM]")
    url, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    seconds = float(sys.argv[4])
    binary = chromium_binary(sys.argv[5] if len(sys.argv) == 6 else None)
    profile = tempfile.mkdtemp(prefix="chromium-peer-")
    mark = profile.encode()
    proc, cdp = launch(binary, width, height, profile)
    pids = set()
    try:
        pids = measure(cdp, proc, mark, url, width, height, seconds)
    finally:
        stop(proc, cdp, pids, mark)
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main()
