"""Helpers for running the real uninstall.exe under Wine: prefixes, a virtual display, answering
message boxes, and reading the registry files of a prefix."""
