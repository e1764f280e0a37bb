#include "shell.h"

#include "code_pages.h"

namespace sim {

Shell::Shell(const FileSystem& files) : files_(files) {
    variables_["WINDIR"] = "C:\\WINDOWS";
    variables_["SYSTEMROOT"] = "C:\\WINDOWS";
    variables_["USERNAME"] = "User";
}

void Shell::SetVariable(const std::string& name, const std::string& value) {
    variables_[UpperCase(name)] = value;
}

std::optional<std::string> Shell::Variable(const std::string& name) const {
    std::string upper = UpperCase(name);
    auto found = variables_.find(upper);
    if (found != variables_.end()) {
        return found->second.empty() ? std::nullopt : std::optional<std::string>(found->second);
    }
    if (upper == "TEMP" || upper == "TMP") {
        std::string folder = files_.TempPath();
        while (folder.size() > 3 && folder.back() == '\\') {
            folder.pop_back();
        }
        return folder;
    }
    return std::nullopt;
}

std::string Shell::ExpandVariables(const std::string& text) const {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t open = text.find('%', at);
        size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(at);
            break;
        }
        out += text.substr(at, open - at);
        std::optional<std::string> value = Variable(text.substr(open + 1, close - open - 1));
        out += value.has_value() ? *value : text.substr(open, close - open + 1);
        at = close + 1;
    }
    return out;
}

std::u16string Shell::ExpandVariablesWide(const std::u16string& text) const {
    std::u16string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t open = text.find(u'%', at);
        size_t close = open == std::u16string::npos ? std::u16string::npos : text.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            out += text.substr(at);
            break;
        }
        out += text.substr(at, open - at);
        std::string name = WideToAnsi(text.substr(open + 1, close - open - 1));
        auto wide = wideValues_.find(UpperCase(name));
        std::optional<std::string> value = Variable(name);
        out += wide != wideValues_.end() ? wide->second
               : value.has_value()       ? AnsiToWide(*value)
                                         : text.substr(open, close - open + 1);
        at = close + 1;
    }
    return out;
}

}  // namespace sim
