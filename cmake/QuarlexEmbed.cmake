# quarlex_embed(<target> <file> [OUTPUT <name>] [LABEL <label>] [ALIGN <bytes>] [RAW])
#
# Embeds <file> in <target>, regenerated at build time whenever the file or
# the tool changes, and only then.
#
#   OUTPUT  the name sources include, relative to a folder of its own in the
#           build tree that is added to <target>'s include directories
#           (default: the file's name plus ".h", so `#include "logo.png.h"`).
#   LABEL   the name of the array or label (default: made from the file's
#           name, "logo.png" giving "logo_png").
#   ALIGN   the array's address is a multiple of <bytes>, a power of two.
#   RAW     OUTPUT is the tool's own include file, which defines the array:
#           include it in exactly one source.
#
# For a C/C++ OUTPUT (.h, .hh, .hpp, .h++, .inl, .c, .cc, .cpp, .cxx, .c++)
# the tool's include file is compiled once into <target>, in a generated
# source of its own, and OUTPUT is a header that declares the array with
# its size and defines _<label> as the size, behind an include guard, with C
# linkage also from C++: any number of C and C++ sources may include it, and
# `sizeof logo_png` and `_logo_png` work in each. The header is rewritten
# only when the size changes, so a changed file of the same size recompiles
# the generated source alone. Any other OUTPUT (".inc": the assembler
# flavour) is the tool's own include file, as with RAW.
#
# Refused at configure time, with a message that names the problem: two
# embeds of one target that would generate one file, or give one label; a
# file name with a character the build tools cannot carry; an ALIGN that is
# not a power of two.
#
# Reproducible files: the tool runs in the file's folder with its bare name,
# so no path of the build machine goes in; its date stamp is the local time
# unless SOURCE_DATE_EPOCH is set in the environment of the build, e.g.
# `SOURCE_DATE_EPOCH=1700000000 cmake --build build`.

# The label the tool makes of `text` (see the README): the text after the
# last backslash, less leading blanks, control bytes and bytes from 128 up,
# with every byte but a letter, a digit or "_" turned into "_".
function(_quarlex_embed_label text result)
  string(FIND "${text}" "\\" last_backslash REVERSE)
  if(NOT last_backslash EQUAL -1)
    math(EXPR after "${last_backslash} + 1")
    string(SUBSTRING "${text}" ${after} -1 text)
  endif()
  string(REGEX REPLACE "^[^!-~]+" "" text "${text}")
  string(REGEX REPLACE "[^A-Za-z0-9_]" "_" text "${text}")
  if(text STREQUAL "")
    set(text quarlex)
  endif()
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

# Characters that a build tool takes for its own syntax in a file name, so
# that the name would not reach the tool as written: Ninja's "|" (its
# dependency separator) and "$" (its escape, and Make's variables), CMake's
# list separator ";", the backslash (a folder separator to some), Make's
# ":" (a drive letter's excepted), and control characters. Blanks, quotes,
# "#", "%" and brackets pass both Ninja and Make.
function(_quarlex_embed_check_name what name)
  string(REGEX REPLACE "^[A-Za-z]:/" "" without_drive "${name}")
  foreach(character "|" "$" ";" "\\" ":")
    string(FIND "${without_drive}" "${character}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR
        "quarlex_embed: ${what} '${name}' holds '${character}', which the build tools cannot "
        "carry in a file name; rename the file")
    endif()
  endforeach()
  foreach(code RANGE 1 31)
    string(ASCII ${code} control)
    string(FIND "${name}" "${control}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR
        "quarlex_embed: ${what} '${name}' holds a control character, which the build tools "
        "cannot carry in a file name; rename the file")
    endif()
  endforeach()
endfunction()

function(quarlex_embed target source)
  cmake_parse_arguments(PARSE_ARGV 2 arg "RAW" "OUTPUT;LABEL;ALIGN" "")
  # Beside this file, whichever project's scope calls the function.
  set(header_script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuarlexEmbedHeader.cmake")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quarlex_embed: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET Quarlex::quarlex)
    message(FATAL_ERROR "quarlex_embed: the target Quarlex::quarlex is missing")
  endif()

  get_filename_component(source "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  _quarlex_embed_check_name("the file" "${source}")
  get_filename_component(source_dir "${source}" DIRECTORY)
  get_filename_component(source_name "${source}" NAME)
  if(NOT arg_OUTPUT)
    set(arg_OUTPUT "${source_name}.h")
  endif()
  _quarlex_embed_check_name("the OUTPUT" "${arg_OUTPUT}")
  set(base_dir "${CMAKE_CURRENT_BINARY_DIR}/quarlex_embed/${target}")
  get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${base_dir}")
  get_filename_component(output_dir "${output}" DIRECTORY)

  # Two embeds into one generated file would build without a word, the file
  # holding whichever source came first, and a change to the other would
  # never regenerate it: the worst outcome for an embed. Refuse it here.
  string(MD5 output_key "${output}")
  get_property(earlier_source GLOBAL PROPERTY "_quarlex_embed_${output_key}")
  if(earlier_source)
    message(FATAL_ERROR
      "quarlex_embed: ${target} would generate ${arg_OUTPUT} twice, from\n"
      "  ${earlier_source}\n"
      "and from\n"
      "  ${source}\n"
      "Give OUTPUT (and LABEL) to tell them apart, e.g.\n"
      "  quarlex_embed(${target} <file> OUTPUT <other name>.h LABEL <other label>)")
  endif()
  set_property(GLOBAL PROPERTY "_quarlex_embed_${output_key}" "${source}")

  # One label twice in one target would fail only later, in the compiler or
  # the linker, with a message about the generated files.
  set(label_argument)
  if(DEFINED arg_LABEL)
    set(label_argument "${arg_LABEL}")
    _quarlex_embed_label("${arg_LABEL}" label)
  else()
    _quarlex_embed_label("${source_name}" label)
  endif()
  get_property(earlier_labelled GLOBAL PROPERTY "_quarlex_embed_label_${target}_${label}")
  if(earlier_labelled)
    message(FATAL_ERROR
      "quarlex_embed: ${target} would embed two files under the label ${label}:\n"
      "  ${earlier_labelled}\n"
      "and\n"
      "  ${source}\n"
      "Give one of them another LABEL.")
  endif()
  set_property(GLOBAL PROPERTY "_quarlex_embed_label_${target}_${label}" "${source}")

  string(TOLOWER "${arg_OUTPUT}" lower_output)
  set(declaring_header FALSE)
  if(NOT arg_RAW AND lower_output MATCHES "\\.(h|hh|hpp|h\\+\\+|inl|c|cc|cpp|cxx|c\\+\\+)$")
    set(declaring_header TRUE)
  endif()
  if(DEFINED arg_ALIGN)
    if(NOT arg_ALIGN MATCHES "^[1-9][0-9]*$")
      message(FATAL_ERROR "quarlex_embed: ALIGN ${arg_ALIGN} is not a number of bytes")
    endif()
    math(EXPR below "${arg_ALIGN} & (${arg_ALIGN} - 1)")
    if(NOT below EQUAL 0)
      message(FATAL_ERROR "quarlex_embed: ALIGN ${arg_ALIGN} is not a power of two (1, 2, 4, ... 64 ...)")
    endif()
    if(NOT declaring_header)
      message(FATAL_ERROR
        "quarlex_embed: ALIGN needs a C/C++ header as OUTPUT, not RAW or '${arg_OUTPUT}'")
    endif()
  endif()

  # Built in this tree, the tool is a real target: depending on it by name
  # also regenerates the file when the tool is rebuilt. Installed, it is an
  # imported file.
  get_target_property(tool_target Quarlex::quarlex ALIASED_TARGET)
  if(NOT tool_target)
    set(tool_target "$<TARGET_FILE:Quarlex::quarlex>")
  endif()

  if(NOT declaring_header)
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
    target_include_directories(${target} PRIVATE "${base_dir}")
    return()
  endif()

  # The tool's include file, and the one source that compiles it, in a
  # folder of their own beside the header.
  get_filename_component(data "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${base_dir}/.quarlex_data")
  get_filename_component(data_dir "${data}" DIRECTORY)
  get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
  if("C" IN_LIST languages)
    set(definition "${data}.c")
  else()
    set(definition "${data}.cpp")
  endif()
  file(RELATIVE_PATH header_from_definition "${data_dir}" "${output}")
  get_filename_component(data_name "${data}" NAME)
  set(definition_text
    "/* Generated by quarlex_embed: the one definition of ${label}, from ${source_name}. */\n")
  string(APPEND definition_text "#include \"${header_from_definition}\"\n")
  string(APPEND definition_text "#include \"${data_name}\"\n")
  file(CONFIGURE OUTPUT "${definition}" CONTENT "${definition_text}")
  # The data's own file may draw warnings that are no concern of the
  # target's (an empty array, a last line without a line end).
  set_source_files_properties("${definition}" TARGET_DIRECTORY ${target} PROPERTIES
    COMPILE_OPTIONS "$<IF:$<OR:$<C_COMPILER_ID:MSVC>,$<CXX_COMPILER_ID:MSVC>>,/w,-w>")

  string(MAKE_C_IDENTIFIER "QUARLEX_EMBED_${target}_${arg_OUTPUT}" guard)
  string(TOUPPER "${guard}" guard)
  add_custom_command(
    OUTPUT "${data}"
    BYPRODUCTS "${output}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${data_dir}" "${output_dir}"
    COMMAND "$<TARGET_FILE:Quarlex::quarlex>" "${source_name}" "${data}" ${label_argument}
    COMMAND "${CMAKE_COMMAND}" "-DDATA=${data}" "-DHEADER=${output}" "-DGUARD=${guard}"
            "-DALIGN=${arg_ALIGN}" "-DSOURCE_NAME=${source_name}" -P "${header_script}"
    WORKING_DIRECTORY "${source_dir}"
    DEPENDS "${source}" "${tool_target}" "${header_script}"
    COMMENT "Embedding ${source_name} in ${arg_OUTPUT}"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}" "${data}" "${definition}")
  target_include_directories(${target} PRIVATE "${base_dir}")
endfunction()
