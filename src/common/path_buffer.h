// Paths are composed in fixed buffers of MAX_PATH bytes. A composition that would not fit is refused
// as a whole, never cut: a cut path can name somebody else's file.
#pragma once

#include "platform/windows_api.h"

typedef char PathBuffer[MAX_PATH];

// Copies text into a buffer of `capacity` bytes; 1 on success, 0 (buffer emptied) when it does not fit.
int CopyText(LPSTR buffer, int capacity, LPCSTR text);

// Appends text to the string in a buffer of `capacity` bytes; 1 on success, 0 (buffer unchanged) when
// the result would not fit.
int AppendText(LPSTR buffer, int capacity, LPCSTR text);

// path = first + second [+ third [+ fourth]]; 1 on success, 0 (path emptied) when it would not fit.
int BuildPath(PathBuffer& path, LPCSTR first, LPCSTR second, LPCSTR third = nullptr, LPCSTR fourth = nullptr);

// Appends a backslash unless the path already ends in one; an empty path becomes "\".
// 1 on success, 0 (path unchanged) when there is no room for it.
int EnsureTrailingBackslash(PathBuffer& path);

// Byte-exact, case-sensitive substring search.
int ContainsText(LPCSTR text, LPCSTR part);

// Whether a command line holds `word` as an argument of its own, bare or quoted (ASCII letters without
// regard to case), past the program's name.
int HasArgument(LPCSTR commandLine, LPCSTR word);

// Turns every '/' of a path into '\', which Windows takes for the same separator.
void UseBackslashes(LPSTR path);

// Byte-exact equality: lstrcmpA compares as words do and takes some different texts for equal.
int SameText(LPCSTR text, LPCSTR other);

// Whether `wide` is exactly the ANSI text in Unicode (both terminated, the text at most MAX_PATH - 1
// characters). An ANSI program sees a name with a character its code page lacks as a look-alike
// ("C:\Users\Lukasz" for a user named with a Polish letter), which names something else.
int IsWideFormOf(LPCSTR text, LPCWSTR wide);

// Whether the environment would expand nothing in the path. The shell expands variables in the names
// it starts, so a folder really named "%USERNAME%" would start a file of some other folder.
int ExpandsToItself(LPCSTR path);

// A path that names its place by itself: "X:\..." or "\\server\share...". Relative and drive-relative
// paths would be resolved against whatever folder the process happens to run in.
int IsFullPath(LPCSTR path);

// Makes the raw data of a string value read into a PathBuffer a terminated string. `size` is the
// byte count the registry reported. Data that fill the whole buffer without a terminator cannot be
// a path of ours; then the buffer is cleared and 0 returned.
int TerminateValueData(PathBuffer& path, DWORD size);

// Clears every byte of the buffer.
void ClearPath(PathBuffer& path);
