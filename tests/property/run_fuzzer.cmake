# Runs the fuzzer on a fresh copy of the checked-in corpus, with a fixed seed and a fixed number of
# inputs, so that every run tries the same machines and nothing found by one run carries over into
# the next. Called by the fuzz test: cmake -DFUZZER=... -DCORPUS=... -DWORK=... -DSEED=... -DRUNS=...
# The fuzzer takes hints from the values the program compares, pointers among them: with addresses
# laid out afresh on every start, two runs would drift apart, hence setarch -R where it is available.
# No reloading of the corpus folder either, which happens by the clock.
file(REMOVE_RECURSE ${WORK})
file(COPY ${CORPUS}/ DESTINATION ${WORK})
find_program(SETARCH setarch)
set(same_addresses)
if(SETARCH)
    execute_process(COMMAND ${SETARCH} -R true RESULT_VARIABLE setarch_status OUTPUT_QUIET ERROR_QUIET)
    if(setarch_status EQUAL 0)
        set(same_addresses ${SETARCH} -R)
    endif()
endif()
execute_process(
    COMMAND ${same_addresses} ${FUZZER} -seed=${SEED} -runs=${RUNS} -reload=0 -timeout=20 -rss_limit_mb=4096
            -print_final_stats=1 ${WORK}
    RESULT_VARIABLE status)
file(REMOVE_RECURSE ${WORK})
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the fuzzer failed (${status}); a crash-<hash> file in the working folder replays it")
endif()
