"""A virtual X display (Xvfb) for one test, and screenshots of it."""

import os
import select
import subprocess
import time


class VirtualDisplay:
    """Starts Xvfb on a free display number (Xvfb picks it itself and tells it through -displayfd,
    so tests running side by side never clash) and stops it, by its pid, when the block ends."""

    def __init__(self, width=1024, height=768, timeout=30):
        self.size = f"{width}x{height}x24"
        self.timeout = timeout
        self.process = None
        self.name = None

    def __enter__(self):
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size, "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = None
            number = b""
            deadline = time.monotonic() + self.timeout
            while not number.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                ready, _, _ = select.select([read_end], [], [], max(remaining, 0))
                chunk = os.read(read_end, 16) if ready else b""
                if not chunk:
                    raise RuntimeError("Xvfb did not start (is the package xvfb installed?)")
                number += chunk
            self.name = ":" + number.decode().strip()
            return self
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None


def screenshot(display, png_path, window_id=None, timeout=30):
    """Saves the whole screen (or one window) of an X display as PNG (ImageMagick's import)."""
    env = dict(os.environ, DISPLAY=display)
    target = str(window_id) if window_id is not None else "root"
    subprocess.run(["import", "-window", target, png_path], env=env, check=True, timeout=timeout,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
