# Runs `lumra-develop` without arguments in an empty folder and expects
# lumra-develop.png there, and nothing else.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${TOOL} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lumra-develop exited with ${status}: ${err}")
endif()
file(GLOB produced RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
if(NOT produced STREQUAL "lumra-develop.png")
  message(FATAL_ERROR "expected lumra-develop.png alone, found: ${produced}")
endif()
file(READ ${WORK_DIR}/lumra-develop.png signature LIMIT 8 HEX)
if(NOT signature STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "lumra-develop.png is not a PNG file")
endif()
