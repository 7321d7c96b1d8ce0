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
# The installed binaries are relinked with their own run-time paths.
run(${CMAKE_COMMAND} --build ${BUILD_DIR} --target preinstall)
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

# No run-time path may name the current folder (an empty entry) or one
# relative to it: every entry is absolute or starts at $ORIGIN.
file(GLOB_RECURSE installed LIST_DIRECTORIES false ${prefix}/bin/* ${prefix}/lib/*.so*)
file(GLOB built ${BUILD_DIR}/tools/wrench_host/wrench_host ${BUILD_DIR}/tools/wrench_sim/wrench_sim
    ${BUILD_DIR}/plugins/*.so ${BUILD_DIR}/host/*.so)
foreach(binary IN LISTS installed built)
    execute_process(COMMAND readelf -d ${binary} OUTPUT_VARIABLE dynamic ERROR_QUIET)
    if(NOT dynamic MATCHES "\\((RUNPATH|RPATH)\\)[^[]*\\[([^]]*)\\]")
        continue()
    endif()
    set(paths "${CMAKE_MATCH_2}")
    set(entry "(/|\\$ORIGIN)[^:]*")
    if(NOT paths MATCHES "^${entry}(:${entry})*$")
        message(FATAL_ERROR "${binary} has the run-time path [${paths}]: an empty or "
            "relative entry makes it search the current folder")
    endif()
endforeach()
