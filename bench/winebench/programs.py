"""The programs the benchmark measures beside uninstall.exe: the NSIS peer (built here with
makensis from bench/peer/tandrel.nsi), the floor of the images folder's removal and the no-op
(bench/programs, built by scripts/benchmark.sh); and what an exe imports, read with objdump."""

import os
import re
import shutil
import subprocess
from dataclasses import dataclass, field

from wineharness import install_product, vocabulary

BENCH = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOT = os.path.dirname(BENCH)
OBJDUMP = "x86_64-w64-mingw32-objdump" if shutil.which("x86_64-w64-mingw32-objdump") else "i686-w64-mingw32-objdump"
PEER_SCRIPT = os.path.join(BENCH, "peer", "tandrel.nsi")


@dataclass
class ExeFacts:
    name: str
    size: int  # bytes on disk
    imports: dict = field(default_factory=dict)  # DLL name -> [function names], the import table only

    @property
    def function_count(self):
        return sum(len(functions) for functions in self.imports.values())


def exe_facts(name, path):
    """Size and import table of a PE file (objdump -p; the x86_64 one reads 32-bit images too, the
    i686 one only those); functions loaded at run time are not in it."""
    output = subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True, check=True, timeout=60).stdout
    imports, current = {}, None
    for line in output.splitlines():
        dll = re.match(r"\s*DLL Name: (\S+)", line)
        if dll:
            current = imports.setdefault(dll.group(1).upper(), [])
            continue
        function = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if current is not None and function:
            current.append(function.group(1))
        elif current is not None and not line.strip():
            current = None
    return ExeFacts(name, os.path.getsize(path), imports)


def build_peer(out_dir, product_exe, target=None):
    """The NSIS installer of VORSK Tandrel 98, from a staging folder with the same files
    install_product.py writes, and a copy of the uninstaller it writes at installation."""
    out_dir = os.path.abspath(out_dir)
    stage = os.path.join(out_dir, "stage")
    shutil.rmtree(stage, ignore_errors=True)
    for name, content in install_product.DOCUMENTS.items():
        install_product.write_file(os.path.join(stage, name), content)
    images = os.path.join(stage, vocabulary.IMAGES_FOLDER)
    for name in install_product.IMAGES:
        install_product.write_file(os.path.join(images, name), b"GIF89a" + name.encode("ascii"))
    install_product.copy_file(product_exe, os.path.join(stage, vocabulary.PRODUCT_EXE))
    installer = os.path.join(out_dir, "tandrel-nsis.exe")
    uninstaller = os.path.join(out_dir, "nsis-uninstall.exe")
    subprocess.run(["makensis", "-V2", f"-DSTAGE={stage}", f"-DOUT={installer}", f"-DUNINSTALLER_COPY={uninstaller}"]
                   + ([f"-DTARGET={target}"] if target else []) + [PEER_SCRIPT], check=True, timeout=300, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return installer, uninstaller


def makensis_version():
    result = subprocess.run(["makensis", "-VERSION"], capture_output=True, text=True, timeout=60, check=False)
    return result.stdout.strip()
