// Generated files are only useful if compilers and assemblers take them:
// build a program around a generated file and check it gets the bytes back.

#include <gtest/gtest.h>

#include "cli_support.h"

namespace quarlex::cli {
namespace {

const char* const PRINT_EMBEDDED =
    "#include <stdio.h>\n"
    "#include \"embedded.h\"\n"
    "int main(int argc, char** argv) {\n"
    "  FILE* out = fopen(argv[argc - 1], \"wb\");\n"
    "  if (!out || fwrite(blob, 1, sizeof blob, out) != sizeof blob || fclose(out)) return 2;\n"
    "  printf(\"%lu %lu\", (unsigned long)_blob, (unsigned long)sizeof blob);\n"
    "  return 0;\n"
    "}\n";

TEST(Embed, CompilersReproduceTheSourceBytesAndSize) {
  ScratchFolder dir;
  write_file(dir / "main.c", PRINT_EMBEDDED);
  write_file(dir / "main.cpp", PRINT_EMBEDDED);
  const struct {
    const char* compiler;
    const char* program;
  } builds[] = {{QUARLEX_C_COMPILER, "main.c"}, {QUARLEX_CXX_COMPILER, "main.cpp"}};
  for (std::size_t size : {1u, 16u, 17u, 65537u}) {
    const std::string bytes = sample_bytes(size);
    write_file(dir / "source.bin", bytes);
    ASSERT_EQ(run_quarlex(dir.path(), {"source.bin", "embedded.h", "blob"}).status, 0);
    for (const auto& build : builds) {
      SCOPED_TRACE(std::string(build.program) + " with " + std::to_string(size) + " bytes");
      const std::string cd = "cd " + shell_quote(dir.path().string()) + " && ";
      ASSERT_EQ(run_shell(cd + shell_quote(build.compiler) + " -Wall -Wextra -Werror -o prog " +
                          build.program),
                0);
      ASSERT_EQ(run_shell(cd + "./prog copy.bin > printed.txt"), 0);
      EXPECT_EQ(read_file(dir / "copy.bin"), bytes);
      EXPECT_EQ(read_file(dir / "printed.txt"), std::to_string(size) + " " + std::to_string(size));
    }
  }
}

// fasm assembles the label, the DB lines and the size equate as they are;
// "format binary" makes its output exactly the data, then the size follows.
TEST(Embed, FlatAssemblerReproducesTheSourceBytesAndSize) {
  const ToolCommand fasm = flat_assembler();
  if (fasm.command.empty()) GTEST_SKIP() << fasm.skip_reason;
  ScratchFolder dir;
  write_file(dir / "main.asm", "format binary\ninclude 'embedded.inc'\ndq _blob\n");
  for (std::size_t size : {0u, 1u, 17u, 65537u}) {
    SCOPED_TRACE(size);
    const std::string bytes = sample_bytes(size);
    write_file(dir / "source.bin", bytes);
    ASSERT_EQ(run_quarlex(dir.path(), {"source.bin", "embedded.inc", "blob"}).status, 0);
    ASSERT_EQ(run_shell("cd " + shell_quote(dir.path().string()) + " && " + fasm.command +
                        " main.asm out.bin > /dev/null"),
              0);
    std::string size_bytes;
    for (int shift = 0; shift < 64; shift += 8)
      size_bytes += static_cast<char>((size >> shift) & 0xFF);
    EXPECT_EQ(read_file(dir / "out.bin"), bytes + size_bytes);
  }
}

// Source paths that, written into the header as given, would end the
// comment line or the C comment and make the rest of the path code.
TEST(Embed, NoSourcePathCanPutCodeIntoTheFile) {
  if (testing_windows_build()) GTEST_SKIP() << "such names are not allowed on Windows";
  const ToolCommand fasm = flat_assembler();
  ScratchFolder dir;
  write_file(dir / "main.c", PRINT_EMBEDDED);
  write_file(dir / "main.asm", "format binary\ninclude 'embedded.inc'\ndq _blob\n");
  const struct {
    const char* folder;
    const char* name;
  } paths[] = {
      {"e*/\nint injected = 42; /*", "x.bin"},
      {"n\r\ndb \"PWN\"\r\n;", "x.bin"},
      {"opens /* and closes *", "x.bin"},
      {"c", "ends in a backslash\\"},
  };
  const std::string bytes = sample_bytes(40);
  const std::string cd = "cd " + shell_quote(dir.path().string()) + " && ";
  for (const auto& p : paths) {
    const std::string source = std::string(p.folder) + "/" + p.name;
    SCOPED_TRACE(source);
    fs::create_directories(dir / p.folder);
    write_file(dir / source, bytes);
    const struct {
      const char* output;
      Flavour flavour;
    } outputs[] = {{"embedded.h", Flavour::CSource}, {"embedded.inc", Flavour::Assembly}};
    // Every path and every consumer is checked, whatever failed before:
    // one broken header must not hide what the others do. Nothing of the
    // path before may pass for this one's result.
    for (const char* left : {"embedded.h", "embedded.inc", "prog", "copy.bin", "out.bin"})
      fs::remove(dir / left);
    for (const auto& o : outputs) {
      if (run_quarlex(dir.path(), {source, o.output, "blob"}).status != 0) {
        ADD_FAILURE() << "the conversion to " << o.output << " failed";
        continue;
      }
      EXPECT_EQ(mask_date_line(read_file(dir / o.output)),
                include_file(o.flavour, source, "blob", bytes));
    }
    if (run_shell(cd + shell_quote(QUARLEX_C_COMPILER) + " -Wall -Wextra -Werror -o prog main.c") !=
        0) {
      ADD_FAILURE() << "the C compiler refused the header";
    } else if (run_shell(cd + "./prog copy.bin > printed.txt") != 0) {
      ADD_FAILURE() << "the program could not write the embedded bytes";
    } else {
      EXPECT_EQ(read_file(dir / "copy.bin"), bytes);
      EXPECT_EQ(read_file(dir / "printed.txt"), "40 40");
    }
    if (fasm.command.empty()) continue;
    if (run_shell(cd + fasm.command + " main.asm out.bin > /dev/null") != 0)
      ADD_FAILURE() << "fasm refused the include file";
    else
      EXPECT_EQ(read_file(dir / "out.bin"), bytes + std::string("\x28\0\0\0\0\0\0\0", 8));
  }
}

}  // namespace
}  // namespace quarlex::cli
