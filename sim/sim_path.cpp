#include "sim_path.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace sim {

void Fail(const std::string& message) {
    std::fprintf(stderr, "simulated Windows: %s\n", message.c_str());
    std::abort();
}

std::string UpperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool SameName(const std::string& a, const std::string& b) {
    return UpperCase(a) == UpperCase(b);
}

namespace {

bool IsDriveSpec(const std::string& s) {
    return s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
}

bool ValidName(const std::string& name, bool wildcards) {
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32) {
            return false;
        }
        switch (c) {
            case '<':
            case '>':
            case ':':
            case '"':
            case '|':
                return false;
            case '?':
            case '*':
                if (!wildcards) {
                    return false;
                }
                break;
            default:
                break;
        }
    }
    return true;
}

std::vector<std::string> SplitPath(const std::string& text) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (c == '\\') {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

}  // namespace

DWORD ResolvePath(const std::string& raw, const std::string& cwd, SimPath& out, bool wildcards,
                  bool enforceLimit, bool checkNames) {
    out = SimPath{};
    if (raw.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (enforceLimit && raw.size() >= MAX_PATH) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    std::string s = raw;
    for (char& c : s) {
        if (c == '/') {
            c = '\\';
        }
    }
    SimPath base;
    if (!cwd.empty() && cwd != raw) {
        if (ResolvePath(cwd, "", base, false, false) != 0) {
            return ERROR_PATH_NOT_FOUND;
        }
    }

    std::string rest;
    if (s.rfind("\\\\", 0) == 0) {
        if (s.rfind("\\\\?\\", 0) == 0 || s.rfind("\\\\.\\", 0) == 0) {
            return ERROR_INVALID_NAME;  // device and long-path forms are not simulated
        }
        std::vector<std::string> parts = SplitPath(s.substr(2));
        if (parts.size() < 2 || parts[0].empty() || parts[1].empty() || !ValidName(parts[0], false) ||
            !ValidName(parts[1], false)) {
            return ERROR_BAD_NETPATH;
        }
        out.root = "\\\\" + parts[0] + "\\" + parts[1];
        for (size_t i = 2; i < parts.size(); ++i) {
            rest += "\\" + parts[i];
        }
    } else if (IsDriveSpec(s)) {
        out.root = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])))) + ":";
        rest = s.substr(2);
        if ((rest.empty() || rest[0] != '\\') && SameName(base.root, out.root)) {
            out.segments = base.segments;  // drive-relative: from that drive's current folder
        }
    } else if (s[0] == '\\') {
        if (base.root.empty()) {
            return ERROR_PATH_NOT_FOUND;
        }
        out.root = base.root;
        rest = s;
    } else {
        if (base.root.empty()) {
            return ERROR_PATH_NOT_FOUND;
        }
        out.root = base.root;
        out.segments = base.segments;
        rest = s;
    }

    bool endsWithSeparator = !rest.empty() && rest.back() == '\\';
    out.folderForm = endsWithSeparator;
    std::vector<std::string> parts = SplitPath(rest);
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string part = parts[i];
        bool last = i + 1 == parts.size();
        if (last && !endsWithSeparator) {
            // Windows drops trailing dots and spaces from the last name.
            while (!part.empty() && (part.back() == '.' || part.back() == ' ') && part != "." &&
                   part != "..") {
                part.pop_back();
            }
        } else if (part.size() > 1 && part.back() == '.' && part[part.size() - 2] != '.') {
            part.pop_back();  // a folder name ending in one dot: Windows drops the dot
        }
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!out.segments.empty()) {
                out.segments.pop_back();
            }
            continue;
        }
        if (checkNames && !ValidName(part, wildcards && last)) {
            return ERROR_INVALID_NAME;
        }
        out.segments.push_back(part);
    }
    return 0;
}

std::string PathText(const SimPath& path) {
    std::string text = path.root;
    for (const std::string& segment : path.segments) {
        text += "\\" + segment;
    }
    if (path.segments.empty() && path.root.size() == 2) {
        text += "\\";
    }
    return text;
}

std::string PathKey(const SimPath& path) {
    return UpperCase(PathText(path));
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
    std::string p = UpperCase(pattern == "*.*" ? std::string("*") : pattern);
    std::string n = UpperCase(name);
    size_t pi = 0, ni = 0, starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') {
        ++pi;
    }
    return pi == p.size();
}

}  // namespace sim
