"""Reads Wine's debug log of the "file" channel (WINEDEBUG=+timestamp,+pid,trace+file): which
process tried which file operation on which path, and when. The log of a process also gets the
lines of the processes it starts, each line marked with its process id."""

import re

_LINE = re.compile(r"^(?:(?P<time>\d+\.\d+):)?(?P<pid>[0-9a-f]+):(?P<tid>[0-9a-f]+):trace:file:(?P<call>\w+) "
                   r"(?P<args>.*)$")
_FIRST_PATH = re.compile(r'^L"((?:[^"\\]|\\.)*)"')

TRACE_FILE_CALLS = "+timestamp,+pid,trace+file"


class Call:
    def __init__(self, time, pid, tid, name, path, args):
        self.time = time
        self.pid = pid
        self.tid = tid
        self.name = name
        self.path = path
        self.args = args

    def __repr__(self):
        return f"<{self.time} {self.pid} {self.name} {self.path}>"


def parse_line(line):
    match = _LINE.match(line.rstrip("\n"))
    if not match:
        return None
    path_match = _FIRST_PATH.match(match.group("args"))
    path = path_match.group(1).replace("\\\\", "\\") if path_match else None
    time = float(match.group("time")) if match.group("time") else None
    return Call(time, match.group("pid"), match.group("tid"), match.group("call"), path, match.group("args"))


class TraceLog:
    """A log file that is still being written: `calls()` gives every file call logged so far."""

    def __init__(self, path):
        self.path = path
        self._offset = 0
        self._rest = ""
        self._calls = []

    def calls(self, name=None, path=None):
        """Calls so far, optionally only those of one function on one path (path without case)."""
        try:
            with open(self.path, encoding="utf-8", errors="replace") as log:
                log.seek(self._offset)
                chunk = log.read()
                self._offset = log.tell()
        except FileNotFoundError:
            chunk = ""
        lines = (self._rest + chunk).split("\n")
        self._rest = lines.pop()
        for line in lines:
            call = parse_line(line)
            if call is not None:
                self._calls.append(call)
        return [call for call in self._calls
                if (name is None or call.name == name)
                and (path is None or (call.path or "").lower() == path.lower())]
