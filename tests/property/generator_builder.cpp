#include "generator_builder.h"

#include "sim_path.h"

namespace property {
namespace generator {

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') {
        return folder + name;
    }
    return folder + "\\" + name;
}

std::string PadPath(const std::string& base, size_t length, const std::string& stem) {
    std::string path = Join(base, stem);
    while (path.size() < length) {
        size_t name = path.size() - path.find_last_of('\\') - 1;
        if (name >= 40 && length - path.size() >= 2) {
            path += '\\';
        } else {
            path += static_cast<char>('a' + path.size() % 26);
        }
    }
    return path;
}

std::string WithTerminator(const std::string& text) {
    return text + std::string(1, '\0');
}

std::string RandomName(Choices& c, size_t length) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-.{}~";
    std::string name;
    for (size_t i = 0; i < length; ++i) {
        name += kLetters[c.Pick(static_cast<int>(sizeof kLetters) - 1)];
    }
    if (name.empty() || name.back() == ' ' || name.back() == '.') {
        name += 'k';
    }
    if (name[0] == ' ') {
        name[0] = 'k';
    }
    return name;
}

sim::Time LockTime(Choices& c) {
    static const std::vector<sim::Time> kTimes = {sim::kForever, 0, 100, 2000, 3000, 60000};
    return c.OneOf(kTimes);
}

void AddCutVictims(Builder& b, const std::string& fullPath, const std::string& content) {
    for (size_t limit : {static_cast<size_t>(MAX_PATH - 1), static_cast<size_t>(MAX_PATH - 2)}) {
        if (fullPath.size() <= limit) {
            continue;
        }
        std::string cut = fullPath.substr(0, limit);
        if (cut.back() == '\\') {
            continue;
        }
        if (b.File(cut, content + " (cut victim)")) {
            b.Note("cut victim: " + cut);
        }
    }
}

void AddProductFilesIn(Builder& b, const std::string& folder, const std::string& why) {
    for (const std::string& name : ProductFileNames()) {
        b.File(Join(folder, name), why + " " + name);
    }
    b.File(Join(folder, "images\\title.bmp"), why + " picture");
    b.File(Join(folder, kUninstallerName), why + " uninstaller");
}

void AddVictimFolder(Builder& b, const std::string& folder, const std::string& why) {
    sim::SimPath resolved;
    if (sim::ResolvePath(folder, "", resolved, false, false) != 0) {
        return;
    }
    AddProductFilesIn(b, sim::PathText(resolved), why);
    b.Note("victims (" + why + ") in " + sim::PathText(resolved));
}

}  // namespace generator
}  // namespace property
