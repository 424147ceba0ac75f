# The Windows builds: the helper itself (no C runtime), and what the tests run beside it.
enable_language(ASM)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  set(COMREG32_ARCH i686)
  set(COMREG32_ENTRY _Entry)
else()
  set(COMREG32_ARCH x86_64)
  set(COMREG32_ENTRY Entry)
endif()

add_executable(comreg32 WIN32
  ${COMREG32_LOGIC_SOURCES}
  src/platform/windows.cpp
  src/platform/frames_${COMREG32_ARCH}.cpp
  src/platform/entry_${COMREG32_ARCH}.S
)
target_include_directories(comreg32 PRIVATE src)
target_compile_options(comreg32 PRIVATE
  ${COMREG32_WARNINGS}
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -ffreestanding -fno-tree-loop-distribute-patterns
    -fno-stack-protector -fno-stack-check -ffunction-sections -fdata-sections>
)
target_link_options(comreg32 PRIVATE
  -nostdlib -nostartfiles -Wl,-e,${COMREG32_ENTRY} -Wl,--gc-sections -s
)
target_link_libraries(comreg32 PRIVATE kernel32 user32)
set_target_properties(comreg32 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The sample library the demo runs, the end-to-end rig (driver, test libraries, cases),
# the static checks of the exe, and what the benchmark runs beside it.
foreach(dir sample tests/e2e tests/static bench)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
