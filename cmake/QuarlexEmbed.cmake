# quarlex_embed(<target> <file> [OUTPUT <name>] [LABEL <label>] [ALIGN <bytes>]
#               [CONST] [METHOD AUTO|INCBIN|EMBED|TEXT] [RAW])
#
# Embeds <file> in <target>, regenerated at build time whenever the file
# changes (or, where the tool writes it, the tool), and only then.
#
#   OUTPUT  the name sources include, relative to a folder of its own in the
#           build tree that is added to <target>'s include directories
#           (default: the file's name plus ".h", so `#include "logo.png.h"`).
#   LABEL   the name of the array or label (default: made from the file's
#           name, "logo.png" giving "logo_png").
#   ALIGN   the array's address is a multiple of <bytes>, a power of two.
#   CONST   the array is const and lies in a read-only section.
#   METHOD  how the bytes reach the object (default AUTO, the cheapest way
#           the compiler takes, found by trying each at configure time):
#           INCBIN, the compiler's assembler reads the file (.incbin);
#           EMBED, the compiler reads it through #embed; TEXT, the tool's C
#           include file is compiled.
#   RAW     OUTPUT is the tool's own include file, which defines the array:
#           include it in exactly one source.
#
# For a C/C++ OUTPUT (any common header or source extension: .h, .hpp,
# .hxx, .inl, .ipp, .tcc, .c, .cpp, ...) the data is compiled once into
# <target>, in a generated source of its own, and OUTPUT is a header that
# declares the array with its size and defines _<label> as the size, behind
# an include guard, with C linkage also from C++: any number of C and C++
# sources may include it, and `sizeof logo_png` and `_logo_png` work in
# each, whatever the way. The size is the file's; the header is rewritten
# only when it changes, so a changed file of the same size recompiles the
# generated source alone. Any other OUTPUT (".inc": the assembler flavour)
# is the tool's own include file, as with RAW, in a project that has an
# assembler language enabled; in any other it is refused.
#
# Refused at configure time, with a message that names the problem: two
# embeds of one target that would generate one file, or give one label; a
# file name with a character the build tools cannot carry; an ALIGN that is
# not a power of two; a METHOD the compiler does not take.
#
# Reproducible files: the tool runs in the file's folder with its bare name,
# so no path of the build machine goes in; its date stamp is the local time
# unless SOURCE_DATE_EPOCH is set in the environment of the build, e.g.
# `SOURCE_DATE_EPOCH=1700000000 cmake --build build`. The other ways write
# neither a path nor a date into the object.

include_guard(GLOBAL)
include("${CMAKE_CURRENT_LIST_DIR}/QuarlexEmbedText.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/QuarlexEmbedProbe.cmake")

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
  cmake_parse_arguments(PARSE_ARGV 2 arg "RAW;CONST" "OUTPUT;LABEL;ALIGN;METHOD" "")
  # Beside this file, whichever project's scope calls the function.
  set(scripts "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuarlexEmbedGenerate.cmake"
              "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuarlexEmbedText.cmake")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quarlex_embed: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT DEFINED arg_METHOD)
    set(arg_METHOD AUTO)
  endif()
  if(NOT arg_METHOD MATCHES "^(AUTO|INCBIN|EMBED|TEXT)$")
    message(FATAL_ERROR "quarlex_embed: METHOD ${arg_METHOD} is none of AUTO, INCBIN, EMBED, TEXT")
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

  # Extensions of C and C++ headers and sources, in lower case: OUTPUT with
  # one of them gets the declaring header, which the build writes, not the
  # tool. (Set here: the function may be called from another directory's
  # scope than the one that included this file.)
  set(c_extensions h hh hp hpp hxx h++ inl ipp tpp tcc txx icc c cc cp cpp cxx c++)
  get_filename_component(extension "${arg_OUTPUT}" LAST_EXT)
  string(TOLOWER "${extension}" extension)
  string(REGEX REPLACE "^\\." "" extension "${extension}")
  set(declaring_header FALSE)
  if(NOT arg_RAW AND extension IN_LIST c_extensions)
    set(declaring_header TRUE)
  endif()
  get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
  _quarlex_embed_c_flavour("${arg_OUTPUT}" c_flavour)
  if(NOT declaring_header AND NOT arg_RAW AND NOT c_flavour AND NOT languages MATCHES "(^|;)ASM")
    # The tool would write its assembler flavour, which a C or C++ source
    # cannot include: the compiler would fail later on the first '@' or DB.
    message(FATAL_ERROR
      "quarlex_embed: OUTPUT ${arg_OUTPUT}: the extension '${extension}' is no C or C++ header's, "
      "and the tool would write assembler into it. Name a header (.h, .hpp, .hxx, .inl, ...), "
      "or add RAW for the tool's own assembler include file")
  endif()
  if(DEFINED arg_ALIGN)
    if(NOT arg_ALIGN MATCHES "^[0-9]+$")
      message(FATAL_ERROR "quarlex_embed: ALIGN ${arg_ALIGN} is not a number of bytes")
    endif()
    math(EXPR below "${arg_ALIGN} & (${arg_ALIGN} - 1)")
    if(arg_ALIGN EQUAL 0 OR NOT below EQUAL 0)
      message(FATAL_ERROR "quarlex_embed: ALIGN ${arg_ALIGN} is not a power of two (1, 2, 4, ... 64 ...)")
    endif()
  endif()
  foreach(option ALIGN CONST METHOD)
    if(DEFINED arg_${option} AND NOT arg_${option} STREQUAL "AUTO" AND arg_${option}
       AND NOT declaring_header)
      message(FATAL_ERROR
        "quarlex_embed: ${option} needs a C/C++ header as OUTPUT, not RAW or '${arg_OUTPUT}'")
    endif()
  endforeach()

  # Built in this tree, the tool is a real target: depending on it by name
  # also regenerates the file when the tool is rebuilt. Installed, it is an
  # imported file.
  if(NOT TARGET Quarlex::quarlex)
    message(FATAL_ERROR "quarlex_embed: the target Quarlex::quarlex is missing")
  endif()
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

  # The data is compiled as C where the project has C, else as C++.
  if("C" IN_LIST languages)
    set(language C)
    set(definition_extension c)
  else()
    set(language CXX)
    set(definition_extension cpp)
  endif()
  _quarlex_embed_ways(${language} ways)
  # The compiler names an #embed file in the object's dependency file, and
  # Ninja reads a name there only up to any of these characters: the rest
  # would be taken for files that never exist, and the object rebuilt every
  # time. The other ways do not name the file there.
  set(embed_need)
  if(source MATCHES "([\"'&*<>?^`])")
    set(embed_need "no #embed of a file whose name holds '${CMAKE_MATCH_1}', which dependency files cannot carry")
    list(REMOVE_ITEM ways EMBED)
  endif()
  if(arg_METHOD STREQUAL "AUTO")
    list(GET ways 0 method)
  elseif(arg_METHOD IN_LIST ways)
    set(method ${arg_METHOD})
  else()
    string(REPLACE ";" ", " taken "${ways}")
    _quarlex_embed_way_need(${arg_METHOD} need)
    if(arg_METHOD STREQUAL "EMBED" AND embed_need)
      set(need "${embed_need}")
    endif()
    message(FATAL_ERROR
      "quarlex_embed: METHOD ${arg_METHOD} for ${source_name}: the ${language} compiler "
      "${CMAKE_${language}_COMPILER_ID} ${CMAKE_${language}_COMPILER_VERSION} has ${need}; "
      "it takes ${taken}")
  endif()

  # The generated files, in a folder of their own beside the header.
  get_filename_component(data "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${base_dir}/.quarlex_data")
  get_filename_component(data_dir "${data}" DIRECTORY)
  set(definition "${data}.${definition_extension}")
  string(MAKE_C_IDENTIFIER "QUARLEX_EMBED_${target}_${arg_OUTPUT}" guard)
  string(TOUPPER "${guard}" guard)
  set(const OFF)
  if(arg_CONST)
    set(const ON)
  endif()
  set(generate
    "${CMAKE_COMMAND}" "-DFILE=${source}" "-DHEADER=${output}" "-DSOURCE=${definition}"
    "-DLABEL=${label}" "-DMETHOD=${method}" "-DALIGN=${arg_ALIGN}" "-DCONST=${const}"
    "-DGUARD=${guard}")
  set(outputs "${definition}")
  set(tool_commands)
  set(tool_dependency)
  if(method STREQUAL "TEXT")
    # The tool's C include file; its name ends in .h whatever OUTPUT's
    # extension, so that the tool writes its C flavour.
    set(text_data "${data}.h")
    list(APPEND generate "-DTEXT_DATA=${text_data}")
    list(APPEND outputs "${text_data}")
    set(tool_commands
      COMMAND "$<TARGET_FILE:Quarlex::quarlex>" "${source_name}" "${text_data}" ${label_argument})
    set(tool_dependency "${tool_target}")
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    BYPRODUCTS "${output}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${data_dir}" "${output_dir}"
    ${tool_commands}
    COMMAND ${generate} -P "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuarlexEmbedGenerate.cmake"
    WORKING_DIRECTORY "${source_dir}"
    DEPENDS "${source}" ${tool_dependency} ${scripts}
    COMMENT "Embedding ${source_name} in ${arg_OUTPUT} (${method})"
    VERBATIM)
  # Compilers do not name an .incbin or #embed file among an object's
  # dependencies, so the object depends on it here. The data's own source
  # may draw warnings that are no concern of the target's (an empty array,
  # a last line without a line end, #embed before C23).
  set_source_files_properties("${definition}" TARGET_DIRECTORY ${target} PROPERTIES
    OBJECT_DEPENDS "${source}"
    COMPILE_OPTIONS "$<IF:$<OR:$<C_COMPILER_ID:MSVC>,$<CXX_COMPILER_ID:MSVC>>,/w,-w>")
  target_sources(${target} PRIVATE "${output}" "${definition}")
  target_include_directories(${target} PRIVATE "${base_dir}")
endfunction()
