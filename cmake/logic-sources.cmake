# The uninstaller's logic: the same sources in both builds.
set(UNINSTALL_LOGIC_SOURCES
    src/common/path_buffer.cpp
    src/common/folders.cpp
    src/rules/safety_rules.cpp
    src/control/entry.cpp
    src/control/first_phase.cpp
    src/control/hand_over.cpp
    src/control/second_phase.cpp
    src/registry/query_value.cpp
    src/registry/registry_entries.cpp
    src/files/shortcuts.cpp
    src/files/install_folder.cpp
    src/files/cleanup_script.cpp
    src/files/deletion.cpp
)
set(UNINSTALL_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror)
