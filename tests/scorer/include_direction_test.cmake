# The include check passes on the source tree and fails, naming each file, on planted wrong-way
# includes: a lower stage including a higher one, the writers including the engine, a file
# outside the stage folders, and the binding including the engine's internals.
#   cmake -DSOURCE=<source dir> -DWORK=<scratch dir> -P include_direction_test.cmake
set(check ${SOURCE}/scorer/check_includes.cmake)
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${SOURCE} -P ${check} RESULT_VARIABLE clean_status
                ERROR_VARIABLE clean_errors)
if(NOT clean_status EQUAL 0)
  message(FATAL_ERROR "the source tree fails the include check:\n${clean_errors}")
endif()

file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/scorer/graph/planted.cpp "#include \"scorer/graph/network.hpp\"\n#include \"scorer/cli/options.hpp\"\n")
file(WRITE ${WORK}/scorer/output/planted.hpp "#pragma once\n#  include \"scorer/methods/row_engine.hpp\"\n")
file(WRITE ${WORK}/scorer/methods/fine.cpp "#include \"scorer/output/records.hpp\"\n#include \"scorer/graph/network.hpp\"\n")
file(WRITE ${WORK}/scorer/loose.cpp "#include \"scorer/graph/network.hpp\"\n")
file(WRITE ${WORK}/python/src/planted.cpp "#include \"scorer/cli/method_registry.hpp\"\n#include \"scorer/methods/row_engine.hpp\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${WORK} -P ${check} RESULT_VARIABLE planted_status
                ERROR_VARIABLE planted_errors)
if(planted_status EQUAL 0)
  message(FATAL_ERROR "planted wrong-way includes passed the check")
endif()
foreach(expected IN ITEMS
        "scorer/graph/planted.cpp: graph/ may not include cli/ (scorer/cli/options.hpp)"
        "scorer/output/planted.hpp: output/ may not include methods/ (scorer/methods/row_engine.hpp)"
        "scorer/loose.cpp: scorer/ holds its sources in stage folders only"
        "python/src/planted.cpp: includes scorer/methods/row_engine.hpp, the engine's internals")
  string(FIND "${planted_errors}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check does not say \"${expected}\":\n${planted_errors}")
  endif()
endforeach()
foreach(allowed IN ITEMS "methods/fine.cpp" "graph/network.hpp\)" "cli/method_registry.hpp")
  string(FIND "${planted_errors}" "${allowed}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the check refuses an allowed include (${allowed}):\n${planted_errors}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
