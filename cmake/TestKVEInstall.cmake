# Installation and packaging: the programs, the control library and the engine SDK with their
# headers, a CMake package (find_package(TestKVE): TestKVE::engine_control, TestKVE::engine_sdk),
# pkg-config files, and a Debian package made by `cpack -G DEB`.
include(CMakePackageConfigHelpers)

set(testkve_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/TestKVE)
set(testkve_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/testkve)

# The programs, the sample service program among them.
install(TARGETS testkve vxrtool vxr_ref TestSrv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The static libraries of the two public targets and everything they link, under names of our
# own, since "libplatform.a" has no place in a system library folder.
set(testkve_libraries vxr_api platform platform_code_signature settings_block pattern_reader integrity
    engine_control engine_sdk)
foreach(library IN LISTS testkve_libraries)
  get_target_property(type ${library} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    set_target_properties(${library} PROPERTIES OUTPUT_NAME testkve_${library})
  endif()
endforeach()
install(TARGETS ${testkve_libraries} EXPORT TestKVETargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${testkve_include_dir})
install(FILES engine_control/include/vxr_lib.h engine_control/include/vxr_contract.h
              engine_control/include/vxr_result.h
        DESTINATION ${testkve_include_dir})
install(FILES engine_sdk/engine_settings.h DESTINATION ${testkve_include_dir}/engine_sdk)

install(EXPORT TestKVETargets NAMESPACE TestKVE:: DESTINATION ${testkve_package_dir})
configure_package_config_file(cmake/TestKVEConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/TestKVEConfig.cmake INSTALL_DESTINATION ${testkve_package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TestKVEConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TestKVEConfig.cmake
        ${CMAKE_CURRENT_BINARY_DIR}/TestKVEConfigVersion.cmake DESTINATION ${testkve_package_dir})

# pkg-config files that find the prefix from their own place, so the same files serve
# `cmake --install --prefix` and the Debian package.
set(pc_prefix "\${pcfiledir}")
string(REPLACE "/" ";" libdir_parts "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
foreach(part IN LISTS libdir_parts)
  string(APPEND pc_prefix "/..")
endforeach()
foreach(pc testkve testkve-engine-sdk)
  configure_file(cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# The Debian package depends on the distribution's library packages that dpkg-shlibdeps finds
# for the installed programs (libssl3, zlib1g, libc6, libstdc++6 ...).
set(CPACK_PACKAGE_NAME testkve)
set(CPACK_PACKAGE_VENDOR "TestKVE")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Test harness for a virus-damage cleanup engine, with its control library and engine SDK")
set(CPACK_PACKAGE_CONTACT "TestKVE developers <testkve@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Building an engine against the static libraries needs the headers of these.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libssl-dev, zlib1g-dev")
include(CPack)
