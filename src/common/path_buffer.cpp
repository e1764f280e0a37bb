#include "common/path_buffer.h"

int CopyText(LPSTR buffer, int capacity, LPCSTR text) {
    buffer[0] = 0;
    return AppendText(buffer, capacity, text);
}

int AppendText(LPSTR buffer, int capacity, LPCSTR text) {
    if (lstrlenA(buffer) + lstrlenA(text) >= capacity) {
        return 0;
    }
    lstrcatA(buffer, text);
    return 1;
}

int BuildPath(PathBuffer& path, LPCSTR first, LPCSTR second, LPCSTR third, LPCSTR fourth) {
    LPCSTR parts[] = {first, second, third, fourth};
    path[0] = 0;
    for (LPCSTR part : parts) {
        if (part != nullptr && !AppendText(path, MAX_PATH, part)) {
            path[0] = 0;
            return 0;
        }
    }
    return 1;
}

int EnsureTrailingBackslash(PathBuffer& path) {
    int length = lstrlenA(path);
    if (length > 0 && path[length - 1] == '\\') {
        return 1;
    }
    return AppendText(path, MAX_PATH, "\\");
}

namespace {

char FoldCase(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

int ContainsText(LPCSTR text, LPCSTR part) {
    if (text == nullptr || part == nullptr) {
        return 0;
    }
    for (; *text != 0; ++text) {
        int matched = 0;
        while (part[matched] != 0 && text[matched] == part[matched]) {
            ++matched;
        }
        if (part[matched] == 0) {
            return 1;
        }
    }
    return part[0] == 0;
}

int HasArgument(LPCSTR commandLine, LPCSTR word) {
    // The program's name first, quoted or not: a folder in it may look like a switch.
    LPCSTR at = commandLine;
    if (*at == '"') {
        for (++at; *at != 0 && *at != '"'; ++at) {
        }
        at += *at == '"';
    }
    for (;;) {
        while (*at != 0 && *at != ' ' && *at != '\t') {
            ++at;
        }
        while (*at == ' ' || *at == '\t') {
            ++at;
        }
        if (*at == 0) {
            return 0;
        }
        // Some deployment tools quote every argument: "/S" is /S.
        int quoted = *at == '"';
        LPCSTR text = at + quoted;
        int matched = 0;
        while (word[matched] != 0 && FoldCase(text[matched]) == FoldCase(word[matched])) {
            ++matched;
        }
        char after = text[matched];
        if (quoted && after == '"') {
            after = text[matched + 1];
        } else if (quoted) {
            after = 'x';  // not closed right after the word
        }
        if (word[matched] == 0 && (after == 0 || after == ' ' || after == '\t')) {
            return 1;
        }
    }
}

void UseBackslashes(LPSTR path) {
    for (; *path != 0; ++path) {
        if (*path == '/') {
            *path = '\\';
        }
    }
}

int SameText(LPCSTR text, LPCSTR other) {
    for (; *text == *other; ++text, ++other) {
        if (*text == 0) {
            return 1;
        }
    }
    return 0;
}

int IsWideFormOf(LPCSTR text, LPCWSTR wide) {
    WCHAR widened[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, widened, MAX_PATH) == 0) {
        return 0;
    }
    for (int i = 0; widened[i] == wide[i]; ++i) {
        if (wide[i] == 0) {
            return 1;
        }
    }
    return 0;
}

int ExpandsToItself(LPCSTR path) {
    PathBuffer expanded;
    DWORD size = ExpandEnvironmentStringsA(path, expanded, MAX_PATH);
    return size > 0 && size <= MAX_PATH && SameText(expanded, path);
}

int IsFullPath(LPCSTR path) {
    char drive = static_cast<char>(path[0] | 0x20);
    if (drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\') {
        return 1;
    }
    // "\\server\share": a server alone is no folder, and a name appended to it would be a share.
    if (path[0] != '\\' || path[1] != '\\' || path[2] == 0 || path[2] == '\\') {
        return 0;
    }
    int end = 2;
    while (path[end] != 0 && path[end] != '\\') {
        ++end;
    }
    return path[end] == '\\' && path[end + 1] != 0 && path[end + 1] != '\\';
}

int TerminateValueData(PathBuffer& path, DWORD size) {
    DWORD length = 0;
    while (length < size && length < MAX_PATH && path[length] != 0) {
        ++length;
    }
    if (length >= MAX_PATH) {
        ClearPath(path);
        return 0;
    }
    path[length] = 0;
    return 1;
}

void ClearPath(PathBuffer& path) {
    for (char& slot : path) {
        slot = 0;
    }
}
