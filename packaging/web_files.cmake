# The files of a web build of the player that go with it: every regular,
# non-hidden file at the top of dir, when dir holds the page and the .wasm;
# otherwise none.
function(tolvani_web_files dir out)
  set(_files)
  if(EXISTS "${dir}/player.html" AND EXISTS "${dir}/tolvani_player.wasm")
    file(GLOB _all LIST_DIRECTORIES false "${dir}/*")
    foreach(_f IN LISTS _all)
      get_filename_component(_name "${_f}" NAME)
      if(NOT _name MATCHES "^\\.")
        list(APPEND _files "${_f}")
      endif()
    endforeach()
  endif()
  set(${out} ${_files} PARENT_SCOPE)
endfunction()
