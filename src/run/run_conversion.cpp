#include "run/run_conversion.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/file_facts.h"
#include "platform/file_place.h"
#include "platform/standard_streams.h"
#include "run/label_rules.h"
#include "run/messages.h"
#include "run/progress.h"
#include "run/source_stream.h"
#include "run/stamp_time.h"
#include "text/include_output.h"
#include "write/output_file.h"

namespace quarlex {
namespace {

constexpr int SUCCESS_STATUS = 0;
constexpr int FAILURE_STATUS = 1;

constexpr int SOURCE_ARGUMENT = 1;
constexpr int OUTPUT_ARGUMENT = 2;
constexpr int LABEL_ARGUMENT = 3;

// Holds the header or the closing text; it grows for long paths and labels.
constexpr std::size_t LINE_BUFFER_BYTES = 2048;

static_assert(READ_BLOCK % LINE_BYTES == 0,
              "a full block must cut into whole lines, so only the last line is short");

enum class RunOutcome {
  Converted,
  TooFewArguments,
  BadSourceDateEpoch,
  SourceUnopenable,
  SameFile,
  OutputUnopenable,
  ArgumentsSwapped,
  ScratchUnmakeable,
  ScratchUnmakeableElsewhere,  // in the folder of nameless scratch files
  ReadFailed,
  ScratchWriteFailed,  // a scratch file in that folder
  WriteFailed,
  CloseFailed,
  ReplaceFailed,
  OutOfMemory,
};

struct RunResult {
  RunOutcome outcome;
  int error = 0;  // the system's reason, where it gave one
};

struct RunArguments {
  const char* source_path;
  const char* output_path;
  const char* label_text;         // the label argument, or else the source path
  const char* source_date_epoch;  // the variable's text, read once; nullptr if unset
};

DataLineForm first_line_form(OutputFlavour flavour) {
  return flavour == OutputFlavour::CSource ? DataLineForm::CFirstLine : DataLineForm::AsmLine;
}

RunResult output_failure(const OutputStream& output) {
  return {output.failed_at_close() ? RunOutcome::CloseFailed : RunOutcome::WriteFailed,
          output.error()};
}

RunResult install_failure(const OutputFile::Installing& installing) {
  switch (installing.failed) {
    case OutputFile::Step::None:
      break;
    case OutputFile::Step::Replace:
      return {RunOutcome::ReplaceFailed, installing.error};
    case OutputFile::Step::Write:
      return {RunOutcome::WriteFailed, installing.error};
    case OutputFile::Step::Close:
      return {RunOutcome::CloseFailed, installing.error};
  }
  return {RunOutcome::Converted};
}

// Converts every byte of the source into data lines and adds their number
// to `byte_count`.
RunResult convert_data(SourceBlocks& blocks, OutputStream& output, OutputFlavour flavour,
                       Progress& progress, std::uint64_t& byte_count) {
  DataLineForm form = first_line_form(flavour);
  for (;;) {
    const BlockRead read = blocks.next();
    // A failed read ends the run before its block is converted: without the
    // closing text the file cannot pass for a complete one.
    if (read.error != 0) return {RunOutcome::ReadFailed, read.error};
    byte_count += read.size;
    if (!append_data_lines(output, blocks.data(), read.size, form)) return output_failure(output);
    progress.update(byte_count);
    if (read.size < READ_BLOCK) return {RunOutcome::Converted};
  }
}

// Whether SOURCE and OUTPUT look the wrong way round: SOURCE is one of this
// tool's include files, and converting it would replace a file with data
// of its own (the image the include file was made from, say). Reads the
// source's first block only where OUTPUT holds such data.
bool arguments_look_swapped(const OutputFile& output_file, SourceBlocks& blocks,
                            RunResult& failure) {
  std::array<char, INCLUDE_FILE_MARK_BYTES> start{};
  const std::size_t got = output_file.existing_start(start.data(), start.size());
  if (got == 0 || starts_like_include_file({start.data(), got})) return false;
  const BlockRead first = blocks.peek_first();
  if (first.error != 0) {
    failure = {RunOutcome::ReadFailed, first.error};
    return false;
  }
  return starts_like_include_file(
      {reinterpret_cast<const char*>(blocks.data()), static_cast<std::size_t>(first.size)});
}

// Writes the whole include file to `output`, the source's blocks read to
// their end, and closes it.
RunResult write_include_file(OutputStream& output, SourceBlocks& blocks, SourceFile& source,
                             const RunArguments& arguments, const LocalTime& stamp,
                             const FileFacts& source_facts) {
  const std::string label = derive_label(arguments.label_text);
  const OutputFlavour flavour = choose_flavour(arguments.output_path);

  std::string line_buffer;
  line_buffer.reserve(LINE_BUFFER_BYTES);
  compose_header(line_buffer, flavour, arguments.source_path, label, stamp);
  if (!output.write(line_buffer)) return output_failure(output);

  std::uint64_t byte_count = 0;
  {
    Progress progress(standard_error_is_terminal(),
                      source_facts.kind == FileKind::Regular ? source_facts.size : 0);
    const RunResult data = convert_data(blocks, output, flavour, progress, byte_count);
    if (data.outcome != RunOutcome::Converted) return data;
  }
  source.reset();

  compose_size_equate(line_buffer, flavour, label, byte_count);
  if (!output.write(line_buffer) || !output.close()) return output_failure(output);
  return {RunOutcome::Converted};
}

RunResult convert(const RunArguments& arguments, const ClosedAtStart& closed) {
  // Checked first: a run that cannot stamp its header as asked must not
  // touch the output.
  const std::optional<LocalTime> stamp = stamp_time(arguments.source_date_epoch);
  if (!stamp) return {RunOutcome::BadSourceDateEpoch};

  SourceFile source = open_source(arguments.source_path);
  if (!source) return {RunOutcome::SourceUnopenable, errno};
  const int source_descriptor = descriptor_of(source.get());
  const FileFacts source_facts = descriptor_facts(source_descriptor);
  // Reading a directory fails only at the first read on some systems; by
  // then the output would already be written.
  if (source_facts.kind == FileKind::Directory) return {RunOutcome::SourceUnopenable, EISDIR};

  // How OUTPUT is written is decided here, from what it and its folder
  // are, before anything is written.
  OutputFile output_file(arguments.output_path, closed);
  // Writing the output would replace the source, or read the run's own
  // output back.
  if (output_file.is_file_of(source_descriptor)) return {RunOutcome::SameFile};
  if (output_file.way() == OutputWay::Refused)
    return {RunOutcome::OutputUnopenable, output_file.error()};
  SourceBlocks blocks(source.get());
  RunResult failure{RunOutcome::Converted};
  if (arguments_look_swapped(output_file, blocks, failure)) return {RunOutcome::ArgumentsSwapped};
  if (failure.outcome != RunOutcome::Converted) return failure;

  const OutputFile::Opening opened = output_file.open();
  if (opened.descriptor == -1 && opened.scratch_failed)
    return {opened.scratch_elsewhere ? RunOutcome::ScratchUnmakeableElsewhere
                                     : RunOutcome::ScratchUnmakeable,
            opened.error};
  if (opened.descriptor == -1) return {RunOutcome::OutputUnopenable, opened.error};
  {
    // Closed before the scratch file goes.
    OutputStream output(opened.sink());
    const RunResult written =
        write_include_file(output, blocks, source, arguments, *stamp, source_facts);
    // Where the text goes into a scratch file in another folder, the
    // fault of a write is that folder's.
    const bool stream_failed =
        written.outcome == RunOutcome::WriteFailed || written.outcome == RunOutcome::CloseFailed;
    if (stream_failed && opened.scratch_elsewhere)
      return {RunOutcome::ScratchWriteFailed, written.error};
    if (written.outcome != RunOutcome::Converted) return written;
  }
  return install_failure(output_file.install());
}

// The one place where outcomes become messages and exit statuses: the
// fixed message on standard output, as it always was, and the reason on
// standard error.
int report(const RunResult& result, const RunArguments& arguments) {
  switch (result.outcome) {
    case RunOutcome::Converted:
      return SUCCESS_STATUS;
    case RunOutcome::TooFewArguments:
      print_message(Message::Usage);
      break;
    case RunOutcome::BadSourceDateEpoch:
      print_reason(Failure::BadSourceDateEpoch, arguments.source_date_epoch, 0);
      break;
    case RunOutcome::SourceUnopenable:
      print_message(Message::SourceUnopenable);
      print_reason(Failure::OpenSource, arguments.source_path, result.error);
      break;
    case RunOutcome::SameFile:
      print_message(Message::SameFile);
      print_reason(Failure::SameFile, arguments.source_path, 0, arguments.output_path);
      break;
    case RunOutcome::OutputUnopenable:
      print_message(Message::OutputUnopenable);
      print_reason(Failure::OpenOutput, arguments.output_path, result.error);
      break;
    case RunOutcome::ArgumentsSwapped:
      print_message(Message::OutputUnopenable);
      print_reason(Failure::Swapped, arguments.output_path, 0, arguments.source_path);
      break;
    case RunOutcome::ScratchUnmakeable:
      print_message(Message::OutputUnopenable);
      print_reason(Failure::CreateScratch, arguments.output_path, result.error);
      break;
    case RunOutcome::ScratchUnmakeableElsewhere:
      print_message(Message::OutputUnopenable);
      print_reason(Failure::CreateScratchIn, nameless_scratch_folder(), result.error,
                   arguments.output_path);
      break;
    case RunOutcome::ScratchWriteFailed:
      print_reason(Failure::WriteScratchIn, nameless_scratch_folder(), result.error,
                   arguments.output_path);
      break;
    case RunOutcome::ReadFailed:
      print_reason(Failure::Read, arguments.source_path, result.error);
      break;
    case RunOutcome::WriteFailed:
      print_reason(Failure::Write, arguments.output_path, result.error);
      break;
    case RunOutcome::CloseFailed:
      print_reason(Failure::Close, arguments.output_path, result.error);
      break;
    case RunOutcome::ReplaceFailed:
      print_reason(Failure::Replace, arguments.output_path, result.error);
      break;
    case RunOutcome::OutOfMemory:
      print_reason(Failure::Memory, arguments.source_path, ENOMEM, arguments.output_path);
      break;
  }
  return FAILURE_STATUS;
}

}  // namespace

int run_conversion(int argc, const char* const* argv) {
  // Before anything is opened: no file of the run may take the number of a
  // closed standard descriptor.
  const ClosedAtStart closed = hold_standard_descriptors_open();
  if (argc <= OUTPUT_ARGUMENT) return report({RunOutcome::TooFewArguments}, {});
  const RunArguments arguments{argv[SOURCE_ARGUMENT], argv[OUTPUT_ARGUMENT],
                               argc > LABEL_ARGUMENT ? argv[LABEL_ARGUMENT] : argv[SOURCE_ARGUMENT],
                               std::getenv(SOURCE_DATE_EPOCH)};
  RunResult result{RunOutcome::Converted};
  try {
    result = convert(arguments, closed);
  } catch (const std::bad_alloc&) {
    // The run's files are closed and its scratch file removed on the way
    // out of convert(); what is left is to say so without memory.
    result = {RunOutcome::OutOfMemory, ENOMEM};
  }
  return report(result, arguments);
}

}  // namespace quarlex
