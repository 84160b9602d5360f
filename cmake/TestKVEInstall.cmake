# Installation: the programs, the control library and the engine SDK with their headers, a CMake
# package (find_package(TestKVE): TestKVE::engine_control, TestKVE::engine_sdk), pkg-config
# files, the development key and the ready engine folder; then cmake/TestKVEPackage.cmake.
include(CMakePackageConfigHelpers)

set(testkve_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/TestKVE)
set(testkve_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/testkve)

# The programs: the harness, testkve-compare and vxrtool for everyone's PATH; the sample service and the
# reference engine in the package's own folder (see TESTKVE_INSTALL_PRIVATE_DIR). On Windows
# the sample service sits beside TestKVE.exe, where /SERVICE looks for it, and the sample engine
# folder is the release's engine\ folder.
if(WIN32)
  install(TARGETS testkve testkve_compare vxrtool TestSrv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(testkve_engine_destination engine)
else()
  install(TARGETS testkve testkve_compare vxrtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS TestSrv vxr_ref RUNTIME DESTINATION ${TESTKVE_INSTALL_PRIVATE_DIR})
  set(testkve_engine_destination ${TESTKVE_INSTALL_PRIVATE_DIR}/engine)
endif()

# The static libraries of the two public targets and everything they link, under names of our
# own, since "libplatform.a" has no place in a system library folder.
set(testkve_libraries vxr_api platform platform_crypto platform_code_signature platform_contained_start
    settings_block pattern_reader integrity engine_control engine_sdk)
foreach(library IN LISTS testkve_libraries)
  get_target_property(type ${library} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    set_target_properties(${library} PROPERTIES OUTPUT_NAME testkve_${library})
  endif()
  # The headers use C++20 (std::span): an engine that sets no standard of its own gets it.
  target_compile_features(${library} INTERFACE cxx_std_20)
endforeach()
install(TARGETS ${testkve_libraries} EXPORT TestKVETargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${testkve_include_dir})
install(FILES engine_control/include/vxr_lib.h engine_control/include/vxr_contract.h
              engine_control/include/vxr_result.h
        DESTINATION ${testkve_include_dir})
install(FILES engine_sdk/engine_settings.h engine_sdk/mailslot_writer.h
        DESTINATION ${testkve_include_dir}/engine_sdk)

install(EXPORT TestKVETargets NAMESPACE TestKVE:: DESTINATION ${testkve_package_dir})
configure_package_config_file(cmake/TestKVEConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/TestKVEConfig.cmake INSTALL_DESTINATION ${testkve_package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TestKVEConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TestKVEConfig.cmake
        ${CMAKE_CURRENT_BINARY_DIR}/TestKVEConfigVersion.cmake DESTINATION ${testkve_package_dir})

# pkg-config files that find the prefix from their own place, so the same files serve
# `cmake --install --prefix` and the Debian package. (Not on Windows, whose libraries link
# system libraries of their own: the CMake package names them.)
if(NOT WIN32)
  set(pc_prefix "\${pcfiledir}")
  string(REPLACE "/" ";" libdir_parts "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  foreach(part IN LISTS libdir_parts)
    string(APPEND pc_prefix "/..")
  endforeach()
  # The contained start is a library of its own where it carries the engine starter (Linux).
  get_target_property(contained_start_type platform_contained_start TYPE)
  set(pc_contained_start "")
  if(NOT contained_start_type STREQUAL "INTERFACE_LIBRARY")
    set(pc_contained_start " -ltestkve_platform_contained_start")
  endif()
  foreach(pc testkve testkve-engine-sdk)
    configure_file(cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endforeach()
endif()

# The development signing key, for engine authors, with the ready engine folder signed by it:
# both only while the library trusts that key (no TESTKVE_PUBLIC_KEY_PEM).
if(NOT TESTKVE_PUBLIC_KEY_PEM)
  install(FILES tools/keys/dev_signing_key.pem DESTINATION ${CMAKE_INSTALL_DATADIR}/testkve
          RENAME development-only-signing-key.pem)
  install(FILES tools/keys/dev_signing_key_public.pem DESTINATION ${CMAKE_INSTALL_DATADIR}/testkve
          RENAME development-only-signing-key.pub.pem)
  install(DIRECTORY ${TESTKVE_ENGINE_DIR}/ DESTINATION ${testkve_engine_destination}
          USE_SOURCE_PERMISSIONS
          FILES_MATCHING PATTERN "vxr*.exe" PATTERN "VXR.INI" PATTERN "*.ptn"
          PATTERN "report" EXCLUDE PATTERN "PerfReport" EXCLUDE)
endif()

# A stripped installation (CPack's, `cmake --install --strip`, the Windows release's) strips the programs only; the
# static libraries keep the symbols they are linked by and lose their debug information, as
# Debian's library packages have them.
if(CMAKE_STRIP)
  foreach(library IN LISTS testkve_libraries)
    get_target_property(type ${library} TYPE)
    if(type STREQUAL "STATIC_LIBRARY")
      install(CODE "if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --remove-section=.comment
          --remove-section=.note --enable-deterministic-archives
          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${library}>\"
          COMMAND_ERROR_IS_FATAL ANY)
      endif()")
    endif()
  endforeach()
endif()

# Manual pages, bash completion and the Debian package are Linux's; scripts/release-windows
# packs the Windows installation.
if(NOT WIN32)
  include(cmake/TestKVEPackage.cmake)
endif()
