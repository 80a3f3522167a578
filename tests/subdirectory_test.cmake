# Builds tests/subdirectory, which takes the parser with add_subdirectory,
# runs its program, and checks that a target linking micr::parser cannot
# include the parser's internal headers.  Run with cmake -P; the variables
# come from tests/CMakeLists.txt:  SOURCE_DIR WORK_DIR GENERATOR C_COMPILER CXX_COMPILER
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/subdirectory -B ${WORK_DIR} -G ${GENERATOR}
                        -DMICR_SOURCE_DIR=${SOURCE_DIR} -DCMAKE_C_COMPILER=${C_COMPILER}
                        -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${WORK_DIR}/consumer WORKING_DIRECTORY ${WORK_DIR} COMMAND_ERROR_IS_FATAL ANY)
foreach(target micrparse micr_unit_tests micr_bench)
  if(EXISTS ${WORK_DIR}/micr/${target})
    message(FATAL_ERROR "a project that takes the library alone got ${target} built")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target reaches_internals
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0)
  message(FATAL_ERROR "a target linking only micr::parser could include the parser's internal headers")
endif()
if(NOT output MATCHES "table.h")
  message(FATAL_ERROR "reaches_internals failed for another reason:\n${output}")
endif()
