# The browser build, configured with emcmake (./demo web does it): the show's layers over Allegro,
# JPGalleg, DUMB and zlib built for wasm (STREAM8_WEB_PREFIX), the page's program, and the recorder
# and the benchmark for Node.
set(STREAM8_WEB_PREFIX "" CACHE PATH "Allegro, JPGalleg, DUMB and zlib built for wasm")
if(NOT EXISTS "${STREAM8_WEB_PREFIX}/lib/liballeg.a")
  message(FATAL_ERROR "STREAM8_WEB_PREFIX (${STREAM8_WEB_PREFIX}) holds no wasm build of Allegro: "
                      "./demo web makes one")
endif()
# dumb.h spells a string literal and a macro without a space between them.
add_compile_options(-Wno-reserved-user-defined-literal)
# wasm's 128-bit vectors for the lane kernels: the same operations, lane by lane.
option(STREAM8_WASM_SIMD "Build the lane kernels with wasm SIMD (-msimd128)" ON)
if(STREAM8_WASM_SIMD)
  add_compile_options(-msimd128)
endif()
# Binaryen inlines every function that has one caller, however large: the effects' frames would
# all end in the function that runs the whole show. V8 swaps in its optimized code only when a
# function is entered again, so that one function would run its baseline code to the end.
add_link_options(-sBINARYEN_EXTRA_PASSES=--one-caller-inline-max-function-size=0)

add_library(platform_libs INTERFACE)
target_include_directories(platform_libs INTERFACE ${STREAM8_WEB_PREFIX}/include)
target_link_libraries(platform_libs INTERFACE
  ${STREAM8_WEB_PREFIX}/lib/libjpgalleg.a ${STREAM8_WEB_PREFIX}/lib/libaldmb.a
  ${STREAM8_WEB_PREFIX}/lib/libdumb.a ${STREAM8_WEB_PREFIX}/lib/liballeg.a m)
add_subdirectory(src)

# The wasm zlib for the recorder's PNG writer, as the target the apps' list links.
add_library(ZLIB::ZLIB INTERFACE IMPORTED)
target_link_libraries(ZLIB::ZLIB INTERFACE ${STREAM8_WEB_PREFIX}/lib/libz.a)
# --- Node: the recorder (hash log and sound track; no video), the benchmarks and the icon's maker,
# reading and writing the machine's own files: the apps' own list.
add_subdirectory(apps)

# --- The page: a static folder (page/) that any web server can host. The show's loop stays
# blocking: Asyncify lets its waits yield to the browser. Each run is a new instance.
set(STREAM8_PAGE ${PROJECT_BINARY_DIR}/page)
set(STREAM8_WEB_DIR ${PROJECT_SOURCE_DIR}/src/platform/web)
add_executable(stream8-web ${STREAM8_WEB_DIR}/main.cpp ${STREAM8_WEB_DIR}/warm_up.cpp
               ${STREAM8_WEB_DIR}/web_host.cpp)
target_link_libraries(stream8-web PRIVATE show platform)
# Only the functions that can be on the stack when the host waits (WebHost::idle and ::present
# yield to the page) carry Asyncify's bookkeeping: the show's loops and each scene's frame, down
# the host's virtual calls. The drawing below them runs as plain code.
target_link_options(stream8-web PRIVATE -sASYNCIFY
  -sASYNCIFY_ONLY=@${STREAM8_WEB_DIR}/asyncify_only.txt -sMODULARIZE=1 -sEXPORT_NAME=createStream8
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=67108864 -sENVIRONMENT=web
  --preload-file ${PROJECT_SOURCE_DIR}/ruvo@/ruvo)
set_target_properties(stream8-web PROPERTIES OUTPUT_NAME stream8 SUFFIX .js
                      RUNTIME_OUTPUT_DIRECTORY ${STREAM8_PAGE}
                      LINK_DEPENDS ${STREAM8_WEB_DIR}/asyncify_only.txt)
foreach(file index.html page.js page.css)
  configure_file(${STREAM8_WEB_DIR}/page/${file} ${STREAM8_PAGE}/${file} COPYONLY)
endforeach()
add_custom_command(OUTPUT ${STREAM8_PAGE}/stream8.png
                   COMMAND node --no-experimental-fetch $<TARGET_FILE:stream8-icon>
                           ${PROJECT_SOURCE_DIR}/ruvo/logo.jpg ${STREAM8_PAGE}/stream8.png
                   DEPENDS stream8-icon ${PROJECT_SOURCE_DIR}/ruvo/logo.jpg)
add_custom_target(page_icon ALL DEPENDS ${STREAM8_PAGE}/stream8.png)
