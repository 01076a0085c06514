# Run by CPack after the files are staged: builds the web player with
# emscripten (the wasm preset) when it is installed and puts it into the
# package's web/ folder, so that the installed `tolvani web` can export.
include("${CMAKE_CURRENT_LIST_DIR}/web_files.cmake")

if(NOT CPACK_TOLVANI_EMCC)
  message(STATUS "emscripten (emcc) is not installed: the package has no web player; "
                 "the installed `tolvani web` will say that the web build is missing")
  return()
endif()
set(_source "${CPACK_TOLVANI_SOURCE_DIR}")
if(NOT EXISTS "${_source}/build/wasm/CMakeCache.txt")
  execute_process(COMMAND "${CMAKE_COMMAND}" --preset wasm WORKING_DIRECTORY "${_source}"
                  OUTPUT_QUIET RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "configuring the web player (cmake --preset wasm) failed")
  endif()
endif()
message(STATUS "Building the web player (cmake --build --preset wasm --target tolvani_player)")
execute_process(COMMAND "${CMAKE_COMMAND}" --build --preset wasm --target tolvani_player
                WORKING_DIRECTORY "${_source}" OUTPUT_QUIET RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
  message(FATAL_ERROR "building the web player failed (cmake --build --preset wasm)")
endif()
tolvani_web_files("${CPACK_TOLVANI_WEB_BUILD_DIR}" _files)
if(NOT _files)
  message(FATAL_ERROR "no web player in ${CPACK_TOLVANI_WEB_BUILD_DIR} after its build")
endif()
# Every staged package (one here) gets the files.
foreach(_root IN LISTS CPACK_TEMPORARY_INSTALL_DIRECTORY)
  file(COPY ${_files}
       DESTINATION "${_root}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_TOLVANI_WEB_INSTALL_DIR}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
