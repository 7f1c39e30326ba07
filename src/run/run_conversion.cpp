#include "run/run_conversion.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/standard_streams.h"
#include "run/file_identity.h"
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
  ReadFailed,
  WriteFailed,
  CloseFailed,
  ReplaceFailed,
};

struct RunResult {
  RunOutcome outcome;
  int error = 0;  // the system's reason, where it gave one
};

struct RunArguments {
  const char* source_path;
  const char* output_path;
  const char* label_text;  // the label argument, or else the source path
};

DataLineForm first_line_form(OutputFlavour flavour) {
  return flavour == OutputFlavour::CSource ? DataLineForm::CFirstLine : DataLineForm::AsmLine;
}

RunResult output_failure(const OutputStream& output) {
  return {output.failed_at_close() ? RunOutcome::CloseFailed : RunOutcome::WriteFailed,
          output.error()};
}

// Converts every byte of `source` into data lines and adds their number to
// `byte_count`.
RunResult convert_data(std::FILE* source, OutputStream& output, OutputFlavour flavour,
                       Progress& progress, std::uint64_t& byte_count) {
  const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(READ_BLOCK);
  DataLineForm form = first_line_form(flavour);
  for (;;) {
    const BlockRead read = read_block(source, block.get());
    // A failed read ends the run before its block is converted: without the
    // closing text the file cannot pass for a complete one.
    if (read.error != 0) return {RunOutcome::ReadFailed, read.error};
    byte_count += read.size;
    if (!append_data_lines(output, block.get(), read.size, form)) return output_failure(output);
    progress.update(byte_count);
    if (read.size < READ_BLOCK) return {RunOutcome::Converted};
  }
}

RunResult convert(const RunArguments& arguments) {
  // Checked first: a run that cannot stamp its header as asked must not
  // touch the output.
  const std::optional<LocalTime> stamp = stamp_time(std::getenv(SOURCE_DATE_EPOCH));
  if (!stamp) return {RunOutcome::BadSourceDateEpoch};

  SourceFile source = open_source(arguments.source_path);
  if (!source) return {RunOutcome::SourceUnopenable, errno};
  // Reading a directory fails only at the first read on some systems; by
  // then the output would already be written.
  if (is_directory(arguments.source_path)) return {RunOutcome::SourceUnopenable, EISDIR};
  // Writing the output would destroy the source before a byte of it was
  // read, or read the run's own output back.
  if (same_file(arguments.source_path, arguments.output_path)) return {RunOutcome::SameFile};
  // Into a regular file the text goes to a scratch file first, which
  // replaces the old file only once complete: a run that fails or is
  // interrupted leaves the old file as it was, never a cut one.
  const OutputOpening opened = open_output_file(arguments.output_path);
  if (opened.file == nullptr) return {RunOutcome::OutputUnopenable, opened.error};
  // Into a file on disk, handing the text to the page cache costs the
  // kernel more time than composing it costs us, so a second thread does it
  // alongside. A device or pipe gains nothing worth the hand-overs. Declared
  // after the output file, so that its stream is closed before the scratch
  // file goes.
  OutputStream output(opened.file->stream(),
                      opened.file->on_disk() ? ChunkWriting::InBackground : ChunkWriting::AtOnce);

  const std::string label = derive_label(arguments.label_text);
  const OutputFlavour flavour = choose_flavour(arguments.output_path);

  std::string line_buffer;
  line_buffer.reserve(LINE_BUFFER_BYTES);
  compose_header(line_buffer, flavour, arguments.source_path, label, *stamp);
  if (!output.write(line_buffer)) return output_failure(output);

  std::uint64_t byte_count = 0;
  {
    Progress progress(standard_error_is_terminal(), known_source_size(arguments.source_path));
    const RunResult data = convert_data(source.get(), output, flavour, progress, byte_count);
    if (data.outcome != RunOutcome::Converted) return data;
  }
  source.reset();

  compose_size_equate(line_buffer, flavour, label, byte_count);
  if (!output.write(line_buffer) || !output.close()) return output_failure(output);
  if (const int error = opened.file->install(); error != 0)
    return {RunOutcome::ReplaceFailed, error};
  return {RunOutcome::Converted};
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
      print_reason(Failure::BadSourceDateEpoch, std::getenv(SOURCE_DATE_EPOCH), 0);
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
  }
  return FAILURE_STATUS;
}

}  // namespace

int run_conversion(int argc, const char* const* argv) {
  if (argc <= OUTPUT_ARGUMENT) return report({RunOutcome::TooFewArguments}, {});
  const RunArguments arguments{
      argv[SOURCE_ARGUMENT], argv[OUTPUT_ARGUMENT],
      argc > LABEL_ARGUMENT ? argv[LABEL_ARGUMENT] : argv[SOURCE_ARGUMENT]};
  return report(convert(arguments), arguments);
}

}  // namespace quarlex
