// Paths are composed in fixed MAX_PATH buffers. What fits is built whole; what does not is refused
// whole, because a cut path can name another file than the one meant.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/folders.h"
#include "common/path_buffer.h"
#include "machine.h"

namespace {

// The buffer holds `text`; every byte after its terminator is a marker, so a stray write shows.
void Fill(PathBuffer& path, const std::string& text) {
    std::memset(path, '#', sizeof path);
    std::memcpy(path, text.c_str(), text.size() + 1);
}

TEST(PathBuffer, EnsureTrailingBackslashAppendsOneOnlyWhereItIsMissingAndFits) {
    sim::Machine machine;
    const std::string long258 = "C:\\" + std::string(255, 'a');
    const std::string long259 = "C:\\" + std::string(256, 'a');
    struct Case {
        const char* name;
        std::string before;
        int result;
        std::string after;
    };
    const std::vector<Case> cases = {
        {"empty", "", 1, "\\"},
        {"folder", "C:\\WINDOWS\\TEMP", 1, "C:\\WINDOWS\\TEMP\\"},
        {"already ends in one", "C:\\WINDOWS\\TEMP\\", 1, "C:\\WINDOWS\\TEMP\\"},
        {"drive root", "C:\\", 1, "C:\\"},
        {"a slash is no backslash", "C:/TEMP/", 1, "C:/TEMP/\\"},
        {"258 characters grow to 259", long258, 1, long258 + "\\"},
        {"259 characters ending in one", long258 + "\\", 1, long258 + "\\"},
        {"259 characters without one", long259, 0, long259},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PathBuffer path;
        Fill(path, c.before);
        EXPECT_EQ(EnsureTrailingBackslash(path), c.result);
        EXPECT_EQ(std::string(path), c.after);
    }
}

TEST(PathBuffer, BuildPathRefusesWholeWhatWouldNotFit) {
    sim::Machine machine;
    const std::string folder = "C:\\" + std::string(240, 'f');  // 243 characters
    struct Case {
        const char* name;
        const char* second;
        const char* third;
        const char* fourth;
        std::string built;  // empty: refused
    };
    const std::vector<Case> cases = {
        {"two parts", "\\a.txt", nullptr, nullptr, folder + "\\a.txt"},
        {"four parts", "\\", "delme", "1.bat", folder + "\\delme1.bat"},
        {"exactly 259 characters", "\\", "nnnnnnnnnnnnnnn", nullptr, folder + "\\" + std::string(15, 'n')},
        {"260 characters", "\\", "nnnnnnnnnnnnnnnn", nullptr, ""},
        {"refused at the last part", "\\", "delme", "1000000000000.bat", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PathBuffer path;
        Fill(path, "C:\\previous\\content");
        int result = BuildPath(path, folder.c_str(), c.second, c.third, c.fourth);
        EXPECT_EQ(result, c.built.empty() ? 0 : 1);
        // Never a cut path, and never what was there before.
        EXPECT_EQ(std::string(path), c.built);
    }
}

TEST(PathBuffer, ContainsTextIsByteExactAndCaseSensitive) {
    sim::Machine machine;
    struct Case {
        const char* text;
        const char* part;
        int found;
    };
    const std::vector<Case> cases = {
        {"C:\\Apps\\VORSK Software", "\\VORSK Software", 1},
        {"\\VORSK Software\\Tandrel", "\\VORSK Software", 1},
        {"C:\\VORSK Software2\\x", "\\VORSK Software", 1},
        {"C:\\Apps\\vorsk software", "\\VORSK Software", 0},
        {"C:\\Apps\\VORSK SOFTWARE", "\\VORSK Software", 0},
        {"C:\\Apps\\VORSK Softwar", "\\VORSK Software", 0},
        {"C:\\Apps\\VORSK  Software", "\\VORSK Software", 0},
        {"C:\\VORSK Software", "C:\\VORSK Software\\", 0},
        {"aaab", "aab", 1},
        {"C:\\TEMP%\\", "%", 1},
        {"C:\\TEMP\\", "%", 0},
        {"abc", "", 1},
        {"", "", 1},
        {"", "a", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.part);
        EXPECT_EQ(ContainsText(c.text, c.part), c.found);
    }
    EXPECT_EQ(ContainsText(nullptr, "a"), 0);
    EXPECT_EQ(ContainsText("a", nullptr), 0);
}

TEST(PathBuffer, IsFullPathAcceptsOnlyPathsThatNameTheirPlaceThemselves) {
    sim::Machine machine;
    struct Case {
        const char* path;
        int full;
    };
    const std::vector<Case> cases = {
        {"C:\\", 1},
        {"C:\\Apps\\VORSK Software\\Tandrel", 1},
        {"c:\\apps", 1},
        {"Z:\\x", 1},
        {"\\\\SERVER\\SHARE\\Tandrel", 1},
        {"\\\\SERVER\\SHARE", 1},
        {"\\\\SERVER\\SHARE\\", 1},
        // A server without a share is no folder: names appended to it would be its shares.
        {"\\\\SERVER", 0},
        {"\\\\SERVER\\", 0},
        {"\\\\SERVER\\\\SHARE", 0},
        {"C:", 0},
        {"C:foo", 0},
        {"C:Apps\\Tandrel", 0},
        {"Apps\\Tandrel", 0},
        {".\\Apps", 0},
        {"..\\Apps", 0},
        {"\\Apps\\Tandrel", 0},
        {"\\\\", 0},
        {"\\\\\\SERVER", 0},
        {"1:\\Apps", 0},
        {":\\Apps", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsFullPath(c.path), c.full);
    }
}

TEST(PathBuffer, TemporaryFolderIsHadWholeOrNotAtAll) {
    const std::string fits = "C:\\" + std::string(255, 't') + "\\";  // 259 characters
    struct Case {
        const char* name;
        std::string reported;
        bool fault;
        std::string had;
    };
    const std::vector<Case> cases = {
        {"259 characters", fits, false, fits},
        {"260 characters", "C:\\" + std::string(256, 't') + "\\", false, ""},
        {"not to be had", fits, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        machine.files.SetTempPath(c.reported);
        if (c.fault) {
            machine.journal.InjectFault(sim::Fault{"GetTempPathA", 1, ERROR_ACCESS_DENIED});
        }
        PathBuffer folder;
        Fill(folder, "old");
        EXPECT_EQ(GetTempFolder(folder), c.had.empty() ? 0 : 1);
        EXPECT_EQ(std::string(folder), c.had);
    }
}

}  // namespace
