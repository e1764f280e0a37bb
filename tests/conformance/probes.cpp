// The table of conformance probes. Each probe prints one line, "key: result", with only what is
// stable from run to run and machine to machine: return values, GetLastError after a failure, sizes,
// the bytes of buffers, and what a listing shows afterwards; never handle values or times.
#include "conformance/probes.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/windows_api.h"

namespace conformance {

// "%" is doubled in a script (the interpreter expands "%%" to one); 0x82 is "é" in code page 437,
// the OEM code page in which cmd reads batch files, 0xE9 is "é" in code page 1252.
const BatchCase kBatchCases[] = {
    {"plain", "plain", "plain", BatchMode::Plain},
    {"space", "with  space", "with  space", BatchMode::Plain},
    {"specials", "a&b(c)^d;e=f,g'h", "a&b(c)^d;e=f,g'h", BatchMode::Plain},
    {"percent_doubled", "p%cent%", "p%%cent%%", BatchMode::Plain},
    {"percent_single", "q%cent%", "q%cent%", BatchMode::Plain},
    {"bang", "bang!x", "bang!x", BatchMode::Plain},
    {"bang_delayed", "bang!y", "bang!y", BatchMode::DelayedExpansion},
    {"e_ansi", "caf\xE9", "caf\xE9", BatchMode::Plain},
    {"e_oem", "d\xE9j\xE0", "d\x82j\x85", BatchMode::Plain},
};
const int kBatchCaseCount = static_cast<int>(sizeof kBatchCases / sizeof kBatchCases[0]);

void BatchFolder(const BatchCase& batch, char* out, int size) {
    std::snprintf(out, static_cast<size_t>(size), "C:\\conf\\b\\%s", batch.folderName);
}

namespace {

void Line(const std::string& key, const char* format, ...) {
    char text[2048];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::printf("%s: %s\n", key.c_str(), text);
}

// Bytes as text: printable ASCII as it is, "\" doubled, anything else as \xNN.
std::string Bytes(const void* data, size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        char piece[8];
        if (bytes[i] == '\\') {
            text += "\\\\";
        } else if (bytes[i] >= 32 && bytes[i] < 127) {
            text += static_cast<char>(bytes[i]);
        } else {
            std::snprintf(piece, sizeof piece, "\\x%02X", bytes[i]);
            text += piece;
        }
    }
    return text;
}

// The outcome of a call that returns BOOL, with GetLastError when it failed.
std::string Bool(BOOL ok) {
    DWORD error = GetLastError();
    return ok ? "ok" : "fail " + std::to_string(error);
}

std::string Handle(HANDLE handle) {
    DWORD error = GetLastError();
    return handle != INVALID_HANDLE_VALUE ? "valid" : "invalid " + std::to_string(error);
}

// What a search for exactly this name finds: its attributes, size and name as listed.
std::string State(const char* path) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path, &data);
    if (search == INVALID_HANDLE_VALUE) {
        return "missing " + std::to_string(GetLastError());
    }
    char text[400];
    std::snprintf(text, sizeof text, "%s attr=0x%lX size=%lu", data.cFileName,
                  static_cast<unsigned long>(data.dwFileAttributes),
                  static_cast<unsigned long>(data.nFileSizeLow));
    FindClose(search);
    return text;
}

// Every name a search lists, in order, with its attributes and size, and how the search ends.
std::string Listing(const char* pattern) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) {
        return "none " + std::to_string(GetLastError());
    }
    std::string text;
    for (int count = 0; count < 100; ++count) {
        char entry[400];
        std::snprintf(entry, sizeof entry, "%s(0x%lX,%lu) ", data.cFileName,
                      static_cast<unsigned long>(data.dwFileAttributes),
                      static_cast<unsigned long>(data.nFileSizeLow));
        text += entry;
        if (!FindNextFileA(search, &data)) {
            text += "end " + std::to_string(GetLastError());
            break;
        }
    }
    if (!FindNextFileA(search, &data)) {
        text += " again " + std::to_string(GetLastError());
    }
    text += FindClose(search) ? " closed" : " close failed";
    return text;
}

// The length of the text in a buffer, or -1 when it has no terminator.
int Terminated(const char* buffer, size_t size) {
    const void* end = std::memchr(buffer, 0, size);
    return end == nullptr ? -1 : static_cast<int>(static_cast<const char*>(end) - buffer);
}

HANDLE OpenShared(const char* path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// CreateFileA with CREATE_NEW, the handle closed at once.
std::string CreateNew(const char* path) {
    HANDLE file = OpenShared(path, GENERIC_WRITE, 0, CREATE_NEW);
    std::string outcome = Handle(file);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return outcome;
}

// A file with the given content and attributes, made for a probe; reports only when it fails.
void MakeFile(const char* path, const char* content, DWORD attributes = 0) {
    HANDLE file = OpenShared(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE ||
        !WriteFile(file, content, static_cast<DWORD>(std::strlen(content)), &written, nullptr) ||
        !CloseHandle(file) || (attributes != 0 && !SetFileAttributesA(path, attributes))) {
        Line(std::string("setup.") + path, "failed %lu", static_cast<unsigned long>(GetLastError()));
    }
}

void MakeFolder(const char* path) {
    if (!CreateDirectoryA(path, nullptr)) {
        Line(std::string("setup.") + path, "failed %lu", static_cast<unsigned long>(GetLastError()));
    }
}

// A path of exactly `length` characters: `folder`, a backslash and a name of 'n's.
std::string PathOfLength(const std::string& folder, size_t length) {
    return folder + "\\" + std::string(length - folder.size() - 1, 'n');
}

void ProbePathSpellings() {
    MakeFolder("C:\\conf\\p");
    MakeFile("C:\\conf\\p\\a.txt", "hello");
    const char* spellings[][2] = {
        {"exact", "C:\\conf\\p\\a.txt"},
        {"upper_case", "C:\\CONF\\P\\A.TXT"},
        {"trailing_dot", "C:\\conf\\p\\a.txt."},
        {"trailing_dots", "C:\\conf\\p\\a.txt..."},
        {"trailing_space", "C:\\conf\\p\\a.txt "},
        {"trailing_dots_spaces", "C:\\conf\\p\\a.txt . ."},
        {"folder_trailing_dot", "C:\\conf\\p.\\a.txt"},
        {"folder_trailing_space", "C:\\conf\\p \\a.txt"},
        {"doubled_slashes", "C:\\\\conf\\\\p\\\\a.txt"},
        {"forward_slashes", "C:/conf/p/a.txt"},
        {"mixed_slashes", "C:\\conf/p\\a.txt"},
        {"dot", "C:\\conf\\.\\p\\.\\a.txt"},
        {"dot_dot", "C:\\conf\\p\\..\\p\\a.txt"},
        {"dot_dot_above_root", "C:\\..\\..\\conf\\p\\a.txt"},
        {"trailing_backslash", "C:\\conf\\p\\a.txt\\"},
        {"trailing_backslash_dot", "C:\\conf\\p\\a.txt\\."},
        {"relative", "a.txt"},
        {"relative_dot_dot", "..\\conf\\p\\a.txt"},
        {"root_relative", "\\conf\\p\\a.txt"},
        {"drive_relative", "C:..\\conf\\p\\a.txt"},
        {"wildcard_star", "C:\\conf\\p\\*.txt"},
        {"wildcard_question", "C:\\conf\\p\\a?txt"},
        {"bad_character", "C:\\conf\\p\\a<b"},
        {"empty", ""},
        {"missing_file", "C:\\conf\\p\\nothing"},
        {"missing_folder", "C:\\conf\\nothing\\a.txt"},
        {"file_as_folder", "C:\\conf\\p\\a.txt\\b"},
        {"unc_missing_server", "\\\\nosuchserver\\share\\a.txt"},
        {"unc_server_only", "\\\\nosuchserver"},
        {"long_path_prefix", "\\\\?\\C:\\conf\\p\\a.txt"},
    };
    for (const auto& spelling : spellings) {
        HANDLE file = OpenShared(spelling[1], GENERIC_READ, 0, OPEN_EXISTING);
        std::string outcome = Handle(file);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        Line(std::string("path.open.") + spelling[0], "%s", outcome.c_str());
        // The same spelling in its full form, as the program judges an installation folder by it.
        char full[MAX_PATH + 8];
        LPSTR name = nullptr;
        DWORD length = GetFullPathNameA(spelling[1], MAX_PATH, full, &name);
        Line(std::string("path.full.") + spelling[0], "%lu %s name=%d", static_cast<unsigned long>(length),
             length > 0 && length < MAX_PATH ? Bytes(full, length).c_str()
                                             : std::to_string(GetLastError()).c_str(),
             name == nullptr ? -1 : static_cast<int>(name - full));
    }
    for (const char* root :
         {"C:\\", "C:\\.", "C:\\conf\\..", "\\\\server\\share", "\\\\server\\share\\x\\..\\"}) {
        char full[MAX_PATH + 8];
        DWORD length = GetFullPathNameA(root, MAX_PATH, full, nullptr);
        Line(std::string("path.full_root.") + root, "%lu %s", static_cast<unsigned long>(length),
             Bytes(full, length < MAX_PATH ? length : 0).c_str());
    }
    // Creating through a spelling: which name does the file get?
    Line("path.create.trailing_dot", "%s", CreateNew("C:\\conf\\p\\b.txt.").c_str());
    Line("path.create.trailing_space", "%s", CreateNew("C:\\conf\\p\\c.txt ").c_str());
    Line("path.create.listing", "%s", Listing("C:\\conf\\p\\*").c_str());

    // 259 characters fit a MAX_PATH buffer with the terminator; 260 do not.
    MakeFolder("C:\\conf\\long");
    for (size_t length : {258u, 259u, 260u, 261u}) {
        std::string path = PathOfLength("C:\\conf\\long", length);
        std::string key = "path.length" + std::to_string(length);
        Line(key + ".create", "%s", CreateNew(path.c_str()).c_str());
        Line(key + ".attributes", "%s",
             Bool(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE)).c_str());
        Line(key + ".find", "%s", State(path.c_str()).c_str());
        Line(key + ".delete", "%s", Bool(DeleteFileA(path.c_str())).c_str());
    }
    Line("path.length.listing", "%s", Listing("C:\\conf\\long\\*").c_str());
}

void ProbeFileOperations() {
    MakeFolder("C:\\conf\\d");
    MakeFolder("C:\\conf\\d\\sub");
    MakeFolder("C:\\conf\\d\\empty");
    MakeFolder("C:\\conf\\d\\rofolder");
    SetFileAttributesA("C:\\conf\\d\\rofolder", FILE_ATTRIBUTE_READONLY);
    MakeFile("C:\\conf\\d\\sub\\inner.txt", "x");
    MakeFile("C:\\conf\\d\\plain.txt", "plain");
    MakeFile("C:\\conf\\d\\plain2.txt", "plain2");
    MakeFile("C:\\conf\\d\\ro.txt", "read-only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile("C:\\conf\\d\\held.txt", "held");
    MakeFile("C:\\conf\\d\\target.txt", "target");
    MakeFile("C:\\conf\\d\\rotarget.txt", "rotarget", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile("C:\\conf\\d\\heldtarget.txt", "heldtarget");
    // Opened without sharing, as another program might hold them.
    HANDLE held = OpenShared("C:\\conf\\d\\held.txt", GENERIC_READ, 0, OPEN_EXISTING);
    HANDLE heldTarget = OpenShared("C:\\conf\\d\\heldtarget.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
    Line("file.hold", "%s %s", Handle(held).c_str(), Handle(heldTarget).c_str());

    for (const char* path :
         {"C:\\conf\\d\\plain.txt", "C:\\conf\\d\\ro.txt", "C:\\conf\\d\\sub", "C:\\conf\\d\\rofolder",
          "C:\\conf\\d\\missing.txt", "C:\\conf\\d\\nothing\\x.txt", "C:\\conf\\d\\plain.txt\\",
          "C:\\conf\\d\\sub\\"}) {
        DWORD attributes = GetFileAttributesA(path);
        Line(std::string("file.get_attributes.") + path, "0x%lX %s", static_cast<unsigned long>(attributes),
             attributes == INVALID_FILE_ATTRIBUTES ? std::to_string(GetLastError()).c_str() : "");
    }

    const char* deletions[][2] = {
        {"missing", "C:\\conf\\d\\missing.txt"}, {"missing_folder", "C:\\conf\\d\\nothing\\x.txt"},
        {"folder", "C:\\conf\\d\\sub"},          {"read_only", "C:\\conf\\d\\ro.txt"},
        {"held", "C:\\conf\\d\\held.txt"},       {"trailing_backslash", "C:\\conf\\d\\plain.txt\\"},
        {"wildcard", "C:\\conf\\d\\*.txt"},      {"trailing_dot", "C:\\conf\\d\\plain.txt."},
        {"again", "C:\\conf\\d\\plain.txt"},
    };
    for (const auto& deletion : deletions) {
        Line(std::string("file.delete.") + deletion[0], "%s", Bool(DeleteFileA(deletion[1])).c_str());
    }

    const char* removals[][2] = {
        {"missing", "C:\\conf\\d\\missing"},
        {"not_empty", "C:\\conf\\d\\sub"},
        {"file", "C:\\conf\\d\\plain2.txt"},
        {"read_only", "C:\\conf\\d\\rofolder"},
        {"trailing_backslash", "C:\\conf\\d\\empty\\"},
        {"again", "C:\\conf\\d\\empty"},
    };
    for (const auto& removal : removals) {
        Line(std::string("file.rmdir.") + removal[0], "%s", Bool(RemoveDirectoryA(removal[1])).c_str());
    }

    struct Copy {
        const char* key;
        const char* from;
        const char* to;
        BOOL failIfExists;
    };
    const Copy copies[] = {
        {"missing_source", "C:\\conf\\d\\missing.txt", "C:\\conf\\d\\c1.txt", TRUE},
        {"source_folder", "C:\\conf\\d\\sub", "C:\\conf\\d\\c2.txt", TRUE},
        {"new", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\c3.txt", TRUE},
        {"exists_fail", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\target.txt", TRUE},
        {"exists_overwrite", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\target.txt", FALSE},
        {"onto_read_only", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\rotarget.txt", FALSE},
        {"onto_folder", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\sub", FALSE},
        {"onto_held", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\heldtarget.txt", FALSE},
        {"into_missing_folder", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\nothing\\c4.txt", FALSE},
        {"from_held", "C:\\conf\\d\\held.txt", "C:\\conf\\d\\c5.txt", FALSE},
        {"from_read_only", "C:\\conf\\d\\ro.txt", "C:\\conf\\d\\c6.txt", FALSE},
        {"onto_itself", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\PLAIN2.TXT", FALSE},
        {"trailing_backslash", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\c7.txt\\", FALSE},
    };
    for (const Copy& copy : copies) {
        Line(std::string("file.copy.") + copy.key, "%s",
             Bool(CopyFileA(copy.from, copy.to, copy.failIfExists)).c_str());
    }

    const char* creations[][2] = {
        {"new", "C:\\conf\\d\\new.txt"},
        {"existing", "C:\\conf\\d\\plain2.txt"},
        {"existing_held", "C:\\conf\\d\\held.txt"},
        {"existing_read_only", "C:\\conf\\d\\ro.txt"},
        {"folder", "C:\\conf\\d\\sub"},
        {"missing_folder", "C:\\conf\\d\\nothing\\n.txt"},
        {"trailing_backslash", "C:\\conf\\d\\n2.txt\\"},
    };
    for (const auto& creation : creations) {
        Line(std::string("file.create_new.") + creation[0], "%s", CreateNew(creation[1]).c_str());
    }

    struct Attributes {
        const char* key;
        const char* path;
        DWORD attributes;
    };
    const Attributes changes[] = {
        {"missing", "C:\\conf\\d\\missing.txt", FILE_ATTRIBUTE_NORMAL},
        {"missing_folder", "C:\\conf\\d\\nothing\\x.txt", FILE_ATTRIBUTE_NORMAL},
        {"held", "C:\\conf\\d\\held.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
        {"read_only_to_normal", "C:\\conf\\d\\ro.txt", FILE_ATTRIBUTE_NORMAL},
        {"folder_read_only", "C:\\conf\\d\\sub", FILE_ATTRIBUTE_READONLY},
        {"folder_normal", "C:\\conf\\d\\rofolder", FILE_ATTRIBUTE_NORMAL},
        {"hidden", "C:\\conf\\d\\plain2.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
        {"zero", "C:\\conf\\d\\target.txt", 0},
        {"trailing_backslash", "C:\\conf\\d\\target.txt\\", FILE_ATTRIBUTE_NORMAL},
    };
    for (const Attributes& change : changes) {
        Line(std::string("file.attributes.") + change.key, "%s",
             Bool(SetFileAttributesA(change.path, change.attributes)).c_str());
    }

    Line("file.release", "%s %s", Bool(CloseHandle(held)).c_str(), Bool(CloseHandle(heldTarget)).c_str());
    for (const char* name : {"c3.txt", "c6.txt", "c7.txt", "held.txt", "heldtarget.txt", "n2.txt", "new.txt",
                             "plain2.txt", "ro.txt", "rofolder", "rotarget.txt", "sub", "target.txt"}) {
        Line(std::string("file.after.") + name, "%s",
             State((std::string("C:\\conf\\d\\") + name).c_str()).c_str());
    }
    SetFileAttributesA("C:\\conf\\d\\sub", FILE_ATTRIBUTE_NORMAL);
}

void ProbeListings() {
    MakeFolder("C:\\conf\\f");
    MakeFolder("C:\\conf\\f\\sub");
    MakeFolder("C:\\conf\\f\\Empty");
    for (const char* name : {"b.txt", "B2.txt", "a.TXT", "_u", "Zed", "~t", "1", "a b", "a.b.c", "-dash"}) {
        MakeFile((std::string("C:\\conf\\f\\") + name).c_str(), name);
    }
    MakeFile("C:\\conf\\f\\ro", "ro", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile("C:\\conf\\f\\hid", "hidden", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    const char* patterns[][2] = {
        {"star", "C:\\conf\\f\\*"},
        {"star_dot_star", "C:\\conf\\f\\*.*"},
        {"extension", "C:\\conf\\f\\*.txt"},
        {"question", "C:\\conf\\f\\?"},
        {"prefix", "C:\\conf\\f\\a*"},
        {"no_match", "C:\\conf\\f\\zz*"},
        {"missing_folder", "C:\\conf\\nothing\\*"},
        {"empty_folder", "C:\\conf\\f\\Empty\\*"},
        {"folder_itself", "C:\\conf\\f"},
        {"folder_trailing_backslash", "C:\\conf\\f\\"},
        {"file_itself", "C:\\conf\\f\\Zed"},
        {"forward_slash", "C:/conf/f/B*"},
    };
    for (const auto& pattern : patterns) {
        Line(std::string("find.") + pattern[0], "%s", Listing(pattern[1]).c_str());
    }
    WIN32_FIND_DATAA data;
    Line("find.next_bad_handle", "%s", Bool(FindNextFileA(INVALID_HANDLE_VALUE, &data)).c_str());
}

// A value probe: the type and data a query returns into a buffer of `size` bytes (filled with '#'
// beforehand), and what the size says afterwards.
void QueryValue(HKEY key, const std::string& probe, const char* name, DWORD size, bool withData = true) {
    unsigned char buffer[400];
    std::memset(buffer, '#', sizeof buffer);
    DWORD type = 0xDEAD;
    DWORD count = size;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, withData ? buffer : nullptr, &count);
    // The bytes up to the smaller of the two sizes, and two more: what was written past the data.
    size_t shownSize = (count < size ? count : size) + 2;
    std::string shown = withData ? Bytes(buffer, shownSize < sizeof buffer ? shownSize : sizeof buffer) : "-";
    Line("reg.query." + probe, "%ld type=%lu size=%lu data=%s", static_cast<long>(status),
         static_cast<unsigned long>(type), static_cast<unsigned long>(count), shown.c_str());
}

void SetValue(HKEY key, const std::string& probe, const char* name, DWORD type, const void* data,
              DWORD size) {
    LONG status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    if (status != ERROR_SUCCESS) {
        Line("reg.set." + probe, "%ld", static_cast<long>(status));
    }
}

std::string Enumerate(HKEY key) {
    std::string text;
    for (DWORD index = 0; index < 100; ++index) {
        char name[300];
        DWORD size = sizeof name;
        FILETIME written;
        LONG status = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, &written);
        if (status != ERROR_SUCCESS) {
            return text + "end " + std::to_string(status);
        }
        text += std::string(name) + "(" + std::to_string(size) + ") ";
    }
    return text;
}

std::string Info(HKEY key) {
    DWORD subkeys = 0xDEAD, longest = 0xDEAD, values = 0xDEAD;
    LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, &values,
                                   nullptr, nullptr, nullptr, nullptr);
    char text[120];
    std::snprintf(text, sizeof text, "%ld subkeys=%lu longest=%lu values=%lu", static_cast<long>(status),
                  static_cast<unsigned long>(subkeys), static_cast<unsigned long>(longest),
                  static_cast<unsigned long>(values));
    return text;
}

std::string Open(HKEY root, const char* path, HKEY* key) {
    *key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(1));
    LONG status = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, key);
    return std::to_string(status) + (*key == nullptr ? " null" : "");
}

std::string Create(HKEY root, const char* path, HKEY* key) {
    DWORD disposition = 0xDEAD;
    LONG status = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  key, &disposition);
    return std::to_string(status) + " disposition=" + std::to_string(disposition);
}

void ProbeRegistry() {
    const char* base = "Software\\ConformanceProbe";
    HKEY key = nullptr;
    Line("reg.open.missing", "%s", Open(HKEY_CURRENT_USER, base, &key).c_str());
    Line("reg.create.new", "%s", Create(HKEY_CURRENT_USER, base, &key).c_str());
    HKEY again = nullptr;
    Line("reg.create.existing", "%s",
         Create(HKEY_CURRENT_USER, "software\\CONFORMANCEPROBE", &again).c_str());
    RegCloseKey(again);
    HKEY nested = nullptr;
    Line("reg.create.nested", "%s", Create(key, "One\\Two\\Three", &nested).c_str());
    RegCloseKey(nested);
    Line("reg.open.case", "%s",
         Open(HKEY_CURRENT_USER, "SOFTWARE\\conformanceprobe\\one\\TWO", &nested).c_str());
    RegCloseKey(nested);
    Line("reg.open.trailing_backslash", "%s",
         Open(HKEY_CURRENT_USER, "Software\\ConformanceProbe\\One\\", &nested).c_str());
    RegCloseKey(nested);
    Line("reg.open.doubled_backslash", "%s",
         Open(HKEY_CURRENT_USER, "Software\\\\ConformanceProbe", &nested).c_str());
    RegCloseKey(nested);
    Line("reg.open.leading_backslash", "%s", Open(HKEY_CURRENT_USER, "\\Software", &nested).c_str());
    RegCloseKey(nested);
    Line("reg.open.empty", "%s", Open(key, "", &nested).c_str());
    RegCloseKey(nested);

    // Values of several types; "abc" followed by a byte that is not a terminator is unterminated.
    const char unterminated[] = "abcX";
    const char counted[] = "abc";
    const char expand[] = "%TEMP%\\x";
    const DWORD number = 0x12345678;
    const unsigned char binary[] = {1, 2, 0, 3};
    const char multi[] = "a\0bc\0";
    std::string full(260, 'x');
    full += "y";
    SetValue(key, "sz", "Sz", REG_SZ, "hello", 6);
    SetValue(key, "unterminated", "Unterminated", REG_SZ, unterminated, 3);
    SetValue(key, "terminator_left_out", "Counted", REG_SZ, counted, 3);
    SetValue(key, "expand", "Expand", REG_EXPAND_SZ, expand, sizeof expand);
    SetValue(key, "dword", "Dword", REG_DWORD, &number, sizeof number);
    SetValue(key, "binary", "Binary", REG_BINARY, binary, sizeof binary);
    SetValue(key, "multi", "Multi", REG_MULTI_SZ, multi, sizeof multi);
    SetValue(key, "empty", "Empty", REG_SZ, "", 0);
    SetValue(key, "full", "Full", REG_SZ, full.data(), 260);
    QueryValue(key, "sz", "Sz", 100);
    QueryValue(key, "sz_case", "sZ", 100);
    QueryValue(key, "sz_size_only", "Sz", 100, false);
    QueryValue(key, "sz_exact", "Sz", 6);
    QueryValue(key, "sz_short", "Sz", 5);
    QueryValue(key, "sz_zero", "Sz", 0);
    QueryValue(key, "unterminated", "Unterminated", 100);
    QueryValue(key, "unterminated_exact", "Unterminated", 3);
    QueryValue(key, "terminator_left_out", "Counted", 100);
    QueryValue(key, "expand", "Expand", 100);
    QueryValue(key, "dword", "Dword", 100);
    QueryValue(key, "dword_short", "Dword", 2);
    QueryValue(key, "binary", "Binary", 100);
    QueryValue(key, "multi", "Multi", 100);
    QueryValue(key, "empty", "Empty", 100);
    QueryValue(key, "full_exact", "Full", 260);
    QueryValue(key, "full_larger", "Full", 300);
    QueryValue(key, "missing", "Missing", 100);
    QueryValue(key, "default_unset", nullptr, 100);
    DWORD type = 0;
    unsigned char buffer[8];
    Line("reg.query.data_without_size", "%ld",
         static_cast<long>(RegQueryValueExA(key, "Sz", nullptr, &type, buffer, nullptr)));
    Line("reg.query.type_only", "%ld type=%lu",
         static_cast<long>(RegQueryValueExA(key, "Dword", nullptr, &type, nullptr, nullptr)),
         static_cast<unsigned long>(type));

    // Child keys: enumeration order, short name buffers, counts.
    for (const char* child : {"beta", "Alpha", "_under", "Gamma2", "alpha2", "1one"}) {
        HKEY made = nullptr;
        Create(key, child, &made);
        RegCloseKey(made);
    }
    Line("reg.enum.order", "%s", Enumerate(key).c_str());
    for (DWORD size : {0u, 4u, 5u, 6u}) {
        char name[16];
        std::memset(name, '#', sizeof name);
        DWORD count = size;
        LONG status = RegEnumKeyExA(key, 0, name, &count, nullptr, nullptr, nullptr, nullptr);
        Line("reg.enum.buffer" + std::to_string(size), "%ld size=%lu name=%s", static_cast<long>(status),
             static_cast<unsigned long>(count), Bytes(name, size + 1).c_str());
    }
    Line("reg.info.key", "%s", Info(key).c_str());
    Line("reg.info.root_child", "%s", Open(key, "One\\Two\\Three", &nested).c_str());
    Line("reg.info.leaf", "%s", Info(nested).c_str());
    RegCloseKey(nested);

    // Deletion: children keep a key (NT), a handle to a deleted key, closing.
    Line("reg.delete.with_children", "%ld", static_cast<long>(RegDeleteKeyA(key, "One")));
    Line("reg.delete.missing", "%ld", static_cast<long>(RegDeleteKeyA(key, "Nothing")));
    Line("reg.delete.case", "%ld", static_cast<long>(RegDeleteKeyA(key, "one\\TWO\\three")));
    Line("reg.delete.path", "%ld", static_cast<long>(RegDeleteKeyA(key, "One\\Two")));
    Line("reg.delete.after", "%s", Info(key).c_str());
    HKEY doomed = nullptr;
    Create(key, "Doomed", &doomed);
    Line("reg.delete.open_key", "%ld", static_cast<long>(RegDeleteKeyA(key, "Doomed")));
    DWORD count = sizeof buffer;
    Line("reg.deleted.query", "%ld",
         static_cast<long>(RegQueryValueExA(doomed, "Sz", nullptr, &type, buffer, &count)));
    char name[16];
    DWORD nameSize = sizeof name;
    Line("reg.deleted.enum", "%ld",
         static_cast<long>(RegEnumKeyExA(doomed, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr)));
    Line("reg.deleted.info", "%s", Info(doomed).c_str());
    HKEY child = nullptr;
    Line("reg.deleted.create_child", "%s", Create(doomed, "Child", &child).c_str());
    Line("reg.deleted.close", "%ld", static_cast<long>(RegCloseKey(doomed)));
    Line("reg.close.null", "%ld", static_cast<long>(RegCloseKey(nullptr)));
    Line("reg.close.root", "%ld", static_cast<long>(RegCloseKey(HKEY_CURRENT_USER)));
    Line("reg.close.key", "%ld", static_cast<long>(RegCloseKey(key)));
}

void ProbeSystem() {
    char buffer[1100];
    for (DWORD size : {0u, 5u, 17u, 18u, 19u}) {
        std::memset(buffer, '#', sizeof buffer);
        SetLastError(0);
        DWORD length = GetTempPathA(size, size == 0 ? nullptr : buffer);
        DWORD error = GetLastError();
        Line("sys.temp_path" + std::to_string(size), "%lu err=%lu %s", static_cast<unsigned long>(length),
             static_cast<unsigned long>(error), Bytes(buffer, size + 1).c_str());
    }
    for (DWORD size : {0u, 5u, 18u, 19u, 20u}) {
        std::memset(buffer, '#', sizeof buffer);
        SetLastError(0);
        DWORD length = GetModuleFileNameA(nullptr, buffer, size);
        DWORD error = GetLastError();
        Line("sys.module_name" + std::to_string(size), "%lu err=%lu %s", static_cast<unsigned long>(length),
             static_cast<unsigned long>(error), Bytes(buffer, size + 1).c_str());
    }

    const char* none = nullptr;
    auto printed = [&buffer](const char* key, int written) {
        Line(std::string("str.wsprintf.") + key, "%d %s", written,
             Bytes(buffer, std::strlen(buffer)).c_str());
    };
    printed("int", wsprintfA(buffer, "%i|%d|%i", 1, -5, 200));
    printed("unsigned", wsprintfA(buffer, "%u|%lu", 4294967291u, 7ul));
    printed("hex", wsprintfA(buffer, "%x|%X|%08X|%#x", 255, 255, 48879, 255));
    printed("width", wsprintfA(buffer, "[%5d][%-5d][%05d]", 42, 42, 42));
    printed("string", wsprintfA(buffer, "[%s][%5s][%-5s][%.2s]", "ab", "ab", "ab", "abc"));
    printed("null_string", wsprintfA(buffer, "[%s]", none));
    printed("char_percent", wsprintfA(buffer, "%c%%%c", 'x', 'y'));
    std::string longText(1100, 'a');
    std::memset(buffer, '#', sizeof buffer);
    int written = wsprintfA(buffer, "%s", longText.c_str());
    Line("str.wsprintf.long", "%d strlen=%d tail=%s", written, Terminated(buffer, sizeof buffer),
         Bytes(buffer + 1022, 4).c_str());

    Line("str.lstrlen", "%d %d %d", lstrlenA("abc"), lstrlenA(""), lstrlenA(nullptr));
    std::memset(buffer, '#', 8);
    LPSTR copied = lstrcpyA(buffer, "xyz");
    Line("str.lstrcpy", "%s %s", copied == buffer ? "buffer" : "other", Bytes(buffer, 5).c_str());
    copied = lstrcpyA(buffer, nullptr);
    Line("str.lstrcpy_null", "%s %s", copied == nullptr ? "null" : "buffer", Bytes(buffer, 5).c_str());
    LPSTR joined = lstrcatA(buffer, "12");
    Line("str.lstrcat", "%s %s", joined == buffer ? "buffer" : "other", Bytes(buffer, 7).c_str());
    joined = lstrcatA(buffer, nullptr);
    Line("str.lstrcat_null", "%s %s", joined == nullptr ? "null" : "buffer", Bytes(buffer, 7).c_str());
    const char* pairs[][2] = {
        {"a", "a"},  {"a", "b"},  {"b", "a"}, {"a", "B"},   {"a", "A"}, {"Z", "a"},  {"abc", "ab"},
        {".", ".."}, {"..", "."}, {".", "."}, {"..", ".."}, {"", "a"},  {"x.", "."},
    };
    std::string orders;
    for (const auto& pair : pairs) {
        int order = lstrcmpA(pair[0], pair[1]);
        orders += std::string(pair[0]) + "?" + pair[1] + "=" +
                  std::to_string(order < 0 ? -1 : (order > 0 ? 1 : 0)) + " ";
    }
    Line("str.lstrcmp", "%s", orders.c_str());
    Line("str.lstrcmp_null", "%d %d %d", lstrcmpA(nullptr, "a"), lstrcmpA("a", nullptr),
         lstrcmpA(nullptr, nullptr));
    orders.clear();
    for (const auto& pair : pairs) {
        int order = lstrcmpiA(pair[0], pair[1]);
        orders += std::to_string(order < 0 ? -1 : (order > 0 ? 1 : 0)) + " ";
    }
    Line("str.lstrcmpi", "%s %d", orders.c_str(),
         lstrcmpiA("C:\\WINDOWS\\System32", "c:\\windows\\SYSTEM32"));

    // The folders as the program compares them: without regard to case, and what a short buffer gets.
    for (auto folder : {&GetWindowsDirectoryA, &GetSystemDirectoryA}) {
        UINT length = folder(buffer, MAX_PATH);
        UINT needed = folder(buffer, 3);
        Line(folder == &GetWindowsDirectoryA ? "sys.windows_folder" : "sys.system_folder", "%u %u %d", length,
             needed,
             lstrcmpiA(buffer, folder == &GetWindowsDirectoryA ? "C:\\WINDOWS" : "C:\\WINDOWS\\SYSTEM32"));
    }
    // TEMP is the temporary folder without its backslash; NOSUCH is set nowhere.
    for (const char* text :
         {"%TEMP%\\x", "a%NOSUCH%b", "100%", "%%", "%TEMP", "%NOSUCH%TEMP%", "%temp%%TEMP%"}) {
        std::memset(buffer, '#', sizeof buffer);
        DWORD size = ExpandEnvironmentStringsA(text, buffer, MAX_PATH);
        DWORD shortSize = ExpandEnvironmentStringsA(text, buffer + 600, 4);
        Line(std::string("env.expand.") + text, "%lu %lu %s", static_cast<unsigned long>(size),
             static_cast<unsigned long>(shortSize), Bytes(buffer, std::strlen(buffer)).c_str());
    }

    // A named event: made, opened again by its name, set, waited for; gone once every handle is closed.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "ConformanceProbeEvent");
    DWORD made = GetLastError();
    HANDLE again = CreateEventA(nullptr, FALSE, TRUE, "ConformanceProbeEvent");
    DWORD opened = GetLastError();
    DWORD unset = WaitForSingleObject(again, 0);
    BOOL set = SetEvent(event);
    DWORD first = WaitForSingleObject(again, 0);
    DWORD second = WaitForSingleObject(event, 0);
    CloseHandle(event);
    CloseHandle(again);
    HANDLE anew = CreateEventA(nullptr, TRUE, FALSE, "ConformanceProbeEvent");
    Line("sys.event", "made=%lu opened=%lu unset=0x%lX set=%d waits=0x%lX,0x%lX anew=%lu wait=0x%lX",
         static_cast<unsigned long>(made), static_cast<unsigned long>(opened),
         static_cast<unsigned long>(unset), set, static_cast<unsigned long>(first),
         static_cast<unsigned long>(second), static_cast<unsigned long>(GetLastError()),
         static_cast<unsigned long>(WaitForSingleObject(anew, 0)));
    CloseHandle(anew);
}

// Writes each cleanup script of the form the uninstaller writes, for the starter to run.
void WriteScripts() {
    MakeFolder("C:\\conf\\b");
    for (int i = 0; i < kBatchCaseCount; ++i) {
        const BatchCase& batch = kBatchCases[i];
        char folder[MAX_PATH];
        BatchFolder(batch, folder, sizeof folder);
        MakeFolder(folder);
        std::string target = std::string(folder) + "\\uninstall.exe";
        MakeFile(target.c_str(), "MZ");
        std::string scriptFolder = std::string("C:\\conf\\b\\") + batch.scriptName;
        std::string script = "\r\n@echo off\r\n:myLabel\r\ndel \"" + scriptFolder +
                             "\\uninstall.exe\"\r\nif exist \"" + scriptFolder +
                             "\\uninstall.exe\" goto myLabel\r\ndel \"" + scriptFolder + "\\delme1.bat\"\r\n";
        MakeFile((std::string(folder) + "\\delme1.bat").c_str(), script.c_str());
        Line(std::string("batch.") + batch.key + ".written", "%s",
             State((std::string(folder) + "\\delme1.bat").c_str()).c_str());
    }
}

void ProbeScriptsAfter() {
    for (int i = 0; i < kBatchCaseCount; ++i) {
        const BatchCase& batch = kBatchCases[i];
        char folder[MAX_PATH];
        BatchFolder(batch, folder, sizeof folder);
        Line(std::string("batch.") + batch.key + ".left", "%s",
             Listing((std::string(folder) + "\\*").c_str()).c_str());
    }
}

}  // namespace

int RunProbes(const char* stage) {
    if (std::strcmp(stage, "scripts") == 0) {
        for (int i = 0; i < kBatchCaseCount; ++i) {
            char folder[MAX_PATH];
            BatchFolder(kBatchCases[i], folder, sizeof folder);
            std::printf("%s %s\n", kBatchCases[i].mode == BatchMode::Plain ? "plain" : "delayed", folder);
        }
        return 0;
    }
    if (std::strcmp(stage, "after") == 0) {
        ProbeScriptsAfter();
        return 0;
    }
    Line("setup.conf", "%s", Bool(CreateDirectoryA("C:\\conf", nullptr)).c_str());
    ProbePathSpellings();
    ProbeFileOperations();
    ProbeListings();
    ProbeRegistry();
    ProbeSystem();
    WriteScripts();
    std::fflush(stdout);
    return 0;
}

}  // namespace conformance
