"""Message boxes seen and answered as a user would: the box is found on the X display by its title,
focused, and answered with a key (Return = the default button, OK; Escape = Cancel). What the box
says is read by message_boxes.exe, run in the same prefix, since the text is not an X property."""

import os
import subprocess
import time

from wineharness.vocabulary import DISPLAY_NAME


class MessageBox:
    def __init__(self, window_id, text, icon, buttons):
        self.window_id = window_id
        self.text = text
        self.icon = icon
        self.buttons = buttons
        self.answer = None

    def __repr__(self):
        icon = f"{self.icon} icon" if self.icon else "no icon"
        return f"<box {self.text!r} [{self.buttons}] {icon}, answered {self.answer}>"


def _xdotool(display, *args, timeout=15, check=True):
    env = dict(os.environ, DISPLAY=display)
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, timeout=timeout, check=check)


class BoxWatcher:
    """Finds the message boxes titled `caption` on the prefix's display. Every box seen is kept in
    `seen`, in the order of appearance."""

    def __init__(self, prefix, reader_exe, caption=DISPLAY_NAME):
        self.prefix = prefix
        self.reader_exe = reader_exe
        self.caption = caption
        self.seen = []
        # X window ids of the boxes on the screen at the last look. An id is no name for a box: the X
        # server hands the ids of a client that has gone to the next one, so the second process's
        # box may get the same id as the first process's.
        self._present = set()

    def _box_windows(self):
        result = _xdotool(self.prefix.display, "search", "--name", f"^{self.caption}$", check=False)
        return [int(line) for line in result.stdout.split()]

    def _read_boxes(self):
        """[(text, icon, buttons)] of the boxes with our caption, as message_boxes.exe reports them;
        icon is the kind of system icon ("error", "question", ...), "" for none."""
        output = self.prefix.run([self.reader_exe, self.caption], timeout=60).stdout
        boxes = []
        for line in output.splitlines():
            fields = {}
            for part in line.split(" ", 3):
                key, _, value = part.partition("=")
                fields[key] = value
            text = fields.get("text", "").replace("\\r", "\r").replace("\\n", "\n")
            icon = fields.get("icon", "")
            boxes.append((text, "" if icon == "none" else icon, fields.get("buttons", "")))
        return boxes

    def poll(self):
        """A box that appeared since the last call, or None."""
        windows = self._box_windows()
        self._present &= set(windows)  # boxes that have gone
        for window_id in windows:
            if window_id in self._present:
                continue
            self._present.add(window_id)
            # The X window exists a moment before the dialog has its controls and has drawn its icon;
            # read until it has text and a known icon (or none).
            deadline = time.monotonic() + 10
            while True:
                boxes = self._read_boxes()
                if len(boxes) == 1 and boxes[0][0] and boxes[0][1] != "other" or time.monotonic() > deadline:
                    break
                time.sleep(0.2)
            if len(boxes) == 1:
                box = MessageBox(window_id, *boxes[0])
            else:
                box = MessageBox(window_id, f"<{len(boxes)} boxes on the screen at once: {boxes}>", "", "")
            self.seen.append(box)
            return box
        return None

    def wait_for_box(self, timeout=60, while_running=None):
        """Waits for the next box; None when `timeout` passes first, or when `while_running` (a
        Popen) has ended and no box came."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            box = self.poll()
            if box is not None:
                return box
            if while_running is not None and while_running.poll() is not None:
                return self.poll()
            time.sleep(0.1)
        return None

    def answer(self, box, key):
        """Focuses the box and presses `key` ("Return" or "Escape") on the keyboard."""
        _xdotool(self.prefix.display, "windowfocus", "--sync", str(box.window_id), check=False)
        _xdotool(self.prefix.display, "key", "--clearmodifiers", key)
        box.answer = key
        # The box must be gone afterwards; a key that went elsewhere would leave it waiting forever.
        deadline = time.monotonic() + 10
        while box.window_id in self._box_windows():
            if time.monotonic() > deadline:
                raise AssertionError(f"message box still open after pressing {key}: {box}")
            time.sleep(0.1)
        self._present.discard(box.window_id)
