# Writes, for one embedded file, the header that declares its array and the
# one source that defines it. Run at build time by quarlex_embed() whenever
# the file changes, at configure time by its probes, and by hand from Meson
# or Make (see the README):
#
#   cmake -DFILE=<embedded file> -DHEADER=<header> -DSOURCE=<definition>
#         -DLABEL=<label> -DMETHOD=INCBIN|EMBED|TEXT [-DTEXT_DATA=<tool's file>]
#         [-DALIGN=<bytes>] [-DCONST=ON] [-DGUARD=<macro>]
#         -P QuarlexEmbedGenerate.cmake
#
#   INCBIN  the source hands the file to the compiler's assembler (.incbin).
#   EMBED   the source takes the file's bytes through #embed.
#   TEXT    the source includes TEXT_DATA, the tool's C include file of the
#           embedded file, which the build writes beforehand.
#
# The size in the header is the file's own, so the tool's text is not
# needed for it. The header keeps its time stamp while it would say the
# same, so that a changed file of the same size recompiles no source that
# includes it. The definition is written every time: its object depends on
# the bytes, which the compiler's own dependency lists do not name in the
# first two ways.
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/QuarlexEmbedText.cmake")

foreach(required FILE HEADER SOURCE LABEL METHOD)
  if("${${required}}" STREQUAL "")
    message(FATAL_ERROR "QuarlexEmbedGenerate.cmake: -D${required}=... is missing")
  endif()
endforeach()
if(NOT METHOD MATCHES "^(INCBIN|EMBED|TEXT)$")
  message(FATAL_ERROR "QuarlexEmbedGenerate.cmake: METHOD ${METHOD} is none of INCBIN, EMBED, TEXT")
endif()
if(METHOD STREQUAL "TEXT" AND "${TEXT_DATA}" STREQUAL "")
  message(FATAL_ERROR "QuarlexEmbedGenerate.cmake: METHOD TEXT needs -DTEXT_DATA=<the tool's file>")
endif()
# Relative names are taken from the folder the script runs in, as the
# build tool that runs it gives them.
foreach(path FILE HEADER SOURCE TEXT_DATA)
  if(NOT "${${path}}" STREQUAL "")
    get_filename_component(${path} "${${path}}" ABSOLUTE)
  endif()
endforeach()
if(NOT EXISTS "${FILE}" OR IS_DIRECTORY "${FILE}")
  message(FATAL_ERROR "QuarlexEmbedGenerate.cmake: ${FILE} is no file")
endif()
if("${GUARD}" STREQUAL "")
  get_filename_component(header_name "${HEADER}" NAME)
  string(MAKE_C_IDENTIFIER "QUARLEX_EMBED_${LABEL}_${header_name}" GUARD)
  string(TOUPPER "${GUARD}" GUARD)
endif()

file(SIZE "${FILE}" size)
get_filename_component(file_name "${FILE}" NAME)
_quarlex_embed_header_text("${LABEL}" "${size}" "${ALIGN}" "${CONST}" "${GUARD}" "${file_name}"
                           header_text)
_quarlex_embed_definition_text("${METHOD}" "${FILE}" "${HEADER}" "${SOURCE}" "${TEXT_DATA}"
                               "${LABEL}" "${ALIGN}" "${CONST}" source_text)

set(old_text)
if(EXISTS "${HEADER}")
  file(READ "${HEADER}" old_text)
endif()
if(NOT old_text STREQUAL header_text)
  file(WRITE "${HEADER}" "${header_text}")
endif()
file(WRITE "${SOURCE}" "${source_text}")
