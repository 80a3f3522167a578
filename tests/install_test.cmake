# Installs the build tree into a fresh prefix, then builds the programs in
# consumer/ against that installed copy, the C one through find_package(micr)
# and through pkg-config and the C++17 one through find_package(micr), and
# runs them.  Run with cmake -P; the variables come
# from tests/CMakeLists.txt.
#   BUILD_DIR CONFIG WORK_DIR CONSUMER_DIR LIBDIR GENERATOR PKG_CONFIG
#   C_COMPILER C_FLAGS CXX_COMPILER CXX_FLAGS LINKER_FLAGS C_LINK_FLAGS
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${command}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

message(STATUS "== cmake --install into ${prefix}")
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config ${CONFIG})
foreach(file include/micr.h include/micr.hpp ${LIBDIR}/libmicr.a ${LIBDIR}/pkgconfig/micr.pc
             ${LIBDIR}/cmake/micr/micrConfig.cmake ${LIBDIR}/cmake/micr/micrConfigVersion.cmake
             ${LIBDIR}/cmake/micr/micrTargets.cmake bin/micrparse bin/micrtest)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# Only the public headers: the parser's internals stay out of the prefix.
file(GLOB headers RELATIVE ${prefix}/include ${prefix}/include/*)
list(SORT headers)
if(NOT headers STREQUAL "micr.h;micr.hpp")
  message(FATAL_ERROR "installed headers are '${headers}', not micr.h and micr.hpp alone")
endif()
run(${prefix}/bin/micrparse --version)

message(STATUS "== consumer through find_package(micr CONFIG)")
set(cmake_build ${WORK_DIR}/cmake-consumer)
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${cmake_build} -G ${GENERATOR}
    -DCMAKE_BUILD_TYPE=${CONFIG} -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${C_COMPILER} "-DCMAKE_C_FLAGS=${C_FLAGS}"
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
# The package must be the copy just installed, not one found elsewhere.
file(STRINGS ${cmake_build}/CMakeCache.txt found REGEX "^micr_DIR:")
if(NOT found STREQUAL "micr_DIR:PATH=${prefix}/${LIBDIR}/cmake/micr")
  message(FATAL_ERROR "find_package(micr) found '${found}'")
endif()
run(${CMAKE_COMMAND} --build ${cmake_build} --config ${CONFIG})
run(${cmake_build}/micr_consumer)
run(${cmake_build}/micr_cpp_consumer)

message(STATUS "== consumer through pkg-config")
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --variable=libdir micr OUTPUT_VARIABLE pc_libdir
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(REAL_PATH "${pc_libdir}" pc_libdir)
file(REAL_PATH "${prefix}/${LIBDIR}" expected_libdir)
if(NOT pc_libdir STREQUAL expected_libdir)
  message(FATAL_ERROR "micr.pc points to '${pc_libdir}', not into the prefix")
endif()
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs micr OUTPUT_VARIABLE pc_flags
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS}")
separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS} ${C_LINK_FLAGS}")
run(${C_COMPILER} -std=c99 ${c_flags} ${CONSUMER_DIR}/consumer.c -o ${WORK_DIR}/pkg-config-consumer
    ${pc_flags} ${linker_flags})
# With libmicr.so installed beside libmicr.a, -lmicr links the shared one.
set(ENV{LD_LIBRARY_PATH} ${prefix}/${LIBDIR})
run(${WORK_DIR}/pkg-config-consumer)
