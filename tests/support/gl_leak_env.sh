# Sourced by the scripts that run programs drawing with Mesa (the player, the
# GL tests, tolvani-render). In a sanitizer build LeakSanitizer checks for
# leaks at exit, the system libraries' own excepted (tests/gui/lsan.supp).
# Mesa unloads its driver and its EGL/GLX front ends before the report, which
# would leave their blocks without a name to suppress them by: keep them
# loaded for the whole run (the sanitizer runtime must stay first).
#
#   gl_leak_env ARG...   exports LD_PRELOAD and LSAN_OPTIONS when one of the
#                        arguments is a program linked with AddressSanitizer
gl_leak_env() {
  local arg asan=""
  for arg in "$@"; do
    [ -f "$arg" ] && [ -x "$arg" ] || continue
    asan=$(ldd "$arg" 2>/dev/null | awk '/libasan\.so/ && !found {print $3; found = 1}' || true)
    [ -n "$asan" ] && break
  done
  [ -n "$asan" ] || return 0
  local preload="$asan" lib
  for lib in /usr/lib/x86_64-linux-gnu/dri/swrast_dri.so \
             /usr/lib/x86_64-linux-gnu/libEGL_mesa.so.0 \
             /usr/lib/x86_64-linux-gnu/libGLX_mesa.so.0; do
    [ -f "$lib" ] && preload="$preload:$lib"
  done
  export LD_PRELOAD="$preload${LD_PRELOAD:+:$LD_PRELOAD}"
  local supp
  supp="$(cd "$(dirname "${BASH_SOURCE[0]}")/../gui" && pwd)/lsan.supp"
  export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$supp:print_suppressions=0"
}
