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

// UTF-16 text as text: printable ASCII as it is, "\" doubled, anything else as \uNNNN.
std::string Units(const WCHAR* units, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        unsigned unit = static_cast<unsigned>(units[i]);
        char piece[8];
        if (unit == '\\') {
            text += "\\\\";
        } else if (unit >= 32 && unit < 127) {
            text += static_cast<char>(unit);
        } else {
            std::snprintf(piece, sizeof piece, "\\u%04X", unit);
            text += piece;
        }
    }
    return text;
}

// A wide string of the same characters as Latin-1 text: the probes' names, which need no conversion.
std::basic_string<WCHAR> Wide(const char* text) {
    std::basic_string<WCHAR> wide;
    for (; *text != 0; ++text) {
        wide += static_cast<WCHAR>(static_cast<unsigned char>(*text));
    }
    return wide;
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

// The files and folders the file operations work on, below C:\conf\d.
void MakeOperationFiles() {
    MakeFolder("C:\\conf\\d");
    MakeFolder("C:\\conf\\d\\sub");
    MakeFolder("C:\\conf\\d\\empty");
    MakeFolder("C:\\conf\\d\\rofolder");
    MakeFolder("C:\\conf\\d\\cfolder");
    SetFileAttributesA("C:\\conf\\d\\rofolder", FILE_ATTRIBUTE_READONLY);
    MakeFile("C:\\conf\\d\\sub\\inner.txt", "x");
    MakeFile("C:\\conf\\d\\plain.txt", "plain");
    MakeFile("C:\\conf\\d\\plain2.txt", "plain2");
    MakeFile("C:\\conf\\d\\ro.txt", "read-only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile("C:\\conf\\d\\rh.txt", "rh",
             FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile("C:\\conf\\d\\held.txt", "held");
    MakeFile("C:\\conf\\d\\target.txt", "target");
    MakeFile("C:\\conf\\d\\rotarget.txt", "rotarget", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    MakeFile("C:\\conf\\d\\heldtarget.txt", "heldtarget");
}

void ProbeGetAttributes() {
    for (const char* path :
         {"C:\\conf\\d\\plain.txt", "C:\\conf\\d\\ro.txt", "C:\\conf\\d\\rh.txt", "C:\\conf\\d\\sub",
          "C:\\conf\\d\\rofolder", "C:\\conf\\d\\missing.txt", "C:\\conf\\d\\nothing\\x.txt",
          "C:\\conf\\d\\plain.txt\\", "C:\\conf\\d\\sub\\"}) {
        DWORD attributes = GetFileAttributesA(path);
        Line(std::string("file.get_attributes.") + path, "0x%lX %s", static_cast<unsigned long>(attributes),
             attributes == INVALID_FILE_ATTRIBUTES ? std::to_string(GetLastError()).c_str() : "");
    }
}

void ProbeDeletions() {
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
}

void ProbeCopies() {
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
        {"onto_folder_fail_if_exists", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\sub", TRUE},
        {"onto_folder_trailing_backslash", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\sub\\", FALSE},
        {"onto_empty_folder", "C:\\conf\\d\\plain2.txt", "C:\\conf\\d\\cfolder", FALSE},
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
}

void ProbeCreations() {
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
}

void ProbeSetAttributes() {
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
        // Read-only taken away and nothing else, as the program does before it deletes a file.
        {"clear_read_only", "C:\\conf\\d\\rh.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
        {"trailing_backslash", "C:\\conf\\d\\target.txt\\", FILE_ATTRIBUTE_NORMAL},
    };
    for (const Attributes& change : changes) {
        Line(std::string("file.attributes.") + change.key, "%s",
             Bool(SetFileAttributesA(change.path, change.attributes)).c_str());
    }
}

// What the operations left: each file or folder as a search for its name finds it.
void ProbeFilesAfter() {
    Line("file.get_attributes.cleared", "0x%lX",
         static_cast<unsigned long>(GetFileAttributesA("C:\\conf\\d\\rh.txt")));
    for (const char* name :
         {"c3.txt", "c6.txt", "c7.txt", "cfolder", "held.txt", "heldtarget.txt", "n2.txt", "new.txt",
          "plain2.txt", "ro.txt", "rofolder", "rotarget.txt", "sub", "target.txt"}) {
        Line(std::string("file.after.") + name, "%s",
             State((std::string("C:\\conf\\d\\") + name).c_str()).c_str());
    }
}

// Files and folders as the program meets them: read-only, held by another program, missing, named
// with a trailing backslash.
void ProbeFileOperations() {
    MakeOperationFiles();
    // Opened without sharing, as another program might hold them.
    HANDLE held = OpenShared("C:\\conf\\d\\held.txt", GENERIC_READ, 0, OPEN_EXISTING);
    HANDLE heldTarget = OpenShared("C:\\conf\\d\\heldtarget.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
    Line("file.hold", "%s %s", Handle(held).c_str(), Handle(heldTarget).c_str());
    ProbeGetAttributes();
    ProbeDeletions();
    ProbeCopies();
    ProbeCreations();
    ProbeSetAttributes();
    Line("file.release", "%s %s", Bool(CloseHandle(held)).c_str(), Bool(CloseHandle(heldTarget)).c_str());
    ProbeFilesAfter();
    SetFileAttributesA("C:\\conf\\d\\sub", FILE_ATTRIBUTE_NORMAL);
}

// What the program tells a folder by: its volume and file index, through a handle opened for nothing
// but its metadata. Only whether two of them agree is printed: the numbers differ from run to run.
struct Identity {
    std::string outcome;
    BY_HANDLE_FILE_INFORMATION information;
};

Identity IdentityOf(const char* path, DWORD flags = FILE_FLAG_BACKUP_SEMANTICS) {
    Identity identity;
    std::memset(&identity.information, 0, sizeof identity.information);
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    identity.outcome = Handle(handle);
    if (handle != INVALID_HANDLE_VALUE) {
        identity.outcome += " info=" + Bool(GetFileInformationByHandle(handle, &identity.information));
        CloseHandle(handle);
    }
    return identity;
}

void ProbeFolderIdentity() {
    MakeFolder("C:\\conf\\i");
    MakeFolder("C:\\conf\\i\\sub");
    MakeFolder("C:\\conf\\i\\held");
    MakeFile("C:\\conf\\i\\f.txt", "f");
    Identity reference = IdentityOf("C:\\conf\\i");
    // Held without sharing by another handle: opening for no access at all conflicts with no sharing.
    HANDLE heldFolder = CreateFileA("C:\\conf\\i\\held", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    HANDLE heldFile = OpenShared("C:\\conf\\i\\f.txt", GENERIC_READ, 0, OPEN_EXISTING);
    Line("file.identity.hold", "%s %s", Handle(heldFolder).c_str(), Handle(heldFile).c_str());
    const char* spellings[][2] = {
        {"exact", "C:\\conf\\i"},
        {"trailing_backslash", "C:\\conf\\i\\"},
        {"upper_case", "C:\\CONF\\I"},
        {"dot_dot", "C:\\conf\\i\\sub\\.."},
        {"dot", "C:\\conf\\.\\i\\."},
        {"forward_slashes", "C:/conf/i/"},
        {"trailing_dot", "C:\\conf\\i."},
        {"relative", "..\\conf\\i"},
        {"child", "C:\\conf\\i\\sub"},
        {"parent", "C:\\conf"},
        {"root", "C:\\"},
        {"root_upper_case", "c:\\"},
        {"file_held", "C:\\conf\\i\\f.txt"},
        {"folder_held", "C:\\conf\\i\\held"},
        {"file_trailing_backslash", "C:\\conf\\i\\f.txt\\"},
        {"missing", "C:\\conf\\i\\nothing"},
        {"missing_folder", "C:\\conf\\nothing\\i"},
    };
    for (const auto& spelling : spellings) {
        Identity identity = IdentityOf(spelling[1]);
        if (identity.outcome != "valid info=ok") {
            Line("file.identity." + std::string(spelling[0]), "%s", identity.outcome.c_str());
            continue;
        }
        const BY_HANDLE_FILE_INFORMATION& a = identity.information;
        const BY_HANDLE_FILE_INFORMATION& b = reference.information;
        bool sameVolume = a.dwVolumeSerialNumber == b.dwVolumeSerialNumber;
        bool sameIndex = a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
        Line("file.identity." + std::string(spelling[0]), "%s volume=%s index=%s attr=0x%lX",
             identity.outcome.c_str(), sameVolume ? "same" : "other", sameIndex ? "same" : "other",
             static_cast<unsigned long>(a.dwFileAttributes));
    }
    // A folder opens only for its metadata: without backup semantics it is refused.
    Line("file.identity.without_backup_semantics", "%s", IdentityOf("C:\\conf\\i", 0).outcome.c_str());
    Line("file.identity.release", "%s %s", Bool(CloseHandle(heldFolder)).c_str(),
         Bool(CloseHandle(heldFile)).c_str());
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

typedef LONG(WINAPI* RegQueryValueExWFunction)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);

// A value probe through the wide function, looked up as the program looks it up: strings in UTF-16,
// sizes in bytes. The data are shown only when the query succeeds.
void QueryWide(HKEY key, const std::string& probe, const char* name, DWORD size, bool withData = true) {
    auto queryWide = reinterpret_cast<RegQueryValueExWFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegQueryValueExW")));
    unsigned char buffer[400];
    std::memset(buffer, '#', sizeof buffer);
    DWORD type = 0xDEAD;
    DWORD count = size;
    LONG status = queryWide(key, Wide(name).c_str(), nullptr, &type, withData ? buffer : nullptr, &count);
    size_t shownSize = count + 2 < sizeof buffer ? count + 2 : sizeof buffer;
    std::string shown = withData && status == ERROR_SUCCESS ? Bytes(buffer, shownSize) : "-";
    Line("reg.wquery." + probe, "%ld type=%lu size=%lu data=%s", static_cast<long>(status),
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

// Opening and creating keys by names spelled in several ways; returns the probes' key, open.
HKEY ProbeKeyNames() {
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
    return key;
}

// The values the queries read back, set through the ANSI function.
void SetProbeValues(HKEY key) {
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
}

void ProbeAnsiQueries(HKEY key) {
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
}

// Values read through the wide function, as the program reads "InstallPath" to check its ANSI form.
void ProbeWideQueries(HKEY key) {
    SetValue(key, "ansi", "Ansi", REG_SZ, "\x80 caf\xE9", 7);
    SetValue(key, "ansi_name", "Nam\xE9", REG_SZ, "e", 2);
    std::basic_string<WCHAR> wideText = Wide("caf\xE9");
    LONG wideSet =
        RegSetValueExW(key, Wide("Wide").c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wideText.c_str()),
                       static_cast<DWORD>((wideText.size() + 1) * sizeof wideText[0]));
    Line("reg.set.wide", "%ld", static_cast<long>(wideSet));
    QueryValue(key, "wide", "Wide", 100);
    QueryWide(key, "sz", "Sz", 100);
    QueryWide(key, "sz_case", "sZ", 100);
    QueryWide(key, "sz_size_only", "Sz", 100, false);
    QueryWide(key, "sz_exact", "Sz", 12);
    QueryWide(key, "sz_short", "Sz", 11);
    QueryWide(key, "unterminated", "Unterminated", 100);
    QueryWide(key, "terminator_left_out", "Counted", 100);
    QueryWide(key, "expand", "Expand", 100);
    QueryWide(key, "dword", "Dword", 100);
    QueryWide(key, "multi", "Multi", 100);
    QueryWide(key, "empty", "Empty", 100);
    QueryWide(key, "ansi", "Ansi", 100);
    QueryWide(key, "ansi_name", "Nam\xE9", 100);
    QueryWide(key, "wide", "Wide", 100);
    QueryWide(key, "missing", "Missing", 100);
}

void ProbeQueriesWithoutSize(HKEY key) {
    DWORD type = 0;
    unsigned char buffer[8];
    Line("reg.query.data_without_size", "%ld",
         static_cast<long>(RegQueryValueExA(key, "Sz", nullptr, &type, buffer, nullptr)));
    Line("reg.query.type_only", "%ld type=%lu",
         static_cast<long>(RegQueryValueExA(key, "Dword", nullptr, &type, nullptr, nullptr)),
         static_cast<unsigned long>(type));
}

// Child keys: enumeration order, short name buffers, counts.
void ProbeChildKeys(HKEY key) {
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
    HKEY nested = nullptr;
    Line("reg.info.root_child", "%s", Open(key, "One\\Two\\Three", &nested).c_str());
    Line("reg.info.leaf", "%s", Info(nested).c_str());
    RegCloseKey(nested);
}

// Deletion: children keep a key (NT), a handle to a deleted key, closing.
void ProbeKeyDeletion(HKEY key) {
    Line("reg.delete.with_children", "%ld", static_cast<long>(RegDeleteKeyA(key, "One")));
    Line("reg.delete.missing", "%ld", static_cast<long>(RegDeleteKeyA(key, "Nothing")));
    Line("reg.delete.case", "%ld", static_cast<long>(RegDeleteKeyA(key, "one\\TWO\\three")));
    Line("reg.delete.path", "%ld", static_cast<long>(RegDeleteKeyA(key, "One\\Two")));
    Line("reg.delete.after", "%s", Info(key).c_str());
    HKEY doomed = nullptr;
    Create(key, "Doomed", &doomed);
    Line("reg.delete.open_key", "%ld", static_cast<long>(RegDeleteKeyA(key, "Doomed")));
    DWORD type = 0;
    unsigned char buffer[8];
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

void ProbeRegistry() {
    HKEY key = ProbeKeyNames();
    SetProbeValues(key);
    ProbeAnsiQueries(key);
    ProbeWideQueries(key);
    ProbeQueriesWithoutSize(key);
    ProbeChildKeys(key);
    ProbeKeyDeletion(key);
}

// A symbolic link at parent\name to the key of the kernel path `target`, made as Windows makes one.
std::string MakeLink(HKEY parent, const char* name, const char* target) {
    HKEY link = nullptr;
    DWORD disposition = 0xDEAD;
    LONG status = RegCreateKeyExW(parent, Wide(name).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                  KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, &disposition);
    if (status != ERROR_SUCCESS) {
        return std::to_string(status);
    }
    std::basic_string<WCHAR> path = Wide(target);  // without its terminator
    LONG set = RegSetValueExW(link, Wide("SymbolicLinkValue").c_str(), 0, REG_LINK,
                              reinterpret_cast<const BYTE*>(path.data()),
                              static_cast<DWORD>(path.size() * sizeof path[0]));
    RegCloseKey(link);
    return std::to_string(status) + " disposition=" + std::to_string(disposition) +
           " set=" + std::to_string(set);
}

// Opens root\path with the options and tells what it found: the link itself (its "SymbolicLinkValue"),
// or a key of ours by its value "Where".
std::string OpenLinked(HKEY root, const char* path, DWORD options) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, path, options, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        return std::to_string(status);
    }
    char where[16] = "";
    DWORD size = sizeof where - 1;
    LONG found = RegQueryValueExA(key, "Where", nullptr, nullptr, reinterpret_cast<BYTE*>(where), &size);
    DWORD type = 0xDEAD;
    size = 0;
    LONG link = RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, &size);
    std::string text = "0 where=" + (found == ERROR_SUCCESS ? std::string(where) : std::to_string(found)) +
                       " link=" + std::to_string(link);
    if (link == ERROR_SUCCESS) {
        text += " type=" + std::to_string(type) + " size=" + std::to_string(size);
    }
    RegCloseKey(key);
    return text;
}

// Registry links: a user's key that leads into the machine's keys, and what each call does with it.
void ProbeRegistryLinks() {
    const char* targets = "Software\\ConformanceLinkTargets";
    const char* keys[][2] = {{"Leaf", "leaf"}, {"Branch\\Child", "child"}};
    for (const auto& made : keys) {
        HKEY key = nullptr;
        Create(HKEY_LOCAL_MACHINE, (std::string(targets) + "\\" + made[0]).c_str(), &key);
        SetValue(key, "where", "Where", REG_SZ, made[1], static_cast<DWORD>(std::strlen(made[1]) + 1));
        RegCloseKey(key);
    }
    HKEY base = nullptr;
    Create(HKEY_CURRENT_USER, "Software\\ConformanceLinks", &base);
    Line("reg.link.make", "%s",
         MakeLink(base, "ToLeaf", "\\Registry\\Machine\\Software\\ConformanceLinkTargets\\Leaf").c_str());
    Line("reg.link.make_again", "%s",
         MakeLink(base, "toleaf", "\\Registry\\Machine\\Software\\ConformanceLinkTargets\\Branch").c_str());
    MakeLink(base, "ToBranch", "\\Registry\\Machine\\Software\\ConformanceLinkTargets\\Branch");
    MakeLink(base, "ToNothing", "\\Registry\\Machine\\Software\\ConformanceLinkTargets\\Nothing");
    Line("reg.link.enum", "%s", Enumerate(base).c_str());
    Line("reg.link.info", "%s", Info(base).c_str());
    const struct {
        const char* key;
        const char* path;
        DWORD options;
    } opens[] = {
        {"through", "ToLeaf", 0},
        {"itself", "ToLeaf", REG_OPTION_OPEN_LINK},
        {"itself_case", "toleaf", REG_OPTION_OPEN_LINK},
        {"path_through", "ToBranch\\Child", 0},
        {"path_through_option", "ToBranch\\Child", REG_OPTION_OPEN_LINK},
        {"dangling", "ToNothing", 0},
        {"dangling_itself", "ToNothing", REG_OPTION_OPEN_LINK},
    };
    for (const auto& open : opens) {
        Line(std::string("reg.link.open_") + open.key, "%s",
             OpenLinked(base, open.path, open.options).c_str());
    }
    Line("reg.link.open_plain_key_option", "%s",
         OpenLinked(HKEY_CURRENT_USER, "Software\\ConformanceLinks", REG_OPTION_OPEN_LINK).c_str());
    HKEY link = nullptr;
    RegOpenKeyExA(base, "ToLeaf", REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &link);
    Line("reg.link.info_itself", "%s", Info(link).c_str());
    // The program's test of a link: the type alone, neither data nor size asked for.
    DWORD type = 0xDEAD;
    Line("reg.link.type_only", "%ld type=%lu",
         static_cast<long>(RegQueryValueExA(link, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr)),
         static_cast<unsigned long>(type));
    RegCloseKey(link);

    HKEY created = nullptr;
    std::string outcome = Create(base, "ToLeaf", &created);
    Line("reg.link.create_through", "%s %s", outcome.c_str(), Info(created).c_str());
    RegCloseKey(created);
    outcome = Create(base, "ToNothing", &created);
    Line("reg.link.create_dangling", "%s", outcome.c_str());
    RegCloseKey(created);
    Line("reg.link.create_dangling_target", "%s",
         OpenLinked(HKEY_LOCAL_MACHINE, "Software\\ConformanceLinkTargets\\Nothing", 0).c_str());

    // A delete by name goes through the link and deletes the key it leads to; the link stays.
    Line("reg.link.delete_branch", "%ld", static_cast<long>(RegDeleteKeyA(base, "ToBranch")));
    Line("reg.link.delete_leaf", "%ld", static_cast<long>(RegDeleteKeyA(base, "ToLeaf")));
    Line("reg.link.delete_leaf_again", "%ld", static_cast<long>(RegDeleteKeyA(base, "ToLeaf")));
    Line("reg.link.after_target", "%s",
         OpenLinked(HKEY_LOCAL_MACHINE, "Software\\ConformanceLinkTargets\\Leaf", 0).c_str());
    Line("reg.link.after_link", "%s", OpenLinked(base, "ToLeaf", REG_OPTION_OPEN_LINK).c_str());
    Line("reg.link.after_enum", "%s", Enumerate(base).c_str());
    RegCloseKey(base);
}

// The temporary folder and the program's own name into buffers of several sizes: what a short buffer
// gets, and whether it is terminated.
void ProbeBufferedNames() {
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
}

void ProbeWsprintf() {
    char buffer[1100];
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
}

void ProbeStringFunctions() {
    char buffer[1100];
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
}

void ProbeFoldersAndEnvironment() {
    char buffer[1100];
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
}

// GetTempPathA takes TMP (before TEMP) as a full path: a relative one resolved against the current
// folder (C:\probe), a root as it is.
void ProbeTempFromEnvironment() {
    char buffer[MAX_PATH];
    const char* const values[][2] = {{"relative", "Temp Dir\\"}, {"root", "C:\\"}};
    for (const auto& value : values) {
        SetEnvironmentVariableA("TMP", value[1]);
        SetEnvironmentVariableA("TEMP", value[1]);
        DWORD length = GetTempPathA(MAX_PATH, buffer);
        Line(std::string("sys.temp_from_env.") + value[0], "%lu %s", static_cast<unsigned long>(length),
             length > 0 && length < MAX_PATH ? buffer : "");
    }
    SetEnvironmentVariableA("TMP", kTempFolder);
    SetEnvironmentVariableA("TEMP", kTempFolder);
}

void ProbeNamedEvent() {
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

void ProbeSystem() {
    ProbeBufferedNames();
    ProbeWsprintf();
    ProbeStringFunctions();
    ProbeFoldersAndEnvironment();
    ProbeTempFromEnvironment();
    ProbeNamedEvent();
}

typedef DWORD(WINAPI* GetTempPathWFunction)(DWORD, LPWSTR);
typedef UINT(WINAPI* GetFolderFunction)(LPSTR, UINT);

// The system DLLs by name, and the functions the program looks up in them because older Windows lack
// them.
void ProbeModulesAndFunctions() {
    for (const char* name : {"kernel32.dll", "KERNEL32", "advapi32.dll", "AdvApi32", "nosuch.dll"}) {
        SetLastError(0);
        HMODULE module = GetModuleHandleA(name);
        Line(std::string("sys.module.") + name, "%s",
             module != nullptr ? "found" : ("null " + std::to_string(GetLastError())).c_str());
    }
    Line("sys.module.same", "%s",
         GetModuleHandleA("kernel32.dll") == GetModuleHandleA("KERNEL32") ? "same" : "other");
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    const struct {
        const char* key;
        HMODULE module;
        const char* name;
    } lookups[] = {
        {"GetTempPathW", kernel, "GetTempPathW"},
        {"GetSystemWow64DirectoryA", kernel, "GetSystemWow64DirectoryA"},
        {"RegQueryValueExW", advapi, "RegQueryValueExW"},
        {"lower_case", kernel, "gettemppathw"},
        {"missing", kernel, "NoSuchFunction"},
        {"other_module", advapi, "GetTempPathW"},
    };
    for (const auto& lookup : lookups) {
        SetLastError(0);
        FARPROC function = GetProcAddress(lookup.module, lookup.name);
        Line(std::string("sys.proc.") + lookup.key, "%s",
             function != nullptr ? "found" : ("null " + std::to_string(GetLastError())).c_str());
    }
}

// The temporary folder in UTF-16, as the ANSI one is (C:\conf\Temp Dir\, 17 characters).
void ProbeWideTempPath() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto getTempPathW = reinterpret_cast<GetTempPathWFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetTempPathW")));
    for (DWORD size : {0u, 5u, 17u, 18u, 19u}) {
        WCHAR wide[40];
        for (WCHAR& unit : wide) {
            unit = '#';
        }
        SetLastError(0);
        DWORD length = getTempPathW != nullptr ? getTempPathW(size, size == 0 ? nullptr : wide) : 0;
        DWORD error = GetLastError();
        Line("sys.temp_path_wide" + std::to_string(size), "%lu err=%lu %s",
             static_cast<unsigned long>(length), static_cast<unsigned long>(error),
             Units(wide, size + 1).c_str());
    }
}

// SysWOW64: the system folder of 32-bit programs on 64-bit Windows.
void ProbeWow64Folder() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto getWow64Folder = reinterpret_cast<GetFolderFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetSystemWow64DirectoryA")));
    char folder[MAX_PATH];
    SetLastError(0);
    UINT length = getWow64Folder != nullptr ? getWow64Folder(folder, MAX_PATH) : 0;
    if (length == 0) {
        Line("sys.wow64_folder", "fail %lu", static_cast<unsigned long>(GetLastError()));
    } else {
        UINT needed = getWow64Folder(folder + 100, 3);
        Line("sys.wow64_folder", "%u %u %d", length, needed, lstrcmpiA(folder, "C:\\WINDOWS\\SysWOW64"));
    }
}

// ANSI (code page 1252) to UTF-16, as the program compares its ANSI names with their wide forms.
void ProbeToWide() {
    const struct {
        const char* key;
        const char* text;
        int count;
        int size;
    } conversions[] = {
        {"ascii", "abc", -1, 10},
        {"counted", "abcdef", 3, 10},
        {"size_only", "abc", -1, 0},
        {"exact", "abc", -1, 4},
        {"short", "abcdef", -1, 3},
        {"empty", "", -1, 10},
        {"embedded_null", "a\0b", 3, 10},
        {"zero_count", "abc", 0, 10},
        {"null", nullptr, -1, 10},
        {"latin1", "caf\xE9 \xA0\xC6\xD8\xFF", -1, 20},
        {"control_range",
         "\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8D\x8E\x8F"
         "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9D\x9E\x9F",
         32, 40},
    };
    for (const auto& conversion : conversions) {
        WCHAR wide[40];
        for (WCHAR& unit : wide) {
            unit = '#';
        }
        SetLastError(0);
        int converted = MultiByteToWideChar(CP_ACP, 0, conversion.text, conversion.count,
                                            conversion.size == 0 ? nullptr : wide, conversion.size);
        DWORD error = GetLastError();
        int shown = converted > 0 && conversion.size > 0 ? converted : 0;
        Line(std::string("str.to_wide.") + conversion.key, "%d err=%lu %s", converted,
             static_cast<unsigned long>(error), Units(wide, static_cast<size_t>(shown)).c_str());
    }
}

// The functions the program looks up because older Windows lack them, called as the program calls
// them.
void ProbeLookups() {
    ProbeModulesAndFunctions();
    ProbeWideTempPath();
    ProbeWow64Folder();
    ProbeToWide();
}

// Named mutexes and events share one namespace, whose names are told apart by case.
void ProbeSyncObjects() {
    auto outcome = [](HANDLE handle) {
        DWORD error = GetLastError();
        return std::string(handle != nullptr ? "valid " : "null ") + std::to_string(error);
    };
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "ConformanceProbeMutex");
    std::string made = outcome(mutex);
    HANDLE again = CreateMutexA(nullptr, FALSE, "ConformanceProbeMutex");
    std::string opened = outcome(again);
    HANDLE otherCase = CreateMutexA(nullptr, FALSE, "conformanceprobemutex");
    std::string otherCaseOutcome = outcome(otherCase);
    HANDLE eventOnMutex = CreateEventA(nullptr, TRUE, FALSE, "ConformanceProbeMutex");
    Line("sys.mutex", "made=%s again=%s other_case=%s event_by_its_name=%s", made.c_str(), opened.c_str(),
         otherCaseOutcome.c_str(), outcome(eventOnMutex).c_str());
    Line("sys.mutex.reset", "%s", Bool(ResetEvent(mutex)).c_str());
    CloseHandle(mutex);
    CloseHandle(again);
    CloseHandle(otherCase);
    HANDLE afterClose = CreateEventA(nullptr, TRUE, FALSE, "ConformanceProbeMutex");
    Line("sys.mutex.name_free", "%s", outcome(afterClose).c_str());
    CloseHandle(afterClose);

    // The hand-over signal: a manual-reset event, reset before it is waited for.
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, "ConformanceProbeHandOver");
    made = outcome(event);
    HANDLE mutexOnEvent = CreateMutexA(nullptr, TRUE, "ConformanceProbeHandOver");
    std::string mutexByName = outcome(mutexOnEvent);
    BOOL reset = ResetEvent(event);
    DWORD afterReset = WaitForSingleObject(event, 0);
    BOOL set = SetEvent(event);
    DWORD first = WaitForSingleObject(event, 0);
    DWORD second = WaitForSingleObject(event, 0);
    Line("sys.event.manual", "made=%s mutex_by_its_name=%s reset=%d wait=0x%lX set=%d waits=0x%lX,0x%lX",
         made.c_str(), mutexByName.c_str(), reset, static_cast<unsigned long>(afterReset), set,
         static_cast<unsigned long>(first), static_cast<unsigned long>(second));
    CloseHandle(event);
    HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, "ConformanceProbeAuto");
    first = WaitForSingleObject(automatic, 0);
    second = WaitForSingleObject(automatic, 0);
    Line("sys.event.auto", "waits=0x%lX,0x%lX", static_cast<unsigned long>(first),
         static_cast<unsigned long>(second));
    CloseHandle(automatic);
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
    ProbeFolderIdentity();
    ProbeListings();
    ProbeRegistry();
    ProbeRegistryLinks();
    ProbeSystem();
    ProbeLookups();
    ProbeSyncObjects();
    WriteScripts();
    std::fflush(stdout);
    return 0;
}

}  // namespace conformance
