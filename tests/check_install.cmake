# Installs the build into a scratch prefix, then builds and runs the C example
# against it twice: through find_package(lumra) and through pkg-config.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# In a cross build the example is built with the same toolchain file (which
# searches packages in the target's tree only, hence lumra_DIR) and runs under
# the same emulator as the tests; EMULATOR is a comma-separated command.
set(example_args -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER})
set(emulator "")
if(TOOLCHAIN_FILE)
  file(GLOB config_file ${prefix}/lib*/cmake/lumra/lumraConfig.cmake)
  get_filename_component(config_dir ${config_file} DIRECTORY)
  list(APPEND example_args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -Dlumra_DIR=${config_dir})
  string(REPLACE "," ";" emulator "${EMULATOR}")
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK_DIR}/example ${example_args})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/example)
run(${emulator} ${WORK_DIR}/example/lumra_example)
message(STATUS "find_package example: ${last_output}")

file(GLOB pc_file ${prefix}/lib*/pkgconfig/lumra.pc)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs lumra)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
get_filename_component(lib_dir ${pc_dir} DIRECTORY)
run(${C_COMPILER} -std=c99 -Wall -Wextra -pedantic -Werror ${SOURCE_DIR}/examples/example.c ${flags}
    -Wl,-rpath,${lib_dir} -o ${WORK_DIR}/example_pkgconfig)
run(${emulator} ${WORK_DIR}/example_pkgconfig)
message(STATUS "pkg-config example: ${last_output}")
