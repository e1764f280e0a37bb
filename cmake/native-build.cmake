# The logic linked against the simulated Windows, with the unit and scenario tests.
include(cmake/logic-sources.cmake)
option(UNINSTALL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
if(UNINSTALL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(simulated_windows STATIC
    sim/sim_path.cpp
    sim/journal.cpp
    sim/registry.cpp
    sim/file_system.cpp
    sim/shell.cpp
    sim/processes.cpp
    sim/kernel.cpp
    sim/desktop.cpp
    sim/driver.cpp
    sim/machine.cpp
    sim/registry_key_api.cpp
    sim/registry_value_api.cpp
    sim/file_api.cpp
    sim/folder_api.cpp
    sim/file_handle_api.cpp
    sim/kernel_api.cpp
    sim/window_api.cpp
    sim/shell_api.cpp
    sim/process_api.cpp
    sim/string_api.cpp
    sim/module_api.cpp
    sim/batch_interpreter.cpp
    sim/code_pages.cpp
)
target_include_directories(simulated_windows PUBLIC sim)
target_compile_options(simulated_windows PRIVATE -Wall -Wextra -Werror)

add_library(uninstall_logic STATIC ${UNINSTALL_LOGIC_SOURCES})
target_include_directories(uninstall_logic PUBLIC src)
target_compile_options(uninstall_logic PRIVATE ${UNINSTALL_WARNINGS})
target_link_libraries(uninstall_logic PUBLIC simulated_windows)

enable_testing()
add_subdirectory(tests)
add_subdirectory(bench)
