# cmake -P: install BUILD_DIR into WORK_DIR, move the installation, build the
# consumer against it, run the consumer and the installed wrench_host list,
# with and without the installed plug-in.

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN}\nexited with ${status}:\n${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/staged)
# Nothing may point into the build tree or the first prefix.
file(RENAME ${WORK_DIR}/staged ${WORK_DIR}/prefix)
set(prefix ${WORK_DIR}/prefix)

run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}
    -DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/wrench_consumer)
message(STATUS "consumer: ${output}")

run(${prefix}/bin/wrench_host list)
# One line per command, each with its stop name.
string(REGEX MATCHALL "\"stopName\"" commands "${output}")
list(LENGTH commands count)
if(NOT count EQUAL 9 OR NOT output MATCHES "\"checkConnectionWithSerial\"")
    message(FATAL_ERROR "the installed wrench_host listed ${count} commands, not 9:\n${output}")
endif()

# The plug-in it loads is the installed one, not the build tree's: without
# it, the installed wrench_host fails and names the path it looked for.
file(GLOB_RECURSE plugin ${prefix}/libp_device_stahlwille.so)
get_filename_component(plugin ${plugin} REALPATH)
file(RENAME ${plugin} ${plugin}.away)
execute_process(COMMAND ${prefix}/bin/wrench_host list RESULT_VARIABLE status
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(RENAME ${plugin}.away ${plugin})
string(FIND "${output}" "${plugin}" named)
if(status EQUAL 0 OR named EQUAL -1)
    message(FATAL_ERROR "without ${plugin}, wrench_host list exited with ${status}:\n${output}")
endif()
