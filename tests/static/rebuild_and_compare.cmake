# Builds the shipped exe a second time, from a copy of the sources in another folder
# into a fresh build folder, and requires it byte-identical to REFERENCE:
#
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DTOOLCHAIN_NAME=mingw-i686.cmake
#         -DBUILD_TYPE=MinSizeRel -DREFERENCE=.../comreg32.exe -P rebuild_and_compare.cmake
#
# The copy holds what the product-only configuration reads (the top CMakeLists.txt,
# cmake/ and src/), so neither the source path nor the build path may reach the file.
foreach(variable SOURCE_DIR WORK_DIR GENERATOR TOOLCHAIN_NAME BUILD_TYPE REFERENCE)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

set(source ${WORK_DIR}/source)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${source})
file(COPY ${SOURCE_DIR}/CMakeLists.txt ${SOURCE_DIR}/cmake ${SOURCE_DIR}/src DESTINATION ${source})

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${source} -B ${build} -G ${GENERATOR}
          -DCMAKE_TOOLCHAIN_FILE=${source}/cmake/${TOOLCHAIN_NAME} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
          -DCOMREG32_PRODUCT_ONLY=ON
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring the second build failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the second build failed: ${result}")
endif()

set(second ${build}/comreg32.exe)
file(SHA256 ${REFERENCE} reference_hash)
file(SHA256 ${second} second_hash)
message(STATUS "first build:  ${reference_hash}  ${REFERENCE}")
message(STATUS "second build: ${second_hash}  ${second}")
if(NOT reference_hash STREQUAL second_hash)
  # Where they differ (offset, then the two bytes in octal), to find the cause.
  execute_process(COMMAND cmp -l ${REFERENCE} ${second} OUTPUT_VARIABLE differences ERROR_VARIABLE differences)
  string(SUBSTRING "${differences}" 0 2000 differences)
  message(FATAL_ERROR "the two builds differ:\n${differences}")
endif()
message(STATUS "byte-identical")
