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
        -mno-stack-arg-probe -fno-builtin -flto>
)
# -flto: the rules and tasks live in separate files, which the linker then sees whole, as if written
# in one; the program stays within its size without giving up its rooms.
# The product's own build is 32-bit; a 64-bit one exists only to run the Wine tests where 32-bit
# programs cannot run, so the 32-bit build alone is held to the old systems' header values.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(UNINSTALL_ENTRY _WinMainCRTStartup@0)
    set(UNINSTALL_OS_VERSION 4)
    target_compile_options(uninstall PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-mpreferred-stack-boundary=2>)
else()
    set(UNINSTALL_ENTRY WinMainCRTStartup)
    set(UNINSTALL_OS_VERSION 5)
endif()
target_link_options(uninstall PRIVATE
    -nostdlib -nostartfiles -s -flto -Os
    -Wl,-e,${UNINSTALL_ENTRY} -Wl,--gc-sections -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
    -Wl,--no-insert-timestamp -Wl,--major-subsystem-version,${UNINSTALL_OS_VERSION} -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,${UNINSTALL_OS_VERSION} -Wl,--minor-os-version,0
    -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/uninstall.ld
)
set_target_properties(uninstall PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/uninstall.ld)
target_link_libraries(uninstall PRIVATE kernel32 user32 advapi32 shell32)
set_target_properties(uninstall PROPERTIES OUTPUT_NAME uninstall RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

enable_testing()
# Checks of the executable itself: format, resources, imports, size.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    add_subdirectory(tests/artifact)
endif()

# The stand-in product and the end-to-end tests under Wine.
# The Wine tests run each build in a prefix of its own kind: 32-bit, or 64-bit for the x86-64 build.
# The 32-bit Wine runs natively where the kernel runs 32-bit programs, and under user-mode emulation
# where it does not (scripts/i386/run.sh decides per test).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(WINE_TEST_ENVIRONMENT TANDREL_WINE_ARCH=win64)
    set(WINE_TEST_LAUNCHER "")
else()
    set(WINE_TEST_ENVIRONMENT TANDREL_WINE_ARCH=win32)
    set(WINE_TEST_LAUNCHER ${CMAKE_SOURCE_DIR}/scripts/i386/run.sh)
endif()
add_subdirectory(tests/wine)

# The conformance probes under Wine, compared with the simulated Windows.
add_subdirectory(tests/conformance)
