"""Helpers for running the real uninstall.exe under Wine: prefixes, a virtual display, answering
message boxes, reading the registry files of a prefix, installing the product, and the product's
names and texts (vocabulary), which the program is checked against.

It lives in tools/, apart from the scenarios, because the Wine tests, the conformance test, the
benchmark and the demo all use it; tools is the one folder Python needs on its path.
tests/wine/test_uninstall.py puts it there itself (CMake runs it to list the scenarios), the other
entry points run with PYTHONPATH=tools, which CTest and the scripts set."""
