"""Helpers for running the real uninstall.exe under Wine: prefixes, a virtual display, answering
message boxes, reading the registry files of a prefix, and installing the product.

tests/wine is the folder that holds this package and the one folder Python needs on its path:
test_uninstall.py finds the package beside itself, and the other entry points (compare.py of
tests/conformance, the benchmark, the demo) run with PYTHONPATH=tests/wine, which CTest and the
scripts set."""
