#!/usr/bin/env python3
"""The image viewer measured in the real program, in an X server of its own.

On a folder of different 24-megapixel JPEG photographs:
  - start-up without a file: from launching the program to the main window's
    first paint, less the time the splash is deliberately kept on screen;
  - start-up with a file: from launching to the picture's first paint, against
    1.3 x its decode time plus the start-up without a file; the decode time is
    that of one decode by the library in a fresh process (as the program
    decodes it), measured between the program's runs; the median of five
    decodes in one process is shown too;
  - stepping: from the Space key (sent through XTest) to the paint of the next
    picture, each time after the neighbour's prefetch has finished;
  - memory: the resident size while a picture is shown with its prefetched
    neighbour, beyond the resident size of the program without a file, in
    buffers of 6000 x 4000 x 4 bytes.
The program reports its paints and prefetches through AMBREL_TRACE_LOG.

Usage: viewer_bench.py <ambrel> <viewer_bench_photos> [--photos N] [--runs N]
"""
import argparse
import ctypes
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BUFFER_BYTES = 6000 * 4000 * 4
XK_SPACE = 0x20


def now_us():
    return time.time_ns() // 1000


class Trace:
    """Reads the program's trace log: lines '<microseconds> <event> [detail]'."""

    def __init__(self, path):
        self.path = path

    def events(self):
        try:
            with open(self.path, encoding="utf-8") as log:
                lines = log.read().splitlines()
        except FileNotFoundError:
            return []
        result = []
        for line in lines:
            parts = line.split(" ", 2)
            if len(parts) >= 2:
                result.append((int(parts[0]), parts[1], parts[2] if len(parts) == 3 else ""))
        return result

    def wait(self, event, detail=None, after=0, timeout=60.0):
        """The time of the first matching event at or after `after` (us)."""
        limit = time.monotonic() + timeout
        while time.monotonic() < limit:
            for stamp, name, text in self.events():
                if stamp >= after and name == event and (detail is None or text == detail):
                    return stamp
            time.sleep(0.002)
        raise TimeoutError(f"no '{event} {detail or ''}' in the trace")

    def first(self, event):
        for stamp, name, _ in self.events():
            if name == event:
                return stamp
        return None


class XServer:
    def __init__(self, size):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size, "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Keyboard:
    """Key presses through XTest, so that the moment of sending is exact."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.connection = self.x11.XOpenDisplay(display.encode())
        if not self.connection:
            raise RuntimeError("cannot open the display")

    def press(self, keysym):
        code = self.x11.XKeysymToKeycode(self.connection, keysym)
        sent = now_us()
        self.xtst.XTestFakeKeyEvent(self.connection, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.connection, code, 0, 0)
        self.x11.XFlush(self.connection)
        return sent

    def close(self):
        self.x11.XCloseDisplay(self.connection)


def resident_bytes(pid, field="VmRSS"):
    with open(f"/proc/{pid}/status", encoding="ascii") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    return 0


class Program:
    """One run of the program with a fresh home, so no saved state carries over."""

    def __init__(self, ambrel, work, display, arguments):
        self.home = tempfile.mkdtemp(dir=work, prefix="home-")
        runtime = os.path.join(self.home, "run")
        os.makedirs(runtime, mode=0o700)
        self.trace = Trace(os.path.join(self.home, "trace.log"))
        environment = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                           XDG_DATA_HOME=os.path.join(self.home, ".local/share"),
                           XDG_CACHE_HOME=os.path.join(self.home, ".cache"), XDG_RUNTIME_DIR=runtime,
                           AMBREL_UPDATE_SERVER="http://127.0.0.1:9/",
                           DISPLAY=display, QT_QPA_PLATFORM="xcb", AMBREL_TRACE_LOG=self.trace.path)
        self.log = open(os.path.join(self.home, "program.log"), "w", encoding="utf-8")
        self.started = now_us()
        self.process = subprocess.Popen([ambrel] + arguments, env=environment, stdout=self.log,
                                        stderr=subprocess.STDOUT)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()


def settle(seconds=0.8):
    time.sleep(seconds)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("ambrel")
    parser.add_argument("photos_helper")
    parser.add_argument("--photos", type=int, default=8)
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    options.ambrel = os.path.abspath(options.ambrel)
    for tool in ("Xvfb", "xdotool"):
        if not shutil.which(tool):
            print(f"viewer benchmark skipped: {tool} is missing")
            return 0

    work = tempfile.mkdtemp(prefix="ambrel-viewer-bench-")
    server = None
    try:
        folder = os.path.join(work, "photos")
        os.makedirs(folder)
        print(f"writing {options.photos} photographs of 6000 x 4000 ...", flush=True)
        helper = os.path.abspath(options.photos_helper)
        helper_environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        # The helper keeps the benchmark photograph in the current folder.
        warm_decode_ms = float(subprocess.check_output([helper, folder, str(options.photos)], text=True,
                                                       env=helper_environment).strip())
        paths = [os.path.join(folder, f"photo{i + 1}.jpg") for i in range(options.photos)]

        def fresh_decode():
            return float(subprocess.check_output([helper, "--decode", paths[0]], text=True,
                                                 env=helper_environment).strip())

        server = XServer("1920x1080x24")

        empty_ms, baselines = [], []
        for _ in range(options.runs):
            program = Program(options.ambrel, work, server.display, [])
            painted = program.trace.wait("frame-painted")
            shown, hidden = program.trace.first("splash-shown"), program.trace.first("splash-hidden")
            splash = (hidden - shown) if shown and hidden else 0
            empty_ms.append((painted - program.started - splash) / 1000)
            settle(1.5)
            baselines.append(resident_bytes(program.process.pid))
            program.stop()

        with_file_ms, decode_runs = [], []
        for run in range(options.runs):
            decode_runs.append(fresh_decode())
            program = Program(options.ambrel, work, server.display, [paths[0]])
            painted = program.trace.wait("image-painted", paths[0])
            with_file_ms.append((painted - program.started) / 1000)
            if run + 1 < options.runs:
                program.trace.wait("prefetched", paths[1])
                program.stop()

        # The last program stays open: memory while viewing, then stepping.
        program.trace.wait("prefetched", paths[1])
        settle()
        viewing = [resident_bytes(program.process.pid)]
        window = subprocess.check_output(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Ambrel - "],
                                         env=dict(os.environ, DISPLAY=server.display), text=True).split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=dict(os.environ, DISPLAY=server.display),
                       check=False)
        settle(0.3)
        keyboard = Keyboard(server.display)
        step_ms = []
        for index in range(1, options.photos):
            # The neighbour of the picture shown is decoded before the key comes.
            program.trace.wait("prefetched", paths[index])
            settle(0.3)
            sent = keyboard.press(XK_SPACE)
            painted = program.trace.wait("image-painted", paths[index], after=sent)
            step_ms.append((painted - sent) / 1000)
            if index + 1 < options.photos:
                program.trace.wait("prefetched", paths[index + 1], after=sent)
            settle(0.3)
            viewing.append(resident_bytes(program.process.pid))
        keyboard.close()
        peak = resident_bytes(program.process.pid, "VmHWM")
        program.stop()
    finally:
        if server:
            server.stop()
        shutil.rmtree(work, ignore_errors=True)

    decode_ms = statistics.median(decode_runs)
    baseline = statistics.median(baselines)
    empty = statistics.median(empty_ms)
    with_file = statistics.median(with_file_ms)
    allowed = 1.3 * decode_ms + empty
    steady = max(viewing)
    buffers = (steady - baseline) / BUFFER_BYTES
    peak_buffers = (peak - baseline) / BUFFER_BYTES

    def verdict(ok):
        return "meets" if ok else "MISSES"

    print()
    print("Image viewer, 24-megapixel JPEG photographs, real program in Xvfb")
    print(f"  decode of one photograph in a fresh process      {decode_ms:8.1f} ms   runs: "
          + ", ".join(f"{v:.0f}" for v in decode_runs) + f"   (warm, median of 5: {warm_decode_ms:.1f} ms)")
    print(f"  start-up without a file (less the splash)        {empty:8.1f} ms   runs: "
          + ", ".join(f"{v:.0f}" for v in empty_ms))
    print(f"  start-up with the photograph to its first paint  {with_file:8.1f} ms   runs: "
          + ", ".join(f"{v:.0f}" for v in with_file_ms))
    print(f"    allowed: 1.3 x decode + start-up without file  {allowed:8.1f} ms   "
          f"ratio to decode + start-up {with_file / (decode_ms + empty):.2f}   {verdict(with_file <= allowed)}")
    print(f"  Space to the next picture painted, prefetched    median {statistics.median(step_ms):.1f} ms, "
          f"max {max(step_ms):.1f} ms over {len(step_ms)} steps   target < 50 ms   "
          f"{verdict(max(step_ms) < 50)}")
    print(f"  memory while viewing, beyond the program alone   {buffers:8.2f} buffers "
          f"({(steady - baseline) / 1e6:.0f} MB over {baseline / 1e6:.0f} MB)   target <= 3   {verdict(buffers <= 3)}")
    print(f"    peak resident size beyond the program alone    {peak_buffers:8.2f} buffers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
