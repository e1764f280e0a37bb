// The command interpreter's lines and commands; what it understands is told in batch_interpreter.h.
#include "batch_interpreter.h"

#include <cctype>
#include <optional>
#include <sstream>

#include "code_pages.h"

namespace sim {

namespace {

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Splits off the first word of a command line; a quoted word runs to its closing quote, or to the end
// of the line when the quote is never closed.
std::string NextToken(std::string& rest) {
    rest = Trim(rest);
    std::string token;
    size_t i = 0;
    if (!rest.empty() && rest[0] == '"') {
        size_t close = rest.find('"', 1);
        token = rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        i = close == std::string::npos ? rest.size() : close + 1;
    } else {
        while (i < rest.size() && rest[i] != ' ' && rest[i] != '\t') {
            ++i;
        }
        token = rest.substr(0, i);
    }
    rest = rest.substr(i);
    return token;
}

bool HasWildcard(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

std::vector<std::string> ReadLines(const std::string& content) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(content);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// A variable of the environment, or nothing when it is not set.
std::string Variable(const std::string& name, const Shell& shell) {
    return shell.Variable(name).value_or("");
}

// cmd expands each line of a batch file before it runs it: "%%" is one percent sign, %0 the script as
// it was started (quoted) and %1 to %9 and %* its arguments (none here), %~...0 the script's path,
// %NAME% the variable, or nothing when it is not set; a percent sign that starts none of these is
// dropped.
std::string ExpandPercents(const std::string& line, const std::string& script, const Shell& shell) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '%') {
            out += line[i];
            continue;
        }
        if (i + 1 == line.size()) {
            break;
        }
        char next = line[i + 1];
        if (next == '%') {
            out += '%';
            ++i;
        } else if (next >= '0' && next <= '9') {
            out += next == '0' ? "\"" + script + "\"" : "";
            ++i;
        } else if (next == '*') {
            ++i;
        } else if (next == '~' && i + 2 < line.size() &&
                   std::isalpha(static_cast<unsigned char>(line[i + 2]))) {
            size_t digit = i + 2;
            while (digit < line.size() && std::isalpha(static_cast<unsigned char>(line[digit]))) {
                ++digit;
            }
            if (digit < line.size() && line[digit] >= '0' && line[digit] <= '9') {
                out += line[digit] == '0' ? script : "";
                i = digit;
            }
        } else {
            size_t close = line.find('%', i + 1);
            if (close != std::string::npos) {
                out += Variable(line.substr(i + 1, close - i - 1), shell);
                i = close;
            }
        }
    }
    return out;
}

// With delayed expansion on, a line that holds '!' is read once more after the '%' expansion:
// "!NAME!" is the variable (nothing when it is not set), a lone '!' is dropped, and '^' makes the
// next character plain.
std::string ExpandExclamations(const std::string& line, const Shell& shell) {
    if (line.find('!') == std::string::npos) {
        return line;
    }
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '^') {
            if (i + 1 < line.size()) {
                out += line[++i];
            }
        } else if (line[i] == '!') {
            size_t close = line.find('!', i + 1);
            if (close != std::string::npos) {
                out += Variable(line.substr(i + 1, close - i - 1), shell);
                i = close;
            }
        } else {
            out += line[i];
        }
    }
    return out;
}

}  // namespace

BatchInterpreter::BatchInterpreter(FileSystem& files, const Shell& shell, const Registry& registry,
                                   Clock& clock, BatchRun& run, const std::string& currentFolder)
    : files_(files),
      shell_(shell),
      registry_(registry),
      clock_(clock),
      run_(run),
      currentFolder_(currentFolder) {}

void BatchInterpreter::Run(int stepLimit, Time lineCost) {
    bool found = false;
    // A batch file is read in the OEM code page.
    lines_ = ReadLines(DecodeOemText(ScriptContent(found)));
    bool delayed = DelayedExpansion();
    if (!found) {
        run_.output.push_back("The system cannot find the file specified.");
    }
    ended_ = !found;
    while (!ended_ && next_ < lines_.size()) {
        if (run_.steps >= stepLimit) {
            run_.stepLimitReached = true;
            break;
        }
        ++run_.steps;
        clock_.Advance(lineCost);
        std::string rest = ExpandPercents(lines_[next_++], run_.script, shell_);
        if (delayed) {
            rest = ExpandExclamations(rest, shell_);
        }
        rest = Trim(rest);
        if (!rest.empty() && rest[0] == '@') {
            rest = Trim(rest.substr(1));
        }
        RunLine(rest);
        bool stillThere = false;
        ScriptContent(stillThere);
        if (!stillThere && !ended_) {
            run_.output.push_back("The batch file cannot be found.");
            ended_ = true;
        }
    }
    run_.finished = !run_.stepLimitReached;
}

void BatchInterpreter::RunLine(std::string rest) {
    for (;;) {
        if (rest.empty() || rest[0] == ':') {
            return;  // a label: only "goto" reads it
        }
        std::string command = Lower(NextToken(rest));
        if (command == "echo" || command == "rem") {
            return;
        }
        if (command == "goto") {
            Goto(rest);
            return;
        }
        if (command == "del" || command == "erase") {
            Del(rest);
            return;
        }
        if (command == "if") {
            if (!If(rest)) {
                return;
            }
            continue;  // run the rest of the line as a command
        }
        run_.output.push_back("'" + command + "' is not recognized as an internal or external command.");
        return;
    }
}

void BatchInterpreter::Goto(const std::string& rest) {
    std::string label = Lower(Trim(rest));
    if (!label.empty() && label[0] == ':') {
        label = label.substr(1);
    }
    if (label == "eof") {
        ended_ = true;
        return;
    }
    size_t target = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string candidate = Trim(lines_[i]);
        if (!candidate.empty() && candidate[0] == ':' && Lower(Trim(candidate.substr(1))) == label) {
            target = i;
            break;
        }
    }
    if (target == lines_.size()) {
        run_.output.push_back("The system cannot find the batch label specified - " + label);
        ended_ = true;
    } else {
        next_ = target + 1;
    }
}

void BatchInterpreter::Del(std::string rest) {
    bool force = false;
    std::vector<std::string> paths;
    while (!Trim(rest).empty()) {
        std::string token = NextToken(rest);
        if (!token.empty() && token[0] == '/') {
            force = force || Lower(token) == "/f";
        } else {
            paths.push_back(token);
        }
    }
    for (const std::string& path : paths) {
        DeletePath(path, force);
    }
}

bool BatchInterpreter::If(std::string& rest) {
    std::string word = Lower(NextToken(rest));
    bool negate = word == "not";
    if (negate) {
        word = Lower(NextToken(rest));
    }
    if (word != "exist") {
        run_.output.push_back("unsupported condition: " + word);
        return false;
    }
    return Exists(NextToken(rest)) != negate;
}

void BatchInterpreter::DeletePath(const std::string& path, bool force) {
    FileSystem::Located located;
    if (files_.Locate(path, currentFolder_, located, true) != 0 || located.parent == nullptr) {
        run_.output.push_back("The system cannot find the path specified.");
        return;
    }
    std::string last = located.path.segments.back();
    FileNode* folder = nullptr;
    std::string pattern = "*";
    if (HasWildcard(last)) {
        folder = located.parent;
        pattern = last;
    } else if (located.node != nullptr && located.node->folder) {
        folder = located.node;  // "del folder" deletes every file in it (after a prompt nobody sees)
    }
    if (folder == nullptr) {
        if (located.node == nullptr) {
            run_.output.push_back("Could Not Find " + path);
        } else {
            DeleteOne(path, *located.node, force);
        }
        return;
    }
    SimPath folderPath = located.path;
    if (HasWildcard(last)) {
        folderPath.segments.pop_back();
    }
    std::vector<std::string> names;
    for (const auto& entry : folder->children) {
        if (!entry.second->folder && MatchesPattern(entry.second->name, pattern)) {
            names.push_back(entry.second->name);
        }
    }
    for (const std::string& name : names) {
        auto child = folder->children.find(UpperCase(name));
        SimPath filePath = folderPath;
        filePath.segments.push_back(name);
        DeleteOne(PathText(filePath), *child->second, force);
    }
}

void BatchInterpreter::DeleteOne(const std::string& path, FileNode& node, bool force) {
    if ((node.attributes & FILE_ATTRIBUTE_READONLY) && !force) {
        run_.output.push_back(path + ": Access is denied.");
        return;
    }
    node.attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (files_.DeleteFileAt(path, currentFolder_) != 0) {
        run_.output.push_back(path + ": The process cannot access the file.");
    }
}

bool BatchInterpreter::Exists(const std::string& path) const {
    FileSystem::Located located;
    if (files_.Locate(path, currentFolder_, located, true) != 0) {
        return false;
    }
    if (!HasWildcard(located.path.segments.empty() ? "" : located.path.segments.back())) {
        return located.node != nullptr;
    }
    for (const auto& entry : located.parent->children) {
        if (MatchesPattern(entry.second->name, located.path.segments.back())) {
            return true;
        }
    }
    return false;
}

std::string BatchInterpreter::ScriptContent(bool& found) const {
    FileSystem::Located located;
    found = files_.Locate(run_.script, currentFolder_, located) == 0 && located.node != nullptr &&
            !located.node->folder;
    return found ? located.node->content : std::string();
}

bool BatchInterpreter::DelayedExpansion() const {
    // The interpreter's own setting: the user's value wins over the machine's.
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        std::optional<RegistryValue> value =
            registry_.GetValue(root, "Software\\Microsoft\\Command Processor", "DelayedExpansion");
        if (value && value->type == REG_DWORD && value->data.size() >= 1) {
            return value->data[0] == 1;
        }
    }
    return false;
}

}  // namespace sim
