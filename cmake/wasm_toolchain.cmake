# The WebAssembly build (preset `wasm`): Debian's emscripten (3.1.6) run under
# Node. Every quirk of that pair is set here and nowhere else:
#  - exceptions are off unless every compile and link passes -fexceptions
#    (the reader reports errors by exception);
#  - emcc's JavaScript passes need Debian's Node modules (acorn) when `node`
#    is not Debian's own: NODE_PATH on every link;
#  - Node 20 runs the output only with --no-experimental-fetch (else it
#    tries to fetch the .wasm file as a URL);
#  - programs see the real file system (NODERAWFS) so that tests and
#    `tolvani.js` take the same paths as the native programs.
set(CMAKE_C_FLAGS_INIT "-fexceptions")
set(CMAKE_CXX_FLAGS_INIT "-fexceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-fexceptions -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB -sEXIT_RUNTIME=1")

set(TOLVANI_NODE_PATH "/usr/share/nodejs" CACHE PATH "Node modules emcc needs (acorn)")
set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK "${CMAKE_COMMAND} -E env NODE_PATH=${TOLVANI_NODE_PATH}")


find_program(TOLVANI_NODE node REQUIRED)
# CTest (and GoogleTest's discovery) run the .js programs through Node.
set(CMAKE_CROSSCOMPILING_EMULATOR "${TOLVANI_NODE};--no-experimental-fetch" CACHE STRING "" FORCE)

include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
