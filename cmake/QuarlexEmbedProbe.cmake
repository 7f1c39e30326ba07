# Which ways of embedding a compiler takes, found by trying each on a tiny
# file at configure time rather than from tables of compiler versions: a
# compiler, its assembler and the object format decide together, and flags
# such as a language standard may change the answer.
include_guard(GLOBAL)
include("${CMAKE_CURRENT_LIST_DIR}/QuarlexEmbedText.cmake")

# Sets `result` to the ways that `lang`'s compiler takes, in the order of
# preference, the cheapest build first as the compile-cost benchmark
# measured them (bench/compile_cost.sh): INCBIN, EMBED, then TEXT, which
# every compiler takes. Probed once per compiler, flags and build tree.
function(_quarlex_embed_ways lang result)
  string(MD5 key "${CMAKE_${lang}_COMPILER};${CMAKE_${lang}_COMPILER_VERSION};${CMAKE_${lang}_FLAGS}")
  string(SUBSTRING "${key}" 0 12 key)
  set(cache_name "QUARLEX_EMBED_WAYS_${lang}_${key}")
  if(DEFINED CACHE{${cache_name}})
    set(${result} "${${cache_name}}" PARENT_SCOPE)
    return()
  endif()

  if(lang STREQUAL "C")
    set(extension c)
  else()
    set(extension cpp)
  endif()
  set(ways)
  foreach(way INCBIN EMBED)
    set(dir "${CMAKE_BINARY_DIR}/CMakeFiles/QuarlexEmbedProbe/${lang}_${way}")
    file(MAKE_DIRECTORY "${dir}")
    # Read-only and aligned, the most that is asked of a way; a first byte
    # that the program reads, so that the link needs the symbol.
    file(WRITE "${dir}/probe.bin" "qx")
    _quarlex_embed_header_text(probe 2 64 ON QUARLEX_EMBED_PROBE probe.bin header)
    file(WRITE "${dir}/probe.h" "${header}")
    _quarlex_embed_definition_text(${way} "${dir}/probe.bin" "${dir}/probe.h"
      "${dir}/probe_data.${extension}" "" probe 64 ON definition)
    file(WRITE "${dir}/probe_data.${extension}" "${definition}")
    file(WRITE "${dir}/probe_main.${extension}"
      "#include \"probe.h\"\nint main(void) { return probe[0] + (int)sizeof probe + _probe; }\n")
    try_compile(taken "${dir}/build"
      SOURCES "${dir}/probe_data.${extension}" "${dir}/probe_main.${extension}"
      CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${dir}"
      OUTPUT_VARIABLE log)
    file(WRITE "${dir}/log.txt" "${log}")
    if(taken)
      list(APPEND ways ${way})
    endif()
  endforeach()
  list(APPEND ways TEXT)
  string(REPLACE ";" ", " listed "${ways}")
  message(STATUS "quarlex_embed: the ${lang} compiler ${CMAKE_${lang}_COMPILER_ID} "
                 "${CMAKE_${lang}_COMPILER_VERSION} takes ${listed}")
  set(${cache_name} "${ways}" CACHE INTERNAL "Ways of embedding that the ${lang} compiler takes")
  set(${result} "${ways}" PARENT_SCOPE)
endfunction()

# What a way asks of the compiler, for the error where it lacks it.
function(_quarlex_embed_way_need way result)
  if(way STREQUAL "INCBIN")
    set(${result} "no .incbin in a file-scope asm statement" PARENT_SCOPE)
  else()
    set(${result} "no #embed" PARENT_SCOPE)
  endif()
endfunction()
