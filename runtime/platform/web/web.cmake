# The browser (WebAssembly) build of the runtime, and quarnex_web_page() that
# turns a game's executable into a page. Included by runtime/CMakeLists.txt
# when the compiler is emscripten's.

# Left out of the browser build: the desktop back end, the font configuration
# and the renderer's AVX kernels (the SSE2 ones become WebAssembly SIMD).
set(QUARNEX_WEB_EXCLUDED_SOURCES
  "/platform/sdl/|/platform/font_files_fontconfig\\.cpp$|/graphics/renderer_vec_avx(2|512)\\.cpp$")

find_path(QUARNEX_DEFLATE_INCLUDE libdeflate.h REQUIRED)
foreach(lib deflate vorbisfile vorbis ogg mpg123)
  find_library(QUARNEX_WEB_LIB_${lib} ${lib} REQUIRED)
endforeach()

function(quarnex_web_link_runtime target)
  target_include_directories(${target} PRIVATE ${QUARNEX_DEFLATE_INCLUDE})
  target_compile_options(${target} PRIVATE -msimd128 -msse2)
  target_link_libraries(${target} PRIVATE
    ${QUARNEX_WEB_LIB_deflate} ${QUARNEX_WEB_LIB_vorbisfile} ${QUARNEX_WEB_LIB_vorbis} ${QUARNEX_WEB_LIB_ogg}
    ${QUARNEX_WEB_LIB_mpg123} PNG::PNG JPEG::JPEG ZLIB::ZLIB Freetype::Freetype)
endfunction()

set(QUARNEX_WEB_FONT /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf CACHE FILEPATH
  "The Japanese font file shipped with a page")
set(QUARNEX_WEB_OUTPUT_DIR ${PROJECT_BINARY_DIR}/page CACHE PATH "Where quarnex_web_page() lays out the page")
set(QUARNEX_WEB_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")

# Links a game's executable as a page: <name>.js, .wasm and .data (the files,
# preloaded into the in-memory file system's start directory /game, and the
# font) next to index.html in QUARNEX_WEB_OUTPUT_DIR. Arguments: the files to
# ship with the game.
function(quarnex_web_page target)
  set(preload)
  set(depends)
  foreach(file IN LISTS ARGN)
    get_filename_component(name ${file} NAME)
    list(APPEND preload "SHELL:--preload-file ${file}@/game/${name}")
    list(APPEND depends ${file})
  endforeach()
  list(APPEND preload "SHELL:--preload-file ${QUARNEX_WEB_FONT}@/fonts/ipag.ttf")
  target_link_options(${target} PRIVATE
    # Every wait gives the page its turn: the game's loop is unwound and resumed.
    -sASYNCIFY -sASYNCIFY_STACK_SIZE=262144
    -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=134217728 -sTOTAL_STACK=4194304
    -sINVOKE_RUN=0 -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1
    "SHELL:-s EXPORTED_RUNTIME_METHODS=[\"callMain\",\"FS\",\"ENV\",\"NODEFS\"]"
    -lnodefs.js
    "SHELL:--pre-js ${QUARNEX_WEB_DIR}/web_pre.js"
    ${preload})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${QUARNEX_WEB_DIR}/web_pre.js ${depends})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUARNEX_WEB_OUTPUT_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
      $<TARGET_FILE_DIR:${target}>/${target}.js $<TARGET_FILE_DIR:${target}>/${target}.wasm
      $<TARGET_FILE_DIR:${target}>/${target}.data ${QUARNEX_WEB_OUTPUT_DIR}/
    COMMAND ${CMAKE_COMMAND} -DIN=${QUARNEX_WEB_DIR}/index.html -DOUT=${QUARNEX_WEB_OUTPUT_DIR}/index.html
      -DNAME=${target} -P ${QUARNEX_WEB_DIR}/web_index.cmake
    VERBATIM)
endfunction()
