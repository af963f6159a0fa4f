# Installs the build into a scratch prefix and imports the installed package
# from there, with no help from the build tree: it must find both libraries
# by itself and develop a file.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=LUMRA_LIBRARY --unset=LUMRA_DEVELOP_LIBRARY PYTHONPATH=${prefix}/${SITEDIR}
          PYTHONDONTWRITEBYTECODE=1
          ${PYTHON} -c "import lumra, sys; print(lumra.version()); assert lumra.__file__.startswith(sys.argv[1]), lumra.__file__; lumra.options_help()" ${prefix}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT out MATCHES "^1\\.")
  message(FATAL_ERROR "the installed package does not load:\n${out}\n${err}")
endif()
message(STATUS "installed lumra ${out}")
