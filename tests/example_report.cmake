# Runs rs-sim on the bundled example, under the cross build's emulator when there is one, and
# compares its report with the checked one, the measured times masked: every build, on every
# processor, must write the same bytes.
# cmake -DRS_SIM=... -DEMULATOR=... -DEXAMPLE=... -DEXPECTED=... -DWORK=... -P example_report.cmake
# A folder of this run's own in WORK: two runs of one build side by side keep apart, and a
# failed run's folder stays to be looked at.
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND mktemp -d "${WORK}/run-XXXXXX" OUTPUT_VARIABLE WORK
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(COPY "${EXAMPLE}" DESTINATION "${WORK}")
execute_process(
  COMMAND ${EMULATOR} "${RS_SIM}" --no-wait
  WORKING_DIRECTORY "${WORK}"
  INPUT_FILE /dev/null
  OUTPUT_QUIET
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "rs-sim ended with ${status}")
endif()
file(READ "${WORK}/results.dat" report)
string(REGEX REPLACE "\nExperiment time=[^\n]* seconds\n" "\nExperiment time=# seconds\n"
       report "${report}")
string(REGEX REPLACE "\nTransmitting speed=[^\n]* KSymbols/second\n"
       "\nTransmitting speed=# KSymbols/second\n" report "${report}")
file(READ "${EXPECTED}" expected)
if(NOT report STREQUAL expected)
  file(WRITE "${WORK}/results.masked" "${report}")
  message(FATAL_ERROR "the report differs from ${EXPECTED}: see ${WORK}/results.masked")
endif()
file(REMOVE_RECURSE "${WORK}")
