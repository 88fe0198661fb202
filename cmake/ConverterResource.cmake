# velk_embed_converter(TARGET): on Windows, carries the converter in TARGET
# as the plug-in does (resource "IDR_FILE" 125, Korean), so that programs
# other than the plug-in run the real resource lookup. Elsewhere nothing.
function(velk_embed_converter target)
  if(NOT WIN32)
    return()
  endif()
  set(_rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_converter.rc")
  file(GENERATE OUTPUT "${_rc}" CONTENT
"#include <windows.h>
LANGUAGE LANG_KOREAN, SUBLANG_KOREAN
125 IDR_FILE \"$<TARGET_FILE:ruz2avu>\"
")
  # Rebuilt when the converter changes (OBJECT_DEPENDS takes no generator expressions).
  get_target_property(_converter_dir ruz2avu BINARY_DIR)
  set_source_files_properties("${_rc}" PROPERTIES OBJECT_DEPENDS "${_converter_dir}/ruz2avu${CMAKE_EXECUTABLE_SUFFIX}")
  target_sources(${target} PRIVATE "${_rc}")
  add_dependencies(${target} ruz2avu)
endfunction()
