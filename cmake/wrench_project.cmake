# Settings shared by every target of ours.

if(WRENCH_SANITIZE)
    set(WRENCH_SANITIZER_FLAGS
        -fsanitize=address,undefined
        -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_compile_options(${WRENCH_SANITIZER_FLAGS})
    add_link_options(${WRENCH_SANITIZER_FLAGS})
endif()

# Coverage for the fuzzer in all our code; only the fuzz targets link the
# fuzzer's own main.
if(WRENCH_FUZZ)
    add_compile_options(
        -fsanitize=fuzzer-no-link,address,undefined
        -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# Our own code: warnings as errors, source paths in log output relative to
# the repository root, so that a log line never names a build machine's path,
# and the project's version as the text WRENCH_VERSION ("1.0"). A compiler
# cache may hand the compiler the sources by paths relative to the folder it
# runs in (ccache's base_dir), so that form is mapped as well.
function(wrench_target_defaults target)
    if(CMAKE_GENERATOR MATCHES "Ninja")
        set(compile_dir ${PROJECT_BINARY_DIR})
    else()
        set(compile_dir ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Werror
        -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)
    file(RELATIVE_PATH source_from_compile_dir ${compile_dir} ${PROJECT_SOURCE_DIR}/)
    if(source_from_compile_dir)
        target_compile_options(${target} PRIVATE -fmacro-prefix-map=${source_from_compile_dir}=)
    endif()
    target_compile_definitions(${target} PRIVATE WRENCH_VERSION="${PROJECT_VERSION}")
endfunction()

# A Qt Test executable registered with CTest, run on the offscreen platform.
function(wrench_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    wrench_target_defaults(${name})
    target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBRARIES})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        TIMEOUT 120)
endfunction()
