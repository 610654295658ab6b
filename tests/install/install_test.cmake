# cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DWORK=... -P install_test.cmake
# CXX_FLAGS: the build's own compiler flags (those of a sanitizer build carry its
# instrumentation, which the programs that link its library need too).
# Installs the build into a fresh prefix, builds a program of one's own and the
# examples against it (CMake package and pkg-config), and runs them headless.
foreach(var SOURCE_DIR BINARY_DIR WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
run(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix})

file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
foreach(expected include/quarnex/runtime.h libquarnex_runtime.a QuarnexConfig.cmake QuarnexTargets.cmake
                 quarnex.pc bin/quarnex-archive bin/quarnex-resgen)
  set(found ${installed})
  list(FILTER found INCLUDE REGEX "(^|/)${expected}$")
  if(NOT found)
    message(FATAL_ERROR "not installed: ${expected}\n${installed}")
  endif()
endforeach()

set(launcher)
find_program(CCACHE ccache)
if(CCACHE)
  set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${CCACHE})
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install -B ${WORK}/build -DCMAKE_PREFIX_PATH=${prefix}
    -DQUARNEX_EXAMPLES_DIR=${SOURCE_DIR}/examples -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" ${launcher})
run(${CMAKE_COMMAND} --build ${WORK}/build -j2)

# The same program through pkg-config.
file(GLOB_RECURSE pc ${prefix}/*/quarnex.pc)
get_filename_component(pcdir ${pc} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pcdir})
run(pkg-config --static --cflags --libs quarnex)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${CXX_FLAGS} ${flags}")
run(c++ -std=c++20 ${SOURCE_DIR}/tests/install/consumer.cpp -o ${WORK}/consumer-pc ${flags})

# Run them headless for a few frames, each in a folder of its own.
set(ENV{QUARNEX_PLATFORM} headless)
foreach(program ${WORK}/build/consumer ${WORK}/consumer-pc ${WORK}/build/examples/quarnex-example-sprite_text)
  get_filename_component(name ${program} NAME)
  file(MAKE_DIRECTORY ${WORK}/run-${name})
  file(WRITE ${WORK}/run-${name}/script.txt "frame 10 close\n")
  set(ENV{QUARNEX_SCRIPT} ${WORK}/run-${name}/script.txt)
  execute_process(COMMAND ${program} WORKING_DIRECTORY ${WORK}/run-${name} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "(consumer: 5 frames|sprite_text: [1-9][0-9]* frames)")
    message(FATAL_ERROR "${name} (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${name}: ${out}")
endforeach()
