# Run as a test (cmake -DROOT=<source dir> -P CheckLayers.cmake): the windows live under
# src/ui, and nothing else of the program may include Qt or a window. The window tests and
# the window benchmarks are the only other places that may.
file(GLOB_RECURSE candidates RELATIVE "${ROOT}"
  "${ROOT}/src/*.h" "${ROOT}/src/*.cpp" "${ROOT}/tools/*.h" "${ROOT}/tools/*.cpp"
  "${ROOT}/tests/*.h" "${ROOT}/tests/*.cpp" "${ROOT}/bench/*.h" "${ROOT}/bench/*.cpp"
  "${ROOT}/fuzz/*.h" "${ROOT}/fuzz/*.cpp")
set(offences "")
foreach(file IN LISTS candidates)
  if(file MATCHES "^src/ui/" OR file MATCHES "^tests/gui/" OR file MATCHES "^bench/gui/")
    continue()
  endif()
  file(STRINGS "${ROOT}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    if(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]|q[a-z]+\\.h>)" OR line MATCHES "#[ \t]*include[ \t]*[<\"]ui/")
      string(APPEND offences "  ${file}: ${line}\n")
    endif()
  endforeach()
endforeach()
if(NOT offences STREQUAL "")
  message(FATAL_ERROR "Only src/ui (and the window tests and benchmarks) may include Qt or src/ui:\n${offences}")
endif()
# The core's folders hold no window either.
file(GLOB_RECURSE stray RELATIVE "${ROOT}" "${ROOT}/src/*/qt/*")
if(stray)
  message(FATAL_ERROR "Windows belong under src/ui, not in a qt/ folder of the core:\n${stray}")
endif()
