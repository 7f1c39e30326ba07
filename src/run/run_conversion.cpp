#include "run/run_conversion.h"

#include <cstdint>
#include <memory>
#include <string>

#include "run/file_identity.h"
#include "run/label_rules.h"
#include "run/messages.h"
#include "run/source_stream.h"
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
  SourceUnopenable,
  SameFile,
  OutputUnopenable,
  ReadFailed,
  WriteFailed,
};

struct RunArguments {
  const char* source_path;
  const char* output_path;
  const char* label_text;  // the label argument, or else the source path
};

DataLineForm first_line_form(OutputFlavour flavour) {
  return flavour == OutputFlavour::CSource ? DataLineForm::CFirstLine : DataLineForm::AsmLine;
}

// Converts every byte of `source` into data lines and adds their number to
// `byte_count`.
RunOutcome convert_data(std::FILE* source, OutputStream& output, OutputFlavour flavour,
                        std::uint64_t& byte_count) {
  const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(READ_BLOCK);
  DataLineForm form = first_line_form(flavour);
  for (;;) {
    const BlockRead read = read_block(source, block.get());
    // A failed read ends the run before its block is converted: without the
    // closing text the file cannot pass for a complete one.
    if (read.failed) return RunOutcome::ReadFailed;
    byte_count += read.size;
    if (!append_data_lines(output, block.get(), read.size, form)) return RunOutcome::WriteFailed;
    if (read.size < READ_BLOCK) return RunOutcome::Converted;
  }
}

RunOutcome convert(const RunArguments& arguments) {
  SourceFile source = open_source(arguments.source_path);
  // Reading a directory fails only at the first read on some systems; by
  // then the output would already be emptied.
  if (!source || is_directory(arguments.source_path)) return RunOutcome::SourceUnopenable;
  // Opening the output empties it, so converting a file into itself would
  // destroy the source before a byte of it was read.
  if (same_file(arguments.source_path, arguments.output_path)) return RunOutcome::SameFile;
  // Into a regular file the text goes to a scratch file first, which
  // replaces the old file only once complete: a run that fails or is
  // interrupted leaves the old file as it was, never a cut one.
  const OutputOpening opened = open_output_file(arguments.output_path);
  if (opened.file == nullptr) return RunOutcome::OutputUnopenable;
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
  compose_header(line_buffer, flavour, arguments.source_path, label, read_local_time());
  if (!output.write(line_buffer)) return RunOutcome::WriteFailed;

  std::uint64_t byte_count = 0;
  const RunOutcome data_outcome = convert_data(source.get(), output, flavour, byte_count);
  if (data_outcome != RunOutcome::Converted) return data_outcome;
  source.reset();

  compose_size_equate(line_buffer, flavour, label, byte_count);
  if (!output.write(line_buffer) || !output.close()) return RunOutcome::WriteFailed;
  if (opened.file->install() != 0) return RunOutcome::WriteFailed;
  return RunOutcome::Converted;
}

// The one place where outcomes become messages and exit statuses.
int report(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Converted:
      return SUCCESS_STATUS;
    case RunOutcome::TooFewArguments:
      print_message(Message::Usage);
      break;
    case RunOutcome::SourceUnopenable:
      print_message(Message::SourceUnopenable);
      break;
    case RunOutcome::SameFile:
      print_message(Message::SameFile);
      break;
    case RunOutcome::OutputUnopenable:
      print_message(Message::OutputUnopenable);
      break;
    case RunOutcome::ReadFailed:
    case RunOutcome::WriteFailed:
      break;
  }
  return FAILURE_STATUS;
}

}  // namespace

int run_conversion(int argc, const char* const* argv) {
  if (argc <= OUTPUT_ARGUMENT) return report(RunOutcome::TooFewArguments);
  const RunArguments arguments{
      argv[SOURCE_ARGUMENT], argv[OUTPUT_ARGUMENT],
      argc > LABEL_ARGUMENT ? argv[LABEL_ARGUMENT] : argv[SOURCE_ARGUMENT]};
  return report(convert(arguments));
}

}  // namespace quarlex
