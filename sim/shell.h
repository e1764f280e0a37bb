// The shell of the simulated Windows: the starts ShellExecuteA accepts, the change notifications
// programs send, and the environment every process sees, with the expansion of "%NAME%" that
// ExpandEnvironmentStringsA and the shell's start apply.
//
// It reads the file system (TEMP and TMP name its temporary folder) and nothing else; the driver
// runs the starts recorded here, and the command interpreter reads the environment.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "file_system.h"
#include "simulated_windows_api.h"

namespace sim {

struct StartRecord {
    std::string verb;  // empty: the default verb
    std::string file;
    std::optional<std::string> parameters;
    std::optional<std::string> directory;
    int show = 0;
    int process = 0;
    bool hadOwner = false;
    bool accepted = false;   // ShellExecuteA reported a start
    int startedProcess = 0;  // the process of an .exe started, which exists from the start on
    bool ran = false;        // the driver has run it
};

struct Notification {
    LONG event = 0;
    UINT flags = 0;
    std::string path;
    bool secondItem = false;
    int process = 0;
};

class Shell {
  public:
    explicit Shell(const FileSystem& files);
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // The environment every process sees: TEMP and TMP name the temporary folder, WINDIR and
    // SYSTEMROOT C:\WINDOWS, USERNAME the user; a test may set others, or these (empty: not set).
    void SetVariable(const std::string& name, const std::string& value);
    std::optional<std::string> Variable(const std::string& name) const;
    // "%NAME%" replaced by the variable's value where it is set, as ExpandEnvironmentStringsA and the
    // shell's start do; any other '%' stays.
    std::string ExpandVariables(const std::string& text) const;
    // A value the ANSI code page cannot hold: ANSI programs read its look-alike (SetVariable), the
    // wide expansion this.
    void SetVariableWide(const std::string& name, const std::u16string& value) {
        wideValues_[UpperCase(name)] = value;
    }
    std::u16string ExpandVariablesWide(const std::u16string& text) const;

    const std::vector<StartRecord>& Starts() const { return starts_; }
    const std::vector<Notification>& Notifications() const { return notifications_; }

    // --- For the Windows functions and the driver ---------------------------------------------------
    void RecordStart(const StartRecord& start) { starts_.push_back(start); }
    void MarkRun(size_t index) { starts_.at(index).ran = true; }
    void RecordNotification(const Notification& notification) { notifications_.push_back(notification); }

  private:
    const FileSystem& files_;
    std::vector<StartRecord> starts_;
    std::vector<Notification> notifications_;
    std::map<std::string, std::string> variables_;  // by upper-case name
    std::map<std::string, std::u16string> wideValues_;
};

}  // namespace sim
