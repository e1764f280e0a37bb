"""What one run gives, as typed records. Times are seconds; marks are seconds after the moment the
run is timed from (the press of Return for an uninstaller, the start for the others)."""

from dataclasses import dataclass, field
from typing import Optional


@dataclass
class UninstallRun:
    """One uninstall as the user starts it: ours ("ours") or the NSIS peer ("peer")."""
    kind: str
    images: int = 0  # added to the standard installation's 3
    keys: int = 0  # added below the per-user product key
    marks: dict = field(default_factory=dict)  # moment name -> seconds after Return
    cpu: dict = field(default_factory=dict)  # role -> processor seconds (None: not measured)
    cpu_total: Optional[float] = None  # every process of the run and the wineserver
    clean: str = "not run"  # "yes", or what of the product was left
    temp_after_run: list = field(default_factory=list)  # new in TEMP when the last process had ended
    temp_after_session: list = field(default_factory=list)  # ... and after the Wine session ended
    session_ended: str = ""  # how the session ended: "by itself (wineserver -w)" or "killed (wineserver -k)"
    attempts: Optional[list] = None  # [(time, pid)] of DeleteFileW on the installed exe (traced runs)

    @property
    def processes_gone(self):
        return self.marks.get("all ended")

    @property
    def temp_gone(self):
        """When the run's temporary files were gone; None while one is left."""
        return None if self.temp_after_run else self.marks.get("temp clean", 0.0)

    @property
    def end(self):
        """Return pressed → the last process gone and the temporary files gone (or, when a file
        stays, the last process gone)."""
        if self.processes_gone is None:
            return None
        return max(self.processes_gone, self.temp_gone or 0.0)

    @property
    def second_life(self):
        """The temporary copy's process from seen to exited: where the removals happen."""
        if "second exited" in self.marks and "second started" in self.marks:
            return self.marks["second exited"] - max(self.marks["second started"], 0.0)
        return None


@dataclass
class ProgramRun:
    """A program started from Linux in a warm prefix and timed from its start to its exit: the
    cmd/reg baseline ("baseline"), the no-op ("noop"), the floor ("floor", "floor listed")."""
    kind: str
    images: int = 0
    keys: int = 0
    end: Optional[float] = None
    cpu_total: Optional[float] = None
    clean: str = "not run"
    loop: Optional[float] = None  # the floor's own timing of its loop (QueryPerformanceCounter)
    deleted: Optional[int] = None  # files the floor deleted


@dataclass
class HeldScript:
    """The cleanup script while another program holds the temporary copy."""
    held: Optional[float] = None
    script_life: Optional[float] = None
    script_cpu: Optional[float] = None
    server_cpu: Optional[float] = None
    failure: str = ""
