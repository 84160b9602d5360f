# Third-party parts that Debian packages for Linux only, made ready for the Windows build.

# nlohmann-json is header-only: its folder is linked into the build tree, so the cross build
# sees that one header folder and not the rest of the host's /usr/include.
set(nlohmann_include ${CMAKE_BINARY_DIR}/third_party/include)
if(NOT EXISTS ${nlohmann_include}/nlohmann/json.hpp)
  file(MAKE_DIRECTORY ${nlohmann_include})
  file(CREATE_LINK /usr/include/nlohmann ${nlohmann_include}/nlohmann SYMBOLIC)
endif()
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${nlohmann_include})
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)

# Boost.Math is header-only too: the host's boost folder is linked in the same way.
if(NOT EXISTS ${nlohmann_include}/boost/math/distributions/normal.hpp)
  file(CREATE_LINK /usr/include/boost ${nlohmann_include}/boost SYMBOLIC)
endif()
add_library(boost_math INTERFACE)
target_include_directories(boost_math SYSTEM INTERFACE ${nlohmann_include})
# Boost's configuration takes the 32-bit mingw compiler for one without thread_local and says so
# in a note at every compile; the code we use needs none of it.
target_compile_definitions(boost_math INTERFACE BOOST_MATH_DISABLE_DEPRECATED_03_WARNING)

# Static zlib, as every program is linked statically.
set(ZLIB_USE_STATIC_LIBS ON)

# GoogleTest (its targets GTest::gtest and GTest::gtest_main) is built for the target from the Debian source package, inside the build tree.
if(BUILD_TESTING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/third_party/googletest
                   EXCLUDE_FROM_ALL SYSTEM)
endif()

# Programs that the build runs and that need OpenSSL (embedding the public key, signing the
# engine folder's files) come from the Linux build tree that scripts/build-windows names.
set(TESTKVE_HOST_BUILD_DIR "" CACHE PATH "A Linux build tree of this source, for its vxrtool and key embedder")
if(NOT TESTKVE_HOST_BUILD_DIR)
  message(FATAL_ERROR "The Windows build needs TESTKVE_HOST_BUILD_DIR (scripts/build-windows sets it)")
endif()
