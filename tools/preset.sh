# Sourced by the scripts: configures a CMake preset in build/<preset>,
# starting afresh when the folder was configured by another generator.
# Further arguments go to cmake (-DNAME=VALUE).
configure_preset() {
  local preset=$1
  if [ -f "build/$preset/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "build/$preset/CMakeCache.txt"; then
    rm -rf "build/$preset"
  fi
  cmake --preset "$preset" "${@:2}" >/dev/null
}
