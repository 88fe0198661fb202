# AdPlug and libbinio: Debian's packages natively, the bootstrap's cross-built
# archives (build/deps/<triplet>) for mingw-w64.
if(CMAKE_CROSSCOMPILING)
  set(VELK_DEPS_PREFIX "${CMAKE_SOURCE_DIR}/build/deps/${VELK_TRIPLET}" CACHE PATH "Cross-built AdPlug and libbinio")
  set(_adplug_include "${VELK_DEPS_PREFIX}/include")
  set(_binio_include "${VELK_DEPS_PREFIX}/include/libbinio")
  set(_adplug_lib "${VELK_DEPS_PREFIX}/lib/libadplug.a")
  set(_binio_lib "${VELK_DEPS_PREFIX}/lib/libbinio.a")
  if(NOT EXISTS "${_adplug_lib}" OR NOT EXISTS "${_binio_lib}")
    message(FATAL_ERROR "AdPlug for ${VELK_TRIPLET} is missing; run tools/bootstrap.sh")
  endif()
else()
  find_path(_adplug_include adplug/adplug.h REQUIRED)
  find_path(_binio_include binio.h PATH_SUFFIXES libbinio REQUIRED)
  find_library(_adplug_lib adplug REQUIRED)
  find_library(_binio_lib binio REQUIRED)
endif()

add_library(velk_adplug INTERFACE)
# AdPlug's headers include binio.h and each other by bare name.
target_include_directories(velk_adplug SYSTEM INTERFACE "${_adplug_include}" "${_adplug_include}/adplug" "${_binio_include}")
target_link_libraries(velk_adplug INTERFACE "${_adplug_lib}" "${_binio_lib}")
