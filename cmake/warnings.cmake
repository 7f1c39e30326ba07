# Compiler warnings for the project's own targets, linked PRIVATE so that
# nothing leaks into projects that consume QUARLEX.
add_library(quarlex_warnings INTERFACE)

if(MSVC)
  target_compile_options(quarlex_warnings INTERFACE /W4)
  if(QUARLEX_WARNINGS_AS_ERRORS)
    target_compile_options(quarlex_warnings INTERFACE /WX)
  endif()
else()
  target_compile_options(quarlex_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wold-style-cast -Wnon-virtual-dtor)
  if(QUARLEX_WARNINGS_AS_ERRORS)
    target_compile_options(quarlex_warnings INTERFACE -Werror)
  endif()
endif()
