// End-to-end conversions by the built executable, compared byte for byte
// with include files built the plain way.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <regex>
#include <thread>

#include "cli_support.h"

namespace quarlex::cli {
namespace {

TEST(Conversion, WholeOutputMatchesAtEveryBoundarySize) {
  ScratchFolder dir;
  const std::size_t sizes[] = {0, 1, 15, 16, 17, 65535, 65536, 65537, 3 * 65536 + 5};
  const struct {
    const char* output;
    Flavour flavour;
  } outputs[] = {{"out.inc", Flavour::Assembly}, {"out.h", Flavour::CSource}};
  for (std::size_t size : sizes) {
    const std::string bytes = sample_bytes(size);
    write_file(dir / "data.bin", bytes);
    for (const auto& output : outputs) {
      SCOPED_TRACE(std::to_string(size) + " bytes into " + output.output);
      const ToolRun run = run_quarlex(dir.path(), {"data.bin", output.output, "blob"});
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.printed, "");
      EXPECT_EQ(run.errors, "");
      EXPECT_EQ(mask_date_line(read_file(dir / output.output)),
                include_file(output.flavour, "data.bin", "blob", bytes));
    }
  }
}

TEST(Conversion, EmptyCSourceEndsRightAfterTheDeclaration) {
  ScratchFolder dir;
  write_file(dir / "empty", "");
  ASSERT_EQ(run_quarlex(dir.path(), {"empty", "x.h", "x"}).status, 0);
  EXPECT_TRUE(
      read_file(dir / "x.h").ends_with("*/\r\nunsigned char x[ ] = {\r\n};\r\n#define _x  0"));
}

TEST(Conversion, SeventeenBytesGiveTheDocumentedCLines) {
  ScratchFolder dir;
  write_file(dir / "s", "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11");
  ASSERT_EQ(run_quarlex(dir.path(), {"s", "x.h", "x"}).status, 0);
  EXPECT_TRUE(read_file(dir / "x.h")
                  .ends_with("unsigned char x[ ] = {\r\n"
                             "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\r\n"
                             ",17\r\n"
                             "};\r\n"
                             "#define _x  17"));
}

TEST(Conversion, LabelComesFromTheArgumentOrTheSourcePath) {
  ScratchFolder dir;
  write_file(dir / "logo image.bmp", "\x00\x80\xff");
  const struct {
    std::vector<std::string> arguments;
    const char* label;
  } cases[] = {
      {{"logo image.bmp", "a.inc"}, "logo_image_bmp"},
      {{"logo image.bmp", "a.inc", "my label"}, "my_label"},
      {{"logo image.bmp", "a.inc", ""}, "quarlex"},
      {{"logo image.bmp", "a.inc", "first", "second", "third"}, "first"},
      {{"./logo image.bmp", "a.inc"}, "__logo_image_bmp"},
      {{"logo image.bmp", "a.inc", "C:\\data\\x y"}, "x_y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const ToolRun run = run_quarlex(dir.path(), c.arguments);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.printed + run.errors, "");
    EXPECT_EQ(mask_date_line(read_file(dir / "a.inc")),
              include_file(Flavour::Assembly, c.arguments[0], c.label, "\x00\x80\xff"));
  }
}

// Works inside `directory` until it goes, so that paths relative to it may
// be as long as the system allows.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& directory) : previous_(fs::current_path()) {
    fs::current_path(directory);
  }
  ~WorkingDirectory() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

TEST(Conversion, LongLabelsAndPathsAreKeptInFull) {
  ScratchFolder dir;
  const std::string bytes = sample_bytes(40);
  // A path of 4,095 bytes, the longest Linux opens, made of names of the
  // longest allowed length, so that the header and the closing text both
  // outgrow any small fixed buffer.
  constexpr std::size_t LONGEST_NAME = 255;
  constexpr std::size_t PATH_LIMIT = 4095;
  std::string relative;
  {
    const WorkingDirectory inside(dir.path());
    for (char level = 'a'; relative.size() + 2 * LONGEST_NAME + 1 <= PATH_LIMIT; ++level) {
      relative += std::string(LONGEST_NAME, level) + "/";
      fs::create_directory(relative);
    }
    relative += std::string(PATH_LIMIT - relative.size() - 4, 'z') + ".bin";
    write_file(relative, bytes);
  }
  ASSERT_EQ(relative.size(), PATH_LIMIT);
  for (std::size_t label_length : {2047u, 2048u, 100000u}) {
    SCOPED_TRACE(label_length);
    const std::string label(label_length, 'L');
    const ToolRun run = run_quarlex(dir.path(), {relative, "out.h", label});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(mask_date_line(read_file(dir / "out.h")),
              include_file(Flavour::CSource, relative, label, bytes));
  }
  // Without a label the whole path becomes one, slashes and all.
  ASSERT_EQ(run_quarlex(dir.path(), {relative, "out.inc"}).status, 0);
  std::string label = relative;
  for (char& c : label)
    if (c == '/' || c == '.') c = '_';
  EXPECT_EQ(mask_date_line(read_file(dir / "out.inc")),
            include_file(Flavour::Assembly, relative, label, bytes));
}

TEST(Conversion, DateStampFollowsTheTimeZone) {
  ScratchFolder dir;
  write_file(dir / "d", "x");
  const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // 14 hours east of UTC: the stamp must differ from one taken in UTC.
  const struct {
    const char* tz;
    int offset_hours;
  } zones[] = {{"UTC0", 0}, {"QRX-14", 14}};
  for (const auto& zone : zones) {
    SCOPED_TRACE(zone.tz);
    std::vector<std::string> acceptable;
    const std::time_t before = std::time(nullptr);
    // Unset or empty, SOURCE_DATE_EPOCH leaves the local time.
    const std::string unset_or_empty =
        zone.offset_hours == 0 ? "unset SOURCE_DATE_EPOCH;" : "SOURCE_DATE_EPOCH=";
    const ToolRun run = run_quarlex(dir.path(), {"d", "d.inc"}, unset_or_empty + " TZ=" + zone.tz);
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(run.status, 0);
    for (std::time_t t = before; t <= after + 1; ++t) {
      const std::time_t shifted = t + zone.offset_hours * 3600;
      std::tm parts{};
      gmtime_r(&shifted, &parts);
      char minute[3];
      std::snprintf(minute, sizeof minute, "%02d", parts.tm_min);
      acceptable.push_back("; Date: " + std::string(months[parts.tm_mon]) + " " +
                           std::to_string(parts.tm_mday) + " " +
                           std::to_string(parts.tm_year + 1900) + " at " +
                           std::to_string(parts.tm_hour) + ":" + minute + "\r\n");
    }
    const std::string text = read_file(dir / "d.inc");
    bool found = false;
    for (const std::string& line : acceptable)
      found = found || text.find(line) != std::string::npos;
    EXPECT_TRUE(found) << text;
  }
}

// A fixed SOURCE_DATE_EPOCH gives the same file in every time zone, with
// that moment in UTC in the header.
TEST(Conversion, SourceDateEpochGivesIdenticalFilesInEveryTimeZone) {
  ScratchFolder dir;
  write_file(dir / "d.bin", "xyz");
  const struct {
    const char* seconds;
    const char* date_line;
  } cases[] = {{"1700000000", "Date: Nov 14 2023 at 22:13\r\n"},
               {"86399", "Date: Jan 1 1970 at 23:59\r\n"}};
  const struct {
    const char* output;
    Flavour flavour;
  } outputs[] = {{"d.h", Flavour::CSource}, {"d.inc", Flavour::Assembly}};
  for (const auto& c : cases) {
    for (const auto& o : outputs) {
      SCOPED_TRACE(std::string(c.seconds) + " into " + o.output);
      std::string first;
      for (const char* zone : {"UTC0", "QRX-14", "PST8PDT"}) {
        const ToolRun run =
            run_quarlex(dir.path(), {"d.bin", o.output},
                        std::string("TZ=") + zone + " SOURCE_DATE_EPOCH=" + c.seconds);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.printed + run.errors, "");
        const std::string text = read_file(dir / o.output);
        if (first.empty()) first = text;
        EXPECT_EQ(text, first) << "differs in " << zone;
      }
      EXPECT_NE(first.find(c.date_line), std::string::npos) << first;
      EXPECT_EQ(mask_date_line(first), include_file(o.flavour, "d.bin", "d_bin", "xyz"));
    }
  }
}

// A pipe that delivers the source a few bytes at a time must still give
// lines of 16 values; only the last line of the file may be shorter.
TEST(Conversion, SlowPipeGivesTheSameFileAsARegularSource) {
  ScratchFolder dir;
  const std::string bytes = sample_bytes(65536 + 1000);
  const auto fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    // "e": close on exec, so that no converter started later holds it open.
    std::FILE* pipe = std::fopen(fifo.c_str(), "wbe");
    if (pipe == nullptr) return;
    std::setvbuf(pipe, nullptr, _IONBF, 0);
    const std::size_t chunks[] = {1, 7, 3, 250, 13, 4096, 5};
    std::size_t written = 0;
    for (int i = 0; written < bytes.size(); ++i) {
      const std::size_t take = std::min(chunks[i % 7], bytes.size() - written);
      std::fwrite(bytes.data() + written, 1, take, pipe);
      written += take;
      if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::fclose(pipe);
  });
  const ToolRun run = run_quarlex(dir.path(), {"fifo", "out.h", "blob"});
  writer.join();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.printed + run.errors, "");
  EXPECT_EQ(mask_date_line(read_file(dir / "out.h")),
            include_file(Flavour::CSource, "fifo", "blob", bytes));
}

}  // namespace
}  // namespace quarlex::cli
