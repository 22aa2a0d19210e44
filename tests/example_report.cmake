# Runs rs-sim on the bundled example, under the cross build's emulator when there is one, and
# compares its report with the checked one, the measured times masked: every build, on every
# processor, must write the same bytes.
# cmake -DRS_SIM=... -DEMULATOR=... -DEXAMPLE=... -DEXPECTED=... -DWORK=... -P example_report.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
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
