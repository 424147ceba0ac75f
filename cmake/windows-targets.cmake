# The Windows builds: the helper itself (no C runtime), and what the tests run beside it.
enable_language(ASM RC)

# The version number and the names in the resources come from the top CMakeLists.txt.
configure_file(src/driver/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  set(COMREG32_ARCH i686)
  set(COMREG32_ENTRY _Entry)
  # x86 unwinding uses the registration records at fs:[0], not unwind tables; Win32
  # code may rely only on 4-byte stack alignment, so the helper keeps no more.
  set(COMREG32_ARCH_FLAGS -fno-asynchronous-unwind-tables -fno-unwind-tables -mpreferred-stack-boundary=2)
else()
  set(COMREG32_ARCH x86_64)
  set(COMREG32_ENTRY Entry)
endif()

add_executable(comreg32 WIN32
  ${COMREG32_LOGIC_SOURCES}
  src/platform/windows.cpp
  src/platform/frames_${COMREG32_ARCH}.cpp
  src/platform/entry_${COMREG32_ARCH}.S
  src/driver/comreg32.rc
)
target_include_directories(comreg32 PRIVATE src ${CMAKE_BINARY_DIR}/generated)
set_source_files_properties(src/driver/comreg32.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/src/driver/comreg32.manifest)
target_compile_options(comreg32 PRIVATE
  ${COMREG32_WARNINGS}
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -ffreestanding -fno-tree-loop-distribute-patterns
    -fno-stack-protector -fno-stack-check -ffunction-sections -fno-ident ${COMREG32_ARCH_FLAGS}>
)
target_link_options(comreg32 PRIVATE
  -nostdlib -nostartfiles -Wl,-e,${COMREG32_ENTRY} -Wl,--gc-sections -s -Wl,--no-insert-timestamp
)
target_link_libraries(comreg32 PRIVATE kernel32 user32)
set_target_properties(comreg32 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(COMREG32_ARCH STREQUAL "i686")
  # The shipped exe: code, constants, imports and resources in one section (see the script).
  set(COMREG32_LINKER_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/comreg32-i686.ld)
  target_link_options(comreg32 PRIVATE -Wl,-T,${COMREG32_LINKER_SCRIPT} -Wl,-Map=${CMAKE_BINARY_DIR}/comreg32.map)
  set_target_properties(comreg32 PROPERTIES LINK_DEPENDS ${COMREG32_LINKER_SCRIPT})
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(TARGET comreg32 POST_BUILD
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/set-data-directories.py
            $<TARGET_FILE:comreg32> ${CMAKE_BINARY_DIR}/comreg32.map
    VERBATIM)
endif()

# The signed copy of the shipped exe that tests/static makes (fixture signed_i686) and
# the end-to-end rig runs.
set(COMREG32_SIGNED_COPY ${CMAKE_BINARY_DIR}/signed/comreg32.exe)

# The sample library the demo runs, the example installers and their tests (i686), the
# end-to-end rig (driver, test libraries, cases), the static checks of the exe, and
# what the benchmark runs beside it.
# COMREG32_PRODUCT_ONLY=ON builds the exe alone.
option(COMREG32_PRODUCT_ONLY "Build only comreg32.exe" OFF)
foreach(dir sample examples tests/e2e tests/installers tests/static bench)
  if(NOT COMREG32_PRODUCT_ONLY AND EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
