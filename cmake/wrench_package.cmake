# The CMake package a host builds against (find_package(p_device_stahlwille
# CONFIG)), the examples, and the Debian package (cpack -G DEB).

include(CMakePackageConfigHelpers)

install(EXPORT p_device_stahlwille-targets
    NAMESPACE p_device_stahlwille::
    DESTINATION ${WRENCH_PACKAGE_INSTALL_DIR})
configure_package_config_file(
    ${CMAKE_CURRENT_LIST_DIR}/p_device_stahlwille-config.cmake.in
    ${PROJECT_BINARY_DIR}/p_device_stahlwille-config.cmake
    INSTALL_DESTINATION ${WRENCH_PACKAGE_INSTALL_DIR})
write_basic_package_version_file(
    ${PROJECT_BINARY_DIR}/p_device_stahlwille-config-version.cmake
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/p_device_stahlwille-config.cmake
    ${PROJECT_BINARY_DIR}/p_device_stahlwille-config-version.cmake
    DESTINATION ${WRENCH_PACKAGE_INSTALL_DIR})

install(FILES
    ${PROJECT_SOURCE_DIR}/examples/config.json
    ${PROJECT_SOURCE_DIR}/examples/demo.script
    DESTINATION ${WRENCH_EXAMPLES_INSTALL_DIR})

# Debian package names take no underscore.
set(CPACK_PACKAGE_NAME p-device-stahlwille)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "p_device_stahlwille developers <wrench-plugin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Torque wrench plug-in, its command-line host and a simulated wrench")
set(CPACK_PACKAGE_DESCRIPTION
    "The plug-in drives an electronic torque wrench over its serial ASCII line \
protocol. The package holds the plug-in, the host framework's libraries and \
headers with a CMake package for hosts that build against them, the \
command-line host wrench_host, the simulated wrench wrench_sim, and examples.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The run-time dependencies come from the binaries (dpkg-shlibdeps, which
# follows their $ORIGIN paths to the plug-in folder's own libraries).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
