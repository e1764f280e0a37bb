// The machine generator's tools, shared by its parts: the builder that puts files, keys, values and
// holds on a machine and remembers what it put where, the tables the generator's choices are made
// from, and helpers for the paths it makes.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "choices.h"
#include "machine.h"
#include "machine_generator.h"
#include "support/product_names.h"

namespace property {
namespace generator {

// The product's names, shared with the tests.
using namespace product_names;

inline constexpr char kShare[] = "\\\\SERVER\\SHARE";

std::string Join(const std::string& folder, const std::string& name);

// base + "\" + stem + filler names, exactly `length` characters, no name longer than 40 and none
// ending in a dot or space (Windows would drop those).
std::string PadPath(const std::string& base, size_t length, const std::string& stem);

std::string WithTerminator(const std::string& text);

// One way a choice of the generator can go, a row of its table: how often (its weight among the
// table's), what the machine's description notes when it is taken, and what it builds (`Build`, the
// table's function type). A row marked `onOrdinaryMachines` may be taken on an ordinary machine too.
template <typename Build>
struct Choice {
    int weight;
    const char* label;
    Build build;
    bool onOrdinaryMachines = false;
};

class Builder {
  public:
    Builder(Choices& choices, sim::Machine& machine, GeneratedMachine& generated)
        : c(choices), m(machine), g(generated) {}

    Choices& c;
    sim::Machine& m;
    GeneratedMachine& g;
    int hostility = 0;  // 0: an ordinary machine, 1: a few odd things, 2: many

    // Something odd, more often on more hostile machines, never on ordinary ones.
    bool Odd(int percent) { return c.Chance(percent * hostility / 2); }

    // One row of a table of variants, picked in proportion to the weights: on an ordinary machine the
    // first (ordinary) one, unless the row picked may be taken there too. The description notes the
    // row's label (after `about`), except for the first row's: the ordinary case needs no note.
    template <typename Build, size_t N>
    const Choice<Build>& Variant(const Choice<Build> (&table)[N], const std::string& about = "") {
        const Choice<Build>& picked = Weighted(table);
        return Taken(table, hostility == 0 && !picked.onOrdinaryMachines ? table[0] : picked, about);
    }

    // One row of a table picked in proportion to the weights, on ordinary machines too.
    template <typename Build, size_t N>
    const Choice<Build>& Any(const Choice<Build> (&table)[N], const std::string& about = "") {
        return Taken(table, Weighted(table), about);
    }

    void Note(const std::string& text) { g.description.push_back(text); }

    void Root(const std::string& root) {
        if (root.size() == 2) {
            m.files.AddDrive(root);
        } else {
            m.files.AddShare(root);
        }
        g.fileRoots.push_back(root);
    }

    // Whether a file (or folder) can be put at `path` without replacing a folder by a file or
    // putting something below a file; fills `keys` with the case-folded paths from the root down.
    bool Placeable(const std::string& path, bool folder, std::vector<std::string>& keys) const {
        sim::SimPath resolved;
        if (sim::ResolvePath(path, "", resolved, false, false) != 0 || resolved.segments.empty()) {
            return false;
        }
        bool rootKnown =
            std::any_of(g.fileRoots.begin(), g.fileRoots.end(),
                        [&resolved](const std::string& root) { return sim::SameName(root, resolved.root); });
        if (!rootKnown) {
            return false;
        }
        std::string key = sim::UpperCase(resolved.root);
        for (size_t i = 0; i < resolved.segments.size(); ++i) {
            key += "\\" + sim::UpperCase(resolved.segments[i]);
            keys.push_back(key);
            auto found = placed_.find(key);
            bool last = i + 1 == resolved.segments.size();
            if (found != placed_.end() && (last ? found->second != folder : !found->second)) {
                return false;
            }
        }
        return true;
    }

    void Placed(const std::vector<std::string>& keys, bool folder) {
        for (size_t i = 0; i < keys.size(); ++i) {
            placed_[keys[i]] = i + 1 < keys.size() || folder;
        }
    }

    bool File(const std::string& path, const std::string& content,
              DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
        std::vector<std::string> keys;
        if (!Placeable(path, false, keys)) {
            return false;
        }
        m.files.AddFile(path, content, attributes);
        Placed(keys, false);
        g.fileAttributes[keys.back()] = attributes;
        return true;
    }

    bool Folder(const std::string& path) {
        std::vector<std::string> keys;
        if (!Placeable(path, true, keys)) {
            return false;
        }
        m.files.AddFolder(path);
        Placed(keys, true);
        return true;
    }

    bool IsFile(const std::string& path) const {
        sim::SimPath resolved;
        if (sim::ResolvePath(path, "", resolved, false, false) != 0) {
            return false;
        }
        auto found = placed_.find(sim::PathKey(resolved));
        return found != placed_.end() && !found->second;
    }

  private:
    template <typename Build, size_t N>
    const Choice<Build>& Weighted(const Choice<Build> (&table)[N]) {
        int total = 0;
        for (const Choice<Build>& row : table) {
            total += row.weight;
        }
        int roll = c.Pick(total);
        for (const Choice<Build>& row : table) {
            if (roll < row.weight) {
                return row;
            }
            roll -= row.weight;
        }
        return table[0];  // the choices have run out
    }

    template <typename Build, size_t N>
    const Choice<Build>& Taken(const Choice<Build> (&table)[N], const Choice<Build>& row,
                               const std::string& about) {
        if (&row != &table[0]) {
            Note(about + row.label);
        }
        return row;
    }

    // What the generator has put on the machine: case-folded path -> is a folder. The machine
    // starts with its temporary folder.
    std::map<std::string, bool> placed_ = {{"C:\\WINDOWS", true}, {"C:\\WINDOWS\\TEMP", true}};

  public:
    bool Lock(const std::string& path, sim::Time until) {
        sim::SimPath resolved;
        if (sim::ResolvePath(path, "", resolved, false, false) != 0) {
            return false;
        }
        m.files.LockFile(path, c.Chance(50) ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED, until);
        Note("locked until " + std::to_string(until) + ": " + path);
        return true;
    }

    void Value(HKEY root, const std::string& path, const std::string& name, DWORD type,
               const std::string& data) {
        m.registry.SetValue(root, path, name, type, data);
        g.values.push_back(ValueRef{root, path, name});
    }

    void String(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
        Value(root, path, name, REG_SZ, WithTerminator(text));
    }

    // A key with a value of its own, so that a change to it shows.
    void Key(HKEY root, const std::string& path) { String(root, path, "Owner", path); }
};

std::string RandomName(Choices& c, size_t length);
sim::Time LockTime(Choices& c);

// Files named like what a path cut at the length limit would name: a program that cuts instead of
// refusing deletes or overwrites them.
void AddCutVictims(Builder& b, const std::string& fullPath, const std::string& content);

// The product's files, a picture and an uninstaller in a folder that is not the product's.
void AddProductFilesIn(Builder& b, const std::string& folder, const std::string& why);

// A folder a wrong reading of a value would name, with files named like the product's.
void AddVictimFolder(Builder& b, const std::string& folder, const std::string& why);

}  // namespace generator
}  // namespace property
