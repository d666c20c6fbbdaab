# skyLedger's command line, refused before any window: a run longer than the clocks count
# and a capture to replay that is not a regular file (a FIFO must not hang the start).
#   cmake -DSKYLEDGER=<program> -DSCRATCH=<dir> -P SkyLedgerCommandLineTest.cmake
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND mkfifo "${SCRATCH}/fifo.log" RESULT_VARIABLE r)
if(NOT r EQUAL 0)
  message(FATAL_ERROR "mkfifo failed: ${r}")
endif()

function(expect status text)
  execute_process(COMMAND "${SKYLEDGER}" ${ARGN} TIMEOUT 10 RESULT_VARIABLE r ERROR_VARIABLE err OUTPUT_QUIET)
  string(FIND "${err}" "${text}" at)
  if(NOT "${r}" STREQUAL "${status}" OR at EQUAL -1)
    message(FATAL_ERROR "skyLedger ${ARGN}: status '${r}' (wanted ${status}), stderr '${err}' (wanted '${text}')")
  endif()
endfunction()

expect(2 "--seconds wants a number above 0 and at most 1e9, not \"9.3e9\"" --seconds 9.3e9)
expect(2 "not \"1e300\"" --seconds 1e300)
expect(2 "not \"0\"" --seconds 0)
expect(2 "not \"3x\"" --seconds 3x)
expect(2 "--baud wants one of 4800" --baud 1234)
expect(2 "unknown option \"--bogus\"" --bogus)
expect(1 "cannot replay ${SCRATCH}/fifo.log: not a regular file" --replay "${SCRATCH}/fifo.log")
expect(1 "cannot replay ${SCRATCH}: not a regular file" --replay "${SCRATCH}")
expect(1 "cannot replay ${SCRATCH}/none.log: No such file or directory" --replay "${SCRATCH}/none.log")
