// The platform's opens and its walk along links, on real files: a link
// where a file was is never followed by an open, a name that is taken is
// never opened as new, and chains of links end where the system's do.

#include "platform/file_place.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "scratch_folder.h"

namespace quarlex {
namespace {

namespace fs = std::filesystem;
using support::ScratchFolder;
using support::write_file;

// The place of `path`, which must lead to one.
std::unique_ptr<FilePlace> place_of(const fs::path& path) {
  OutputLocation location = locate_output(path.c_str());
  EXPECT_EQ(location.error, 0);
  EXPECT_NE(location.place, nullptr);
  return std::move(location.place);
}

TEST(FilePlace, ALinkThatTookAFilesPlaceIsNeverOpened) {
  ScratchFolder dir;
  write_file(dir / "target.h", "kept");
  write_file(dir / "out.h", "old");
  const std::unique_ptr<FilePlace> place = place_of(dir / "out.h");
  // Between the look and the open, the name became a link.
  fs::remove(dir / "out.h");
  fs::create_symlink("target.h", dir / "out.h");
  int descriptor = -1;
  EXPECT_EQ(place->open_existing(descriptor), ELOOP);
  EXPECT_EQ(descriptor, -1);
  char start[4] = {};
  EXPECT_EQ(place->read_start(start, sizeof start), 0u) << "read through a link";
}

TEST(FilePlace, ANameThatIsTakenIsNeverOpenedAsNew) {
  ScratchFolder dir;
  write_file(dir / "target.h", "kept");
  fs::create_symlink("target.h", dir / "link.h");
  fs::create_symlink("nowhere.h", dir / "dangling.h");
  write_file(dir / "taken.h", "kept");
  const std::unique_ptr<FilePlace> place = place_of(dir / "new.h");
  for (const char* name : {"taken.h", "link.h", "dangling.h"}) {
    SCOPED_TRACE(name);
    int descriptor = -1;
    EXPECT_EQ(place->create_scratch(name, false, descriptor), EEXIST);
    EXPECT_EQ(descriptor, -1);
    EXPECT_EQ(place->create_scratch(name, true, descriptor), EEXIST);
    int nameless = -1;
    ASSERT_EQ(place->create_nameless_scratch(false, nameless), 0);
    EXPECT_EQ(place->link_scratch(nameless, name), EEXIST);
    ::close(nameless);
  }
  EXPECT_FALSE(fs::exists(dir / "nowhere.h")) << "a dangling link's target was made";
  EXPECT_EQ(support::read_file(dir / "target.h"), "kept");
  // The output's own name, once taken meanwhile.
  write_file(dir / "new.h", "made meanwhile");
  int descriptor = -1;
  EXPECT_EQ(place->create_new(descriptor), EEXIST);
  EXPECT_EQ(descriptor, -1);
}

TEST(FilePlace, ChainsOfLinksEndWhereTheSystemsEnd) {
  // The system follows 40 links in a row, and refuses the 41st.
  const struct {
    int links;
    int error;
  } cases[] = {{1, 0}, {39, 0}, {40, 0}, {41, ELOOP}, {42, ELOOP}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.links);
    ScratchFolder dir;
    write_file(dir / "end.h", "the end");
    std::string next = "end.h";
    for (int link = c.links; link >= 1; --link) {
      const std::string name = "link" + std::to_string(link);
      fs::create_symlink(next, dir / name);
      next = name;
    }
    const OutputLocation location = locate_output((dir / "link1").c_str());
    EXPECT_EQ(location.error, c.error);
    // What the system itself does with the chain.
    const int opened = ::open((dir / "link1").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(opened == -1 ? errno : 0, c.error);
    if (opened != -1) ::close(opened);
    if (c.error == 0) {
      ASSERT_NE(location.place, nullptr);
      EXPECT_EQ(location.place->name(), "end.h");
    }
  }
}

}  // namespace
}  // namespace quarlex
