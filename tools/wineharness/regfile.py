"""Reads the registry files that Wine keeps in a prefix (system.reg for HKEY_LOCAL_MACHINE, user.reg
for HKEY_CURRENT_USER). The wineserver writes them when it exits, so read them only after that.

Key paths are given and compared without regard to letter case, like the registry does."""

import re

_KEY_LINE = re.compile(r"^\[(?P<path>(?:[^\]\\]|\\.)*)\](?:\s+\d+)?\s*$")
_VALUE_LINE = re.compile(r'^(?:@|"(?P<name>(?:[^"\\]|\\.)*)")=(?P<data>.*)$')


def _unescape(text):
    """Undoes the escapes of Wine's registry files: \\\\, \\", \\n, \\r, \\t, \\0, \\xHHHH."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 >= len(text):
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        if n == "x":
            digits = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
            out.append(chr(int(digits.group(0), 16)))
            i += 2 + len(digits.group(0))
            continue
        out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
        i += 2
    return "".join(out)


class Value:
    """One registry value: its type as written in the file ("sz", "expand_sz", "dword", "hex" or
    "hex(N)") and its data (a str for strings, an int for dwords, the raw text otherwise)."""

    def __init__(self, kind, data):
        self.kind = kind
        self.data = data

    def __eq__(self, other):
        return isinstance(other, Value) and (self.kind, self.data) == (other.kind, other.data)

    def __repr__(self):
        return f"{self.kind}:{self.data!r}"


def _parse_data(data):
    if data.startswith('"') and data.endswith('"'):
        return Value("sz", _unescape(data[1:-1]))
    if data.startswith('str(2):"') and data.endswith('"'):
        return Value("expand_sz", _unescape(data[8:-1]))
    if data.startswith("dword:"):
        return Value("dword", int(data[6:], 16))
    kind, _, raw = data.partition(":")
    return Value(kind, raw)


class Hive:
    """The keys of one registry file: {key path: {value name: Value}}. The default value has the
    name "" (written as @ in the file)."""

    def __init__(self, keys):
        # Wine writes a key only when it has values or no child keys; the keys above such a key
        # exist all the same.
        for path in list(keys):
            parts = path.split("\\")
            for depth in range(1, len(parts)):
                keys.setdefault("\\".join(parts[:depth]), {})
        self._keys = keys
        self._folded = {path.lower(): path for path in keys}

    @classmethod
    def load(cls, file_path):
        keys = {}
        current = None
        pending = ""
        with open(file_path, encoding="utf-8", errors="replace") as registry_file:
            for raw_line in registry_file:
                line = pending + raw_line.rstrip("\n")
                if line.endswith("\\") and current is not None and not line.startswith("["):
                    pending = line[:-1]  # long hex data continue on the next line
                    continue
                pending = ""
                key = _KEY_LINE.match(line)
                if key:
                    current = _unescape(key.group("path"))
                    keys[current] = {}
                    continue
                value = _VALUE_LINE.match(line)
                if value and current is not None:
                    name = "" if line.startswith("@") else _unescape(value.group("name"))
                    keys[current][name] = _parse_data(value.group("data"))
        return cls(keys)

    def exists(self, path):
        return path.lower() in self._folded

    def values(self, path):
        """The values of a key ({} when it is absent)."""
        real = self._folded.get(path.lower())
        return dict(self._keys[real]) if real is not None else {}

    def value(self, path, name):
        """The data of one value, None when the key or the value is absent (names without case)."""
        for value_name, value in self.values(path).items():
            if value_name.lower() == name.lower():
                return value.data
        return None

    def children(self, path):
        """Names of the direct child keys."""
        prefix = path.lower() + "\\"
        names = set()
        for folded, real in self._folded.items():
            if folded.startswith(prefix):
                names.add(real[len(prefix):].split("\\")[0])
        return sorted(names, key=str.lower)

    def subtree(self, path):
        """{path: {name: Value}} for the key and every key below it, with paths as stored."""
        folded_root = path.lower()
        return {
            real: dict(self._keys[real])
            for folded, real in sorted(self._folded.items())
            if folded == folded_root or folded.startswith(folded_root + "\\")
        }


class Registry:
    """Both registry files of a prefix, addressed with the root names HKLM and HKCU."""

    def __init__(self, prefix_dir):
        self.machine = Hive.load(f"{prefix_dir}/system.reg")
        self.user = Hive.load(f"{prefix_dir}/user.reg")

    def _split(self, full_path):
        root, _, path = full_path.partition("\\")
        hive = {"HKLM": self.machine, "HKEY_LOCAL_MACHINE": self.machine, "HKCU": self.user,
                "HKEY_CURRENT_USER": self.user}[root.upper()]
        return hive, path

    def exists(self, full_path):
        hive, path = self._split(full_path)
        return hive.exists(path)

    def values(self, full_path):
        hive, path = self._split(full_path)
        return hive.values(path)

    def value(self, full_path, name):
        hive, path = self._split(full_path)
        return hive.value(path, name)

    def children(self, full_path):
        hive, path = self._split(full_path)
        return hive.children(path)

    def subtree(self, full_path):
        hive, path = self._split(full_path)
        root = full_path.partition("\\")[0]
        return {f"{root}\\{key}": values for key, values in hive.subtree(path).items()}
