#include "run/messages.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "scratch_folder.h"

namespace quarlex {
namespace {

// What `print` writes to the standard descriptor `descriptor`, caught in a
// file of the test's own.
std::string caught(int descriptor, const std::function<void()>& print) {
  const support::ScratchFolder folder;
  const std::string path = (folder / "caught").string();
  std::fflush(nullptr);
  const int saved = ::dup(descriptor);
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(file, descriptor);
  ::close(file);
  print();
  std::fflush(nullptr);
  ::dup2(saved, descriptor);
  ::close(saved);
  return support::read_file(path);
}

TEST(Messages, FixedMessagesEndInCrLf) {
  const struct {
    Message message;
    const char* text;
  } cases[] = {
      {Message::SourceUnopenable, "Could not open source file\r\n"},
      {Message::OutputUnopenable, "Could not open output file\r\n"},
      {Message::SameFile, "Source and output are the same file\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(caught(STDOUT_FILENO, [&] { print_message(c.message); }), c.text);
  }
  const std::string usage = caught(STDOUT_FILENO, [] { print_message(Message::Usage); });
  EXPECT_TRUE(usage.starts_with("QUARLEX 1.5 interprets any binary file and writes an\r\n"));
  EXPECT_NE(usage.find("\r\n  QUARLEX source.bin output.inc [label name]\r\n"), std::string::npos);
  EXPECT_TRUE(usage.ends_with("Mail: quarlex@example.org\r\n"));
}

TEST(Messages, ReasonsNameWhatFailedTheFileAndWhy) {
  const struct {
    Failure failure;
    const char* file;
    int error;
    const char* other;
    const char* line;
  } cases[] = {
      {Failure::OpenSource, "x.bin", ENOENT, "",
       "quarlex: cannot open source file 'x.bin': No such file or directory\n"},
      {Failure::OpenOutput, "o.h", EACCES, "",
       "quarlex: cannot open output file 'o.h': Permission denied\n"},
      {Failure::SameFile, "a", 0, "./a",
       "quarlex: cannot convert 'a' into './a': they are the same file\n"},
      {Failure::Swapped, "logo.png", 0, "logo.h",
       "quarlex: cannot open output file 'logo.png': the arguments look swapped: 'logo.h' is an "
       "include file of this tool and 'logo.png' is not\n"},
      {Failure::CreateScratch, "o.h", ENOSPC, "",
       "quarlex: cannot create a scratch file for 'o.h': No space left on device\n"},
      {Failure::CreateScratchIn, "/gone", ENOENT, "o.h",
       "quarlex: cannot create a scratch file in '/gone' for 'o.h': No such file or directory\n"},
      {Failure::WriteScratchIn, "/tmp", ENOSPC, "o.h",
       "quarlex: cannot write a scratch file in '/tmp' for 'o.h': No space left on device\n"},
      {Failure::Read, "s", EIO, "", "quarlex: cannot read 's': Input/output error\n"},
      {Failure::Write, "o.h", EFBIG, "", "quarlex: cannot write 'o.h': File too large\n"},
      {Failure::Close, "o.h", EIO, "", "quarlex: cannot close 'o.h': Input/output error\n"},
      {Failure::Replace, "o.h", EISDIR, "", "quarlex: cannot replace 'o.h': Is a directory\n"},
      {Failure::Memory, "s", ENOMEM, "o.h",
       "quarlex: cannot convert 's' into 'o.h': Cannot allocate memory\n"},
      {Failure::BadSourceDateEpoch, "1e9", 0, "",
       "quarlex: SOURCE_DATE_EPOCH is not a whole number of seconds from 0 to 253402300799: "
       "'1e9'\n"},
      // A line break in a name would start a line of its own.
      {Failure::Read, "a\nb\x7f", EIO, "", "quarlex: cannot read 'a?b?': Input/output error\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(caught(STDERR_FILENO, [&] { print_reason(c.failure, c.file, c.error, c.other); }),
              c.line);
  }
}

// Composed without memory of its own: a name too long for the line is cut,
// and the line still ends.
TEST(Messages, AReasonLongerThanItsRoomIsCutAndEnds) {
  const std::string name(2 * REASON_LINE_BYTES, 'n');
  const std::string line = caught(STDERR_FILENO, [&] { print_reason(Failure::Write, name, EIO); });
  EXPECT_EQ(line.size(), REASON_LINE_BYTES);
  EXPECT_TRUE(line.starts_with("quarlex: cannot write 'nnn"));
  EXPECT_TRUE(line.ends_with("nnn\n"));
}

}  // namespace
}  // namespace quarlex
