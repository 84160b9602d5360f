# The reference engine of the other Windows width (64-bit in the 32-bit tree, 32-bit in the
# 64-bit tree), built from this source by the other mingw-w64 toolchain in a tree of its own
# inside this one (other_width/), which builds nothing but the engine. It is rebuilt whenever
# this tree is, so that both widths of the engine folder always come from the same source.
# Defines other_width_engine (the program's path), other_width_strip and the target
# other_width_engine.
include(ExternalProject)

option(TESTKVE_OTHER_WIDTH_ENGINE "Build the reference engine of the other Windows width too" ON)
if(NOT TESTKVE_OTHER_WIDTH_ENGINE)
  # The inner tree itself: it needs its own width only.
  add_custom_target(other_width_engine)
  set(other_width_engine $<TARGET_FILE:vxr_ref>)
  set(other_width_strip ${CMAKE_STRIP})
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(other_arch i686)
else()
  set(other_arch x86_64)
endif()
set(other_width_dir ${CMAKE_BINARY_DIR}/other_width)
set(other_width_engine ${other_width_dir}/bin/vxr_ref.exe)
set(other_width_strip ${other_arch}-w64-mingw32-strip)

ExternalProject_Add(other_width_engine
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${other_width_dir}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchains/mingw-w64-${other_arch}.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
             -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
             -DTESTKVE_WERROR=${TESTKVE_WERROR}
             -DTESTKVE_HOST_BUILD_DIR=${TESTKVE_HOST_BUILD_DIR}
             -DTESTKVE_PUBLIC_KEY_PEM=${TESTKVE_PUBLIC_KEY_PEM}
             -DTESTKVE_OTHER_WIDTH_ENGINE=OFF
             -DBUILD_TESTING=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${other_width_dir} --target vxr_ref
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${other_width_engine}
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD OFF)
