# quarlex_embed(<target> <source file> [OUTPUT <name>] [LABEL <label>])
#
# Generates, at build time, an include file that embeds <source file> and
# makes <target> depend on it. The file is regenerated when the source file
# or the tool changes, and only then.
#
#   OUTPUT  name of the generated file, relative to a folder of its own in
#           the build tree (default: the source file's name plus ".h"); its
#           extension chooses the flavour (".h" C/C++, ".inc" assembler).
#   LABEL   name of the array or label (default: made from the source file's
#           name, "logo.png" giving "logo_png").
#
# Two embeds that would generate one file of one target (a/logo.png and
# b/logo.png, both logo.png.h by default) are a configure error naming both.
#
# The folder of the generated file is added to <target>'s include
# directories, so that `#include "logo.png.h"` just works.
#
# Reproducible files: the header names the source file by its bare name
# (the tool runs in its folder), so no path of the build machine goes in;
# its date stamp is the local time unless SOURCE_DATE_EPOCH is set in the
# environment of the build, e.g. `SOURCE_DATE_EPOCH=1700000000 cmake --build
# build`, which the tool then shows (in UTC) instead, the same on every machine.
function(quarlex_embed target source)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "OUTPUT;LABEL" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quarlex_embed: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET Quarlex::quarlex)
    message(FATAL_ERROR "quarlex_embed: the target Quarlex::quarlex is missing")
  endif()

  get_filename_component(source "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(source_dir "${source}" DIRECTORY)
  get_filename_component(source_name "${source}" NAME)
  if(NOT arg_OUTPUT)
    set(arg_OUTPUT "${source_name}.h")
  endif()
  get_filename_component(output "${arg_OUTPUT}" ABSOLUTE
                         BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}/quarlex_embed/${target}")
  get_filename_component(output_dir "${output}" DIRECTORY)

  # Two embeds into one generated file would build without a word, the file
  # holding whichever source came first, and a change to the other would
  # never regenerate it: the worst outcome for an embed. Refuse it here.
  string(MD5 output_key "${output}")
  get_property(embedded_before GLOBAL PROPERTY "_quarlex_embed_${output_key}" SET)
  if(embedded_before)
    get_property(earlier_source GLOBAL PROPERTY "_quarlex_embed_${output_key}")
    message(FATAL_ERROR
      "quarlex_embed: ${target} would generate ${arg_OUTPUT} twice, from\n"
      "  ${earlier_source}\n"
      "and from\n"
      "  ${source}\n"
      "Give OUTPUT (and LABEL) to tell them apart, e.g.\n"
      "  quarlex_embed(${target} <file> OUTPUT <other name>.h LABEL <other label>)")
  endif()
  set_property(GLOBAL PROPERTY "_quarlex_embed_${output_key}" "${source}")
  set(label_argument)
  if(DEFINED arg_LABEL)
    set(label_argument "${arg_LABEL}")
  endif()

  # Built in this tree, the tool is a real target: depending on it by name
  # also regenerates the file when the tool is rebuilt. Installed, it is an
  # imported file.
  get_target_property(tool_target Quarlex::quarlex ALIASED_TARGET)
  if(NOT tool_target)
    set(tool_target "$<TARGET_FILE:Quarlex::quarlex>")
  endif()

  # Run from the source file's folder with its bare name, so that the
  # header names the file, not the build machine's path to it.
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${output_dir}"
    COMMAND "$<TARGET_FILE:Quarlex::quarlex>" "${source_name}" "${output}" ${label_argument}
    WORKING_DIRECTORY "${source_dir}"
    DEPENDS "${source}" "${tool_target}"
    COMMENT "Embedding ${source_name} in ${arg_OUTPUT}"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
  target_include_directories(${target} PRIVATE "${output_dir}")
endfunction()
