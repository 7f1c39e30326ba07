// Windows paths, run only where the tool is the Windows build under Wine:
// QUARLEX_WINDOWS_DRIVE_C names the Unix folder behind drive C:.

#include <gtest/gtest.h>

#include <cstdlib>

#include "cli_support.h"

namespace quarlex::cli {
namespace {

TEST(Windows, DriveLetterAndBackslashesGiveTheLabelOfTheFileName) {
  const char* drive_c = std::getenv("QUARLEX_WINDOWS_DRIVE_C");
  if (drive_c == nullptr) GTEST_SKIP() << "not testing a Windows build";
  const fs::path data = fs::path(drive_c) / "data";
  fs::create_directories(data);
  const std::string bytes = sample_bytes(17);
  write_file(data / "logo image.bmp", bytes);

  ScratchFolder dir;
  const std::string source = "C:\\data\\logo image.bmp";
  for (const char* output : {"logo.inc", "logo.h"}) {
    SCOPED_TRACE(output);
    const ToolRun run = run_quarlex(dir.path(), {source, output});
    EXPECT_EQ(run.status, 0);
    const Flavour flavour =
        std::string(output).ends_with(".h") ? Flavour::CSource : Flavour::Assembly;
    EXPECT_EQ(mask_date_line(read_file(dir / output)),
              include_file(flavour, source, "logo_image_bmp", bytes));
  }
  fs::remove_all(data);
}

}  // namespace
}  // namespace quarlex::cli
