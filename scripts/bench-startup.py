#!/usr/bin/python3
"""Start-up figures of Boxvisor, beside a minimal Qt Widgets program.

Measured over several runs on a private Xvfb display, reported as medians:
  * launch -> first visible window (the splash for Boxvisor, the only window for the reference),
  * end of the splash (its window is taken down after the 2000 ms hold) -> main window visible,
  * memory (RSS and PSS from /proc/<pid>/smaps_rollup) when the main window has become visible.

The programs write nothing for this: the script watches the X server. It selects
SubstructureNotify on the root window (no window manager runs, so top-level windows are the
root's children) and stamps each MapNotify, UnmapNotify and DestroyNotify as it arrives.

Needs: Xvfb, python3-xlib (Debian packages "xvfb", "python3-xlib").
Usage: scripts/bench-startup.py [--build-dir DIR] [--runs N]
"""

import argparse
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

try:
    from Xlib import X, display as xdisplay, error as xerror
except ImportError:
    sys.exit("bench-startup: python3-xlib is missing (apt-get install python3-xlib)")

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SPLASH_SIZE = (505, 447)


def free_display():
    for n in range(90, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return f":{n}"
    sys.exit("bench-startup: no free X display number")


class Xserver:
    """A private Xvfb, started and stopped by this script."""

    def __init__(self):
        self.name = free_display()
        self.proc = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while True:
            try:
                self.dpy = xdisplay.Display(self.name)
                break
            except Exception:
                if time.monotonic() > deadline or self.proc.poll() is not None:
                    self.stop()
                    sys.exit("bench-startup: Xvfb did not start")
                time.sleep(0.05)
        self.root = self.dpy.screen().root
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.dpy.sync()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(5)

    def drain(self):
        while self.dpy.pending_events():
            self.dpy.next_event()

    def events(self, deadline):
        """Yields (monotonic time of arrival, event) until the deadline."""
        while time.monotonic() < deadline:
            if not self.dpy.pending_events():
                ready, _, _ = select.select([self.dpy.fileno()], [], [], max(0.0, deadline - time.monotonic()))
                if not ready:
                    continue
            stamp = time.monotonic()
            # pending_events() reads what the socket holds; each event gets the time it came in.
            while self.dpy.pending_events():
                yield stamp, self.dpy.next_event()

    def describe(self, window):
        try:
            geometry = window.get_geometry()
            name = window.get_wm_name() or ""
            if isinstance(name, bytes):
                name = name.decode("latin-1")
            return (geometry.width, geometry.height), name
        except (xerror.BadWindow, xerror.BadDrawable):
            return None, ""


def memory_kib(pid):
    figures = {}
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("Rss", "Pss"):
                    figures[key] = int(rest.split()[0])
    except OSError:
        pass
    return figures.get("Rss"), figures.get("Pss")


def stop_program(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def run_once(xs, argv, cwd, env, with_splash, main_title, timeout):
    """One launch; returns a dict of figures (seconds, KiB) or raises RuntimeError."""
    xs.drain()
    env = dict(env, DISPLAY=xs.name, QT_QPA_PLATFORM="xcb")
    start = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    result = {}
    splash = None
    try:
        for stamp, ev in xs.events(start + timeout):
            if ev.type == X.MapNotify:
                size, name = xs.describe(ev.window)
                if "first_visible" not in result:
                    result["first_visible"] = stamp - start
                    if not with_splash:
                        result["rss"], result["pss"] = memory_kib(proc.pid)
                        return result
                    if size != SPLASH_SIZE:
                        raise RuntimeError(f"first window is {size} {name!r}, not the splash")
                    splash = ev.window.id
                    continue
                if "splash_end" in result and (main_title in name or not main_title):
                    result["main_visible"] = stamp - result.pop("splash_end_abs")
                    result["splash_shown"] = result["splash_end"]
                    result["rss"], result["pss"] = memory_kib(proc.pid)
                    return result
            elif ev.type in (X.UnmapNotify, X.DestroyNotify) and splash is not None:
                if ev.window.id == splash and "splash_end" not in result:
                    result["splash_end"] = stamp - start - result["first_visible"]
                    result["splash_end_abs"] = stamp
            if proc.poll() is not None:
                raise RuntimeError(f"program ended early with code {proc.returncode}")
        raise RuntimeError(f"no {'main ' if with_splash else ''}window within {timeout} s")
    finally:
        stop_program(proc)


def boxvisor_workdir(tmp):
    """A start folder like the demo's: the demo folder's files, and a gateway list in any case."""
    work = os.path.join(tmp, "start")
    demo = os.path.join(REPO, "demo")
    if os.path.isdir(demo):
        shutil.copytree(demo, work)
    else:
        os.makedirs(work)
    providers = os.path.join(work, "SMSProvider.txt")
    if not os.path.exists(providers):
        with open(providers, "w", encoding="latin-1") as f:
            f.write("[Telecom Paging]; (NZ);+64 (26) 4001283;80;;TAP\n")
    return work


def fmt(values, unit, scale=1.0):
    values = [v for v in values if v is not None]
    if not values:
        return "n/a"
    med = statistics.median(values) * scale
    return f"{med:8.1f} {unit}  (min {min(values) * scale:.1f}, max {max(values) * scale:.1f}, n={len(values)})"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build"))
    parser.add_argument("--program", help="Boxvisor program (default: <build-dir>/src/app/ui/boxvisor)")
    parser.add_argument("--minimal", help="reference program (default: <build-dir>/tests/bench/minimal_window)")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--main-title", default="Boxvisor beta",
                        help="part of the main window's title (empty: the next window after the splash)")
    parser.add_argument("--timeout", type=float, default=30.0)
    args = parser.parse_args()

    program = os.path.abspath(args.program or os.path.join(args.build_dir, "src", "app", "ui", "boxvisor"))
    minimal = os.path.abspath(args.minimal or os.path.join(args.build_dir, "tests", "bench", "minimal_window"))

    tmp = tempfile.mkdtemp(prefix="bench-startup-")
    env = dict(os.environ, HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "config"),
               XDG_RUNTIME_DIR=tmp, QT_LOGGING_RULES="*.debug=false")
    env.pop("WAYLAND_DISPLAY", None)
    xs = Xserver()
    try:
        rows = []
        if os.access(minimal, os.X_OK):
            runs = []
            for _ in range(args.runs):
                try:
                    runs.append(run_once(xs, [minimal], tmp, env, False, "", args.timeout))
                except RuntimeError as e:
                    print(f"minimal_window: {e}", file=sys.stderr)
            rows.append(("minimal_window", runs))
        else:
            print(f"bench-startup: {minimal} not built (target minimal_window)", file=sys.stderr)

        if os.access(program, os.X_OK):
            work = boxvisor_workdir(tmp)
            runs = []
            for _ in range(args.runs):
                try:
                    runs.append(run_once(xs, [program], work, env, True, args.main_title, args.timeout))
                except RuntimeError as e:
                    print(f"boxvisor: {e}", file=sys.stderr)
            rows.append(("boxvisor", runs))
        else:
            print(f"bench-startup: {program} not built (target boxvisor)", file=sys.stderr)

        for name, runs in rows:
            print(f"{name}:")
            print(f"  launch -> first window visible : {fmt([r.get('first_visible') for r in runs], 'ms', 1000)}")
            if name == "boxvisor":
                print(f"  splash visible for              : {fmt([r.get('splash_shown') for r in runs], 'ms', 1000)}")
                print(f"  splash end -> main window       : {fmt([r.get('main_visible') for r in runs], 'ms', 1000)}")
            print(f"  RSS at main window              : {fmt([r.get('rss') for r in runs], 'MiB', 1 / 1024)}")
            print(f"  PSS at main window              : {fmt([r.get('pss') for r in runs], 'MiB', 1 / 1024)}")
    finally:
        xs.stop()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
