# A statically linked tool starts without the dynamic loader's symbol
# lookups (a visible share of a small conversion), keeps its resident memory
# to what it touches, and runs on any machine of its architecture. The
# sanitizer runtimes cannot be linked statically, so sanitized builds stay
# dynamic.
function(quarlex_link_statically target)
  if(QUARLEX_STATIC AND NOT QUARLEX_SANITIZE AND NOT QUARLEX_SANITIZE_THREADS AND NOT MSVC
     AND NOT APPLE)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()
