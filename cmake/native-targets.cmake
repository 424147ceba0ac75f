# The native Linux build: the helper's logic against a fake of the platform, under GoogleTest.
find_package(GTest REQUIRED)

# The sanitize preset: every native target (logic, fake, tests, fuzzer) under
# AddressSanitizer and UndefinedBehaviorSanitizer; the first finding ends the run.
option(COMREG32_SANITIZE "Build the native targets with ASan and UBSan" OFF)
if(COMREG32_SANITIZE)
  set(COMREG32_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${COMREG32_SANITIZER_FLAGS})
  add_link_options(${COMREG32_SANITIZER_FLAGS})
endif()

add_library(comreg32_logic STATIC ${COMREG32_LOGIC_SOURCES})
target_include_directories(comreg32_logic PUBLIC src)
target_compile_options(comreg32_logic PRIVATE ${COMREG32_WARNINGS})

# The fake platform, the unit tests, the command-line fuzzer, the quality gates and
# the native benchmark.
foreach(dir tests/fake tests/unit tests/fuzz tests/lint bench)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
