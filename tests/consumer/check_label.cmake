# The label quarlex_embed makes in CMake (for the ways that never run the
# tool) against the label the tool makes, over the README's examples; and
# the flavour it expects of the tool for an OUTPUT against the tool's.
#
#   cmake -DTOOL=<quarlex> -P check_label.cmake
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/QuarlexEmbedText.cmake")

string(RANDOM LENGTH 12 suffix)
set(work "$ENV{TMPDIR}")
if(work STREQUAL "")
  set(work /tmp)
endif()
set(work "${work}/quarlex-label-${suffix}")
file(MAKE_DIRECTORY "${work}")
file(WRITE "${work}/a.bin" "x")

# text, then the README's label; "-" stands for the empty text, "<bs>" for
# a backslash (one at the end of a list item would hide the next ";").
set(cases
  "C:<bs>data<bs>logo image.bmp" logo_image_bmp
  "dir/x.bin" dir_x_bin
  "a<bs>b" b
  "  my label " my_label_
  "héllo wörld" h__llo_w__rld
  "-" quarlex
  "   " quarlex
  "C:<bs>data<bs>" quarlex
  "9lives.bin" 9lives_bin)
set(failures 0)
list(LENGTH cases count)
math(EXPR last "${count} - 1")
foreach(index RANGE 0 ${last} 2)
  math(EXPR expected_index "${index} + 1")
  list(GET cases ${index} text)
  list(GET cases ${expected_index} expected)
  if(text STREQUAL "-")
    set(text "")
  endif()
  string(REPLACE "<bs>" "\\" text "${text}")
  _quarlex_embed_label("${text}" made)
  file(REMOVE "${work}/a.h")
  execute_process(COMMAND "${TOOL}" a.bin a.h "${text}" WORKING_DIRECTORY "${work}"
                  RESULT_VARIABLE status)
  set(line)
  if(EXISTS "${work}/a.h")
    file(STRINGS "${work}/a.h" line REGEX "^unsigned char .*\\[ \\] = {")
  endif()
  string(REGEX REPLACE "^unsigned char (.*)\\[ \\] = {.*" "\\1" tool_label "${line}")
  if(NOT status EQUAL 0 OR NOT made STREQUAL tool_label OR NOT made STREQUAL expected)
    message(SEND_ERROR "'${text}': CMake makes '${made}', the tool '${tool_label}' (status "
                       "${status}), the README says '${expected}'")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

# Names of each flavour, and names that only the rules tell apart.
set(names x.h x.C x.hxx x.ipp x.inc x.java "x.J a\tva" x.asm x.txt noextension my.dir/out
          x.c++ "x.C##" x.h~~ x.cs x.cppx x.tcc x.inl)
foreach(name IN LISTS names)
  _quarlex_embed_c_flavour("${name}" c_flavour)
  get_filename_component(dir "${work}/${name}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(REMOVE "${work}/${name}")
  execute_process(COMMAND "${TOOL}" a.bin "${name}" WORKING_DIRECTORY "${work}")
  file(READ "${work}/${name}" start LIMIT 2)
  set(tool_c FALSE)
  if(start MATCHES "^/\\*")
    set(tool_c TRUE)
  endif()
  if(NOT c_flavour STREQUAL tool_c)
    message(SEND_ERROR "OUTPUT '${name}': CMake expects C flavour ${c_flavour}, the tool gives ${tool_c}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
file(REMOVE_RECURSE "${work}")
if(failures EQUAL 0)
  math(EXPR texts "${count} / 2")
  list(LENGTH names flavours)
  message(STATUS "the labels of ${texts} texts and the flavours of ${flavours} names agree")
endif()
