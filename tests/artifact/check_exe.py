#!/usr/bin/env python3
"""Checks the built uninstall.exe as a file: a 32-bit GUI program for Intel 80386, whose only resource
is its icon, which imports nothing but the four system DLLs and functions the first 32-bit Windows
releases already had, and which stays within its size budget.

Usage: check_exe.py EXE (format | resources | imports | size)
"""
import os
import struct
import subprocess
import sys

# What the program may import: the ANSI functions it calls, ExitProcess and the DLL loading functions
# for its own start-up, the attribute functions to make the temporary copy and read-only product files
# deletable and to leave links alone, CreateMutexA and the hand-over event for one uninstall at a
# time, ExpandEnvironmentStringsA to start nothing the shell would expand, the folder functions to
# leave roots and the system's folders alone, the code page conversions for the cleanup script and
# for telling a temporary folder the ANSI code page cannot name, and FindWindowExA to ask every
# instance of the product to close, GetFileInformationByHandle to know the system's folders by their
# identity, ResetEvent for a hand-over event somebody left set, GetWindowThreadProcessId and
# OpenProcess to see the product's processes end, WaitForMultipleObjects for the copy's verdict, and
# ReadFile to tell this very uninstaller from another product's.
ALLOWED_IMPORTS = {
    'KERNEL32.dll': {
        'CloseHandle', 'CopyFileA', 'CreateDirectoryA', 'CreateEventA', 'CreateFileA', 'CreateMutexA', 'DeleteFileA',
        'ExitProcess', 'ExpandEnvironmentStringsA', 'FindClose', 'FindFirstFileA', 'FindNextFileA', 'GetCommandLineA',
        'GetFileAttributesA', 'GetFileInformationByHandle', 'GetFullPathNameA', 'GetLastError', 'GetModuleFileNameA', 'GetModuleHandleA',
        'GetProcAddress', 'GetSystemDirectoryA', 'GetTempPathA', 'GetWindowsDirectoryA', 'IsBadReadPtr',
        'IsBadWritePtr', 'LoadLibraryA', 'MultiByteToWideChar', 'OpenProcess', 'ReadFile', 'RemoveDirectoryA', 'ResetEvent', 'SetEvent',
        'SetFileAttributesA', 'Sleep', 'WaitForMultipleObjects', 'WaitForSingleObject', 'WriteFile', 'lstrcatA', 'lstrcmpA', 'lstrcmpiA', 'lstrcpyA', 'lstrlenA',
    },
    'USER32.dll': {
        'CharToOemBuffA', 'FindWindowA', 'FindWindowExA', 'GetWindowThreadProcessId', 'MessageBoxA', 'OemToCharBuffA',
        'PostMessageA', 'wsprintfA',
    },
    'ADVAPI32.dll': {
        'RegCloseKey', 'RegCreateKeyExA', 'RegDeleteKeyA', 'RegEnumKeyExA', 'RegOpenKeyExA', 'RegQueryInfoKeyA',
        'RegQueryValueExA',
    },
    'SHELL32.dll': {'SHChangeNotify', 'ShellExecuteA'},
}
SIZE_LIMIT = 16 * 1024
RT_ICON, RT_GROUP_ICON = 3, 14


class Pe:
    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b'MZ':
            raise SystemExit('not an MZ executable')
        self.pe = struct.unpack_from('<I', d, 0x3C)[0]
        if d[self.pe:self.pe + 4] != b'PE\0\0':
            raise SystemExit('no PE signature')
        self.machine, self.section_count = struct.unpack_from('<HH', d, self.pe + 4)
        optional_size, self.characteristics = struct.unpack_from('<HH', d, self.pe + 20)
        self.optional = self.pe + 24
        self.magic = struct.unpack_from('<H', d, self.optional)[0]
        self.subsystem = struct.unpack_from('<H', d, self.optional + 68)[0]
        directories = self.optional + 96
        self.resource_rva, self.resource_size = struct.unpack_from('<II', d, directories + 2 * 8)
        self.sections = []
        table = self.optional + optional_size
        for i in range(self.section_count):
            name, vsize, rva, rawsize, rawptr = struct.unpack_from('<8sIIII', d, table + 40 * i)
            self.sections.append((name.rstrip(b'\0').decode(), rva, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for _, start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise SystemExit('address 0x%x lies in no section' % rva)

    def resources(self):
        """Yields (type, name, language, data) for every resource leaf."""
        if not self.resource_rva:
            return
        base = self.offset(self.resource_rva)

        def entries(at):
            named, ids = struct.unpack_from('<HH', self.data, at + 12)
            for i in range(named + ids):
                ident, target = struct.unpack_from('<II', self.data, at + 16 + 8 * i)
                yield ident, target

        for rtype, t in entries(base):
            for name, n in entries(base + (t & 0x7FFFFFFF)):
                for language, leaf in entries(base + (n & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from('<II', self.data, base + leaf)
                    yield rtype, name, language, self.data[self.offset(rva):self.offset(rva) + size]


def check_format(exe):
    pe = Pe(exe)
    assert pe.machine == 0x14C, 'machine 0x%x, not Intel 80386' % pe.machine
    assert pe.magic == 0x10B, 'not a PE32 (32-bit) image'
    assert pe.subsystem == 2, 'subsystem %d, not Windows GUI' % pe.subsystem
    print('PE32, Intel 80386, GUI subsystem')


def check_resources(exe):
    found = list(Pe(exe).resources())
    kinds = sorted((rtype, name) for rtype, name, _, _ in found)
    groups = [(name, data) for rtype, name, _, data in found if rtype == RT_GROUP_ICON]
    assert len(groups) == 1 and groups[0][0] == 101, 'expected one icon group 101, found %r' % kinds
    reserved, kind, count = struct.unpack_from('<HHH', groups[0][1], 0)
    assert (reserved, kind, count) == (0, 1, 2), 'icon group must hold two images, holds %d' % count
    images = {}
    for rtype, name, _, data in found:
        if rtype == RT_ICON:
            images[name] = data
    sizes = []
    for i in range(count):
        width, height, colours, _, planes, bits, size, ident = struct.unpack_from('<BBBBHHIH', groups[0][1], 6 + 14 * i)
        assert ident in images, 'icon image %d missing' % ident
        header = struct.unpack_from('<IiiHH', images[ident], 0)
        assert header[1] == width and header[2] == 2 * height and header[4] == 4, \
            'image %d is not %dx%d in 16 colours' % (ident, width, height)
        assert colours == 16 and bits == 4
        sizes.append((width, height))
    assert sorted(sizes) == [(16, 16), (32, 32)], 'icon sizes %r' % sizes
    others = [k for k in kinds if k[0] not in (RT_ICON, RT_GROUP_ICON)]
    assert not others and len(images) == 2, 'resources besides the icon: %r' % kinds
    print('resources: icon group 101 with 16x16 and 32x32 images in 16 colours, nothing else')


def check_imports(exe):
    objdump = os.environ.get('OBJDUMP', 'i686-w64-mingw32-objdump')
    listing = subprocess.run([objdump, '-p', exe], check=True, capture_output=True, text=True).stdout
    imports, dll = {}, None
    in_table = False
    for line in listing.splitlines():
        if line.strip().startswith('DLL Name:'):
            dll = line.split(':', 1)[1].strip()
            imports.setdefault(dll, set())
            in_table = False
        elif dll and 'Hint/Ord' in line:
            in_table = True
        elif dll and in_table:
            parts = line.split()
            if len(parts) >= 3 and all(c in '0123456789abcdef' for c in parts[0]):
                imports[dll].add(parts[2])
            elif not line.strip():
                in_table = False
    assert imports, 'no import table found'
    problems = []
    for dll, functions in sorted(imports.items()):
        allowed = ALLOWED_IMPORTS.get(dll.upper().replace('.DLL', '.dll'))
        if allowed is None:
            problems.append('imports DLL %s' % dll)
            continue
        for function in sorted(functions - allowed):
            problems.append('imports %s!%s' % (dll, function))
    assert not problems, '\n'.join(problems)
    for dll, functions in sorted(imports.items()):
        print('%s: %s' % (dll, ', '.join(sorted(functions))))


def check_size(exe):
    size = os.path.getsize(exe)
    print('uninstall.exe: %d bytes (%.1f KiB), budget %d' % (size, size / 1024, SIZE_LIMIT))
    assert size <= SIZE_LIMIT, 'larger than %d bytes' % SIZE_LIMIT


if __name__ == '__main__':
    exe, what = sys.argv[1], sys.argv[2]
    try:
        {'format': check_format, 'resources': check_resources, 'imports': check_imports, 'size': check_size}[what](exe)
    except AssertionError as failure:
        print('FAILED: %s' % failure)
        sys.exit(1)
