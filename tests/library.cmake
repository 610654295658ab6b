# The runtime as a library: the examples run headless for a few frames, a
# program of one's own compiles with default flags, and the installed package
# builds and runs the same programs out of the tree.
set(QUARNEX_EXAMPLE_RUNS ${PROJECT_BINARY_DIR}/example-runs)

# name, program, script, what its output must show
function(quarnex_headless_test name program script pattern)
  set(dir ${QUARNEX_EXAMPLE_RUNS}/${name})
  file(MAKE_DIRECTORY ${dir})
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -E env QUARNEX_PLATFORM=headless QUARNEX_SCRIPT=${script} $<TARGET_FILE:${program}>
           WORKING_DIRECTORY ${dir})
  set_tests_properties(${name} PROPERTIES PASS_REGULAR_EXPRESSION "${pattern}" TIMEOUT 120)
endfunction()

if(TARGET quarnex-example-sprite_text)
  set(scripts ${CMAKE_CURRENT_SOURCE_DIR}/examples)
  quarnex_headless_test(example_sprite_text quarnex-example-sprite_text ${scripts}/sprite_text.script
                        "sprite_text: [23][0-9] frames shown")
  # The sound system is down while it is being built: the example goes on silently.
  quarnex_headless_test(example_sound_music quarnex-example-sound_music ${scripts}/sound_music.script
                        "sound_music: (playing|the sound system is down, running silently).*sound_music: [34][0-9] frames, [1-9] clicks")
  quarnex_headless_test(example_input quarnex-example-input ${scripts}/input.script
                        "keys\\[ 57 \\].*mouse 1 at \\(100, 120\\).*pad 0x10.*pad 0x14")
endif()

# A program of one's own inside this build: default flags, <quarnex/runtime.h>.
add_executable(quarnex-consumer ${CMAKE_CURRENT_SOURCE_DIR}/install/consumer.cpp)
target_compile_features(quarnex-consumer PRIVATE cxx_std_20)
target_link_libraries(quarnex-consumer PRIVATE quarnex_runtime)
file(WRITE ${QUARNEX_EXAMPLE_RUNS}/consumer.script "frame 10 close\n")
quarnex_headless_test(library_consumer quarnex-consumer ${QUARNEX_EXAMPLE_RUNS}/consumer.script "consumer: 5 frames")

string(TOUPPER "${CMAKE_BUILD_TYPE}" quarnex_build_type)
set(quarnex_install_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${quarnex_build_type}}")
add_test(NAME library_install
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBINARY_DIR=${PROJECT_BINARY_DIR}
                 -DWORK=${PROJECT_BINARY_DIR}/install-test "-DCXX_FLAGS=${quarnex_install_flags}" -P ${CMAKE_CURRENT_SOURCE_DIR}/install/install_test.cmake)
set_tests_properties(library_install PROPERTIES TIMEOUT 900)
