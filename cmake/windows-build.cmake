# uninstall.exe for 32-bit Windows: no C or C++ runtime, only the system DLLs; small on purpose.
enable_language(RC)
include(cmake/logic-sources.cmake)

add_executable(uninstall WIN32
    ${UNINSTALL_LOGIC_SOURCES}
    src/platform/win32_startup.cpp
    src/resources/uninstall.rc
)
target_include_directories(uninstall PRIVATE src)
target_compile_options(uninstall PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${UNINSTALL_WARNINGS}>
    $<$<COMPILE_LANGUAGE:CXX>:-Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
        -fno-stack-protector -fno-threadsafe-statics -fno-ident -ffunction-sections -fdata-sections
        -mno-stack-arg-probe -mpreferred-stack-boundary=2 -fno-builtin>
)
target_link_options(uninstall PRIVATE
    -nostdlib -nostartfiles -s
    -Wl,-e,_WinMainCRTStartup@0 -Wl,--gc-sections -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
    -Wl,--no-insert-timestamp -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/uninstall.ld
)
set_target_properties(uninstall PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/uninstall.ld)
target_link_libraries(uninstall PRIVATE kernel32 user32 advapi32 shell32)
set_target_properties(uninstall PROPERTIES OUTPUT_NAME uninstall RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

enable_testing()
# Checks of the executable itself: format, resources, imports, size.
add_subdirectory(tests/artifact)

# The stand-in product and the end-to-end tests under Wine.
add_subdirectory(tests/wine)

# The conformance probes under Wine, compared with the simulated Windows.
add_subdirectory(tests/conformance)
