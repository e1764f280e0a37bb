# The fuzzer over the machine generator (tests/property/fuzz_uninstall.cpp): libFuzzer with ASan and
# UBSan. The logic and the simulated Windows are compiled once more with coverage instrumentation, so
# that the fuzzer is guided by the program's branches and not only by the generator's.
#
# The test (label "fuzz") runs a fixed number of inputs from a fixed seed on a fresh copy of
# tests/property/corpus (run_fuzzer.cmake), so that every run tries the same machines. A longer run
# of your own, keeping what it finds:
#   mkdir -p /tmp/fuzz_corpus && build/native/tests/uninstall_fuzzer -max_total_time=3600 -timeout=20 \
#       -rss_limit_mb=4096 /tmp/fuzz_corpus tests/property/corpus
# A crash leaves crash-<hash> in the working folder; run the fuzzer on that file alone to see the
# broken rules and the machine.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND UNINSTALL_SANITIZE)
    get_target_property(uninstall_fuzz_sim_sources simulated_windows SOURCES)
    list(TRANSFORM uninstall_fuzz_sim_sources PREPEND "${PROJECT_SOURCE_DIR}/")
    set(uninstall_fuzz_logic_sources ${UNINSTALL_LOGIC_SOURCES})
    list(TRANSFORM uninstall_fuzz_logic_sources PREPEND "${PROJECT_SOURCE_DIR}/")

    add_library(simulated_windows_fuzzing STATIC ${uninstall_fuzz_sim_sources})
    target_include_directories(simulated_windows_fuzzing PUBLIC ${PROJECT_SOURCE_DIR}/sim)
    target_compile_options(simulated_windows_fuzzing PRIVATE -fsanitize=fuzzer-no-link -Wall -Wextra -Werror)

    add_library(uninstall_logic_fuzzing STATIC ${uninstall_fuzz_logic_sources})
    target_include_directories(uninstall_logic_fuzzing PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(uninstall_logic_fuzzing PRIVATE -fsanitize=fuzzer-no-link ${UNINSTALL_WARNINGS})
    target_link_libraries(uninstall_logic_fuzzing PUBLIC simulated_windows_fuzzing)

    # No gtest here: libFuzzer's main is the program's main.
    add_executable(uninstall_fuzzer
        ${CMAKE_CURRENT_LIST_DIR}/fuzz_uninstall.cpp
        ${CMAKE_CURRENT_LIST_DIR}/machine_generator.cpp
        ${CMAKE_CURRENT_LIST_DIR}/generator_builder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/generate_install_folder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/generate_install_path.cpp
        ${CMAKE_CURRENT_LIST_DIR}/generate_temp_folder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/generate_registry.cpp
        ${CMAKE_CURRENT_LIST_DIR}/generate_shortcuts.cpp
        ${CMAKE_CURRENT_LIST_DIR}/generate_processes.cpp
        ${CMAKE_CURRENT_LIST_DIR}/removal_model.cpp
        ${CMAKE_CURRENT_LIST_DIR}/run_rules.cpp
        ${CMAKE_CURRENT_LIST_DIR}/run_stats.cpp
        ${CMAKE_CURRENT_LIST_DIR}/uninstall_run.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../support/complete_uninstall.cpp
    )
    target_compile_options(uninstall_fuzzer PRIVATE -fsanitize=fuzzer -Wall -Wextra -Werror)
    target_link_options(uninstall_fuzzer PRIVATE -fsanitize=fuzzer)
    target_include_directories(uninstall_fuzzer PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
    target_link_libraries(uninstall_fuzzer PRIVATE uninstall_logic_fuzzing)

    set(UNINSTALL_FUZZ_SEED 20240601)
    set(UNINSTALL_FUZZ_RUNS 2000)
    add_test(NAME uninstall_fuzzer
        COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:uninstall_fuzzer> -DCORPUS=${CMAKE_CURRENT_LIST_DIR}/corpus
                -DWORK=${CMAKE_CURRENT_BINARY_DIR}/fuzz_run -DSEED=${UNINSTALL_FUZZ_SEED} -DRUNS=${UNINSTALL_FUZZ_RUNS}
                -P ${CMAKE_CURRENT_LIST_DIR}/run_fuzzer.cmake
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(uninstall_fuzzer PROPERTIES LABELS fuzz TIMEOUT 600)
endif()
