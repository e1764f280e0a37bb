// The two code pages of a western Windows: ANSI 1252, in which the program's strings and the file
// system's names are, and OEM 437, in which the command interpreter reads a batch file.
#pragma once

#include <string>

namespace sim {

// The OEM byte for an ANSI byte: its exact twin, or a best-fit look-alike ('?' when there is none).
unsigned char AnsiToOem(unsigned char ansi);
// The ANSI byte for an OEM byte, or 0 when the character has no twin in the ANSI code page.
unsigned char OemToAnsi(unsigned char oem);

// A batch file's bytes as the interpreter understands them, in ANSI terms. A character without an
// ANSI twin becomes a byte no file name can hold, so a path with one names nothing.
std::string DecodeOemText(const std::string& oem);

// ANSI text in UTF-16, as MultiByteToWideChar converts it.
std::u16string AnsiToWide(const std::string& ansi);
// UTF-16 text in ANSI: each character's twin, '?' where the code page has none.
std::string WideToAnsi(const std::u16string& wide);

}  // namespace sim
