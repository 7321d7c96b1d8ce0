# Where an installation puts things, relative to its prefix:
#
#   bin/                                wrench_host, wrench_sim
#   <libdir>/p_device_stahlwille/       the plug-in and the host framework's
#                                       libraries it links
#   <libdir>/cmake/p_device_stahlwille/ the CMake package
#   include/p_device_stahlwille/        the host framework's headers
#   share/p_device_stahlwille/examples/ config.json, demo.script
#
# The libraries keep to a folder of their own: names such as libutilities.so
# do not belong in the system's library folder. Every run-time path is
# relative ($ORIGIN), so an installation works under any prefix and can be
# moved as a whole.

include(GNUInstallDirs)

set(WRENCH_PLUGIN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/p_device_stahlwille)
set(WRENCH_PACKAGE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/p_device_stahlwille)
set(WRENCH_INCLUDE_INSTALL_DIR ${CMAKE_INSTALL_INCLUDEDIR}/p_device_stahlwille)
set(WRENCH_EXAMPLES_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/p_device_stahlwille/examples)

# CMake pads a build tree's run-time path with empty entries so that install
# can edit it in place; an empty entry makes the loader search the current
# folder. Relinking at install keeps both paths as they are written.
set(CMAKE_NO_BUILTIN_CHRPATH ON)

# The plug-in folder as seen from bin/, e.g. ../lib/p_device_stahlwille.
file(RELATIVE_PATH WRENCH_PLUGIN_DIR_FROM_BIN
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/p_device_stahlwille)

# A shared library of the plug-in folder, part of the exported package. It
# finds the others of that folder beside itself.
function(wrench_install_library target)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} EXPORT p_device_stahlwille-targets
        LIBRARY DESTINATION ${WRENCH_PLUGIN_INSTALL_DIR})
endfunction()

# A program of bin/: it finds the plug-in folder's libraries from its own folder.
function(wrench_install_program target)
    set_target_properties(${target} PROPERTIES
        INSTALL_RPATH "$ORIGIN/${WRENCH_PLUGIN_DIR_FROM_BIN}")
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
