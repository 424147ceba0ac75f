# The native Linux build: the helper's logic against a fake of the platform, under GoogleTest.
find_package(GTest REQUIRED)

add_library(comreg32_logic STATIC ${COMREG32_LOGIC_SOURCES})
target_include_directories(comreg32_logic PUBLIC src)
target_compile_options(comreg32_logic PRIVATE ${COMREG32_WARNINGS})

# The fake platform, the unit tests, the command-line fuzzer and the native benchmark.
foreach(dir tests/fake tests/unit tests/fuzz bench)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
