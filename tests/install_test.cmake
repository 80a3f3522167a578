# Installs the build tree into a fresh prefix, then builds the programs in
# consumer/ against that installed copy, the C one through find_package(micr)
# and through pkg-config and the C++17 one through find_package(micr), and
# runs them.  With PYTHON, the Python package is installed too (part of a
# plain install with MICR_PYTHON, else as the component micr_python) and
# imported from the prefix.  Run with cmake -P; the variables come from
# tests/CMakeLists.txt.
#   BUILD_DIR CONFIG WORK_DIR CONSUMER_DIR LIBDIR GENERATOR PKG_CONFIG
#   C_COMPILER C_FLAGS CXX_COMPILER CXX_FLAGS LINKER_FLAGS C_LINK_FLAGS
#   PYTHON PYTHON_DIR MICR_PYTHON SOVERSION
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

if(PYTHON)
  message(STATUS "== the Python package from the prefix")
  if(MICR_PYTHON AND NOT EXISTS ${prefix}/${PYTHON_DIR}/micr/__init__.py)
    message(FATAL_ERROR "MICR_PYTHON is on, but cmake --install left out ${PYTHON_DIR}/micr")
  elseif(NOT MICR_PYTHON AND EXISTS ${prefix}/${PYTHON_DIR}/micr)
    message(FATAL_ERROR "MICR_PYTHON is off, but cmake --install put in ${PYTHON_DIR}/micr")
  endif()
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config ${CONFIG} --component micr_python)
  # Imported from the prefix, the package loads the library installed there,
  # not the one on LD_LIBRARY_PATH, and parses as the installed micrparse.
  set(ENV{PYTHONPATH} ${prefix}/${PYTHON_DIR})
  set(ENV{LD_LIBRARY_PATH} ${BUILD_DIR})
  run(${PYTHON} -c [=[
import json, os, subprocess, sys
import micr
prefix, package_dir, library = sys.argv[1:4]
real = os.path.realpath
assert real(micr.__file__) == real(os.path.join(package_dir, "micr", "__init__.py")), micr.__file__
assert real(micr.library_path) == real(library), micr.library_path
line = b"t026009593t 001234 5678901o a0000004250a"
record = json.loads(subprocess.run([os.path.join(prefix, "bin", "micrparse"), "--no-table"], input=line,
                                   capture_output=True, check=True).stdout)
mine = micr.parse(line).as_dict()
assert mine == {key: record[key] for key in mine}, (mine, record)
print("micr", micr.__version__, "from", micr.__file__, "with", micr.library_path)
]=] ${prefix} ${prefix}/${PYTHON_DIR} ${prefix}/${LIBDIR}/libmicr.so.${SOVERSION})
endif()
