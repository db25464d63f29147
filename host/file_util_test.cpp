// Replacing files without ever leaving a part or a temporary behind.
#include "host/file_util.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <regex>

#include "host/pdf_test_support.h"

namespace kshost::pdf::test {
namespace {

mode_t ModeOf(std::string const& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The file behind a link is replaced and the link stays; the mode of the
// file replaced is kept; what may not be replaced is refused untouched.
TEST(FileUtil, ReplacingFollowsLinksKeepsModesAndRefusesWhatItMayNotReplace) {
  TempDir dir;
  WriteFile(dir / "real", "old");
  ::chmod((dir / "real").c_str(), 0640);
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink("../real", dir / "sub/link");
  std::filesystem::create_symlink("sub/link", dir / "chain");
  std::filesystem::create_symlink("fresh", dir / "dangling");
  WriteFile(dir / "readonly", "old");
  ::chmod((dir / "readonly").c_str(), 0444);
  ::mkfifo((dir / "fifo").c_str(), 0600);
  struct Case {
    std::string path, reason, changed;
  } const cases[] = {
      {dir / "chain", "", dir / "real"},
      {dir / "dangling", "", dir / "fresh"},
      {dir / "readonly", "Permission denied (the file is read-only)", ""},
      {dir / "fifo", "not a regular file", ""},
      {dir / "sub", "Is a directory", ""},
  };
  for (Case const& c : cases) {
    std::string why;
    EXPECT_EQ(kshost::WriteFileAtomically(c.path, "new", false, &why), c.reason.empty()) << c.path;
    EXPECT_EQ(why, c.reason) << c.path;
    if (!c.changed.empty()) {
      EXPECT_EQ(ReadFile(c.changed), "new") << c.path;
    }
  }
  EXPECT_EQ(ModeOf(dir / "real"), 0640u);
  EXPECT_EQ(ReadFile(dir / "readonly"), "old");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "chain"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling"));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"chain", "dangling", "fifo", "fresh", "readonly", "real", "sub"}));
  EXPECT_EQ(dir.Names("sub"), std::vector<std::string>{"link"});
}

// With and without a name for the file being written: the write fails
// with the system's reason and the abandoned file goes with it.
TEST(FileUtil, FullDiskLeavesTheTargetAndNoTemporary) {
  for (bool unnamed : {true, false}) {
    TempDir dir;
    WriteFile(dir / "target", "old");
    ChildResult r = InChild(
        [&] {
          kshost::FileReplacement file;
          std::string why;
          if (!file.Begin(dir / "target", &why, unnamed)) return why;
          std::string const block(512, 'x');
          for (int i = 0; i < 16; ++i)
            if (::write(file.fd(), block.data(), block.size()) < 0) return std::string(std::strerror(errno));
          return file.Commit(&why) ? std::string("not limited") : why;
        },
        1024);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.text, "File too large");
    EXPECT_EQ(ReadFile(dir / "target"), "old");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"target"}) << unnamed;
  }
}

// SIGINT or SIGTERM while the new file is being written: the process ends
// by the signal as it would have, and the temporary is gone.
TEST(FileUtil, InterruptWhileWritingRemovesTheTemporary) {
  for (int sig : {SIGINT, SIGTERM}) {
    for (bool unnamed : {true, false}) {
      TempDir dir;
      WriteFile(dir / "target", "old");
      ChildResult r = InChild([&] {
        kshost::FileReplacement file;
        std::string why;
        if (!file.Begin(dir / "target", &why, unnamed)) return why;
        (void)!::write(file.fd(), "new", 3);
        ::raise(sig);
        return std::string("survived");
      });
      EXPECT_EQ(r.signal, sig);
      EXPECT_EQ(ReadFile(dir / "target"), "old");
      EXPECT_EQ(dir.Names(), std::vector<std::string>{"target"}) << sig << unnamed;
    }
  }
}

// A save killed outright (SIGKILL, where no handler runs) leaves its named
// temporary, a whole copy of the file, beside the target. The next save of
// that target removes it, and only what is certainly such a leftover: other
// targets' temporaries, names of another shape, folders and the
// temporaries of processes that still run stay.
TEST(FileUtil, NextSaveRemovesTemporariesOfProcessesThatNoLongerRun) {
  TempDir dir;
  WriteFile(dir / "target", "old");
  ChildResult r = InChild([&] {
    kshost::FileReplacement file;
    std::string why;
    if (!file.Begin(dir / "target", &why, false)) return why;
    (void)!::write(file.fd(), "half", 4);
    ::raise(SIGKILL);
    return std::string("survived");
  });
  ASSERT_EQ(r.signal, SIGKILL);
  std::vector<std::string> names = dir.Names();
  ASSERT_EQ(names.size(), 2u);
  const std::string left = names[0] == "target" ? names[1] : names[0];
  // Named by the process that wrote it, so that a later save can tell.
  ASSERT_TRUE(std::regex_match(left, std::regex(R"(target\.tmp-[1-9][0-9]*-[0-9]+)"))) << left;
  // The child has been reaped: its id names no process now.
  const std::string dead = left.substr(11, left.find('-', 11) - 11);
  // What a save killed between naming its unnamed file and the rename
  // leaves.
  WriteFile(dir / ("target.tmp-" + dead + "-12"), "whole copy");
  const std::string running = std::to_string(::getppid());
  const std::string self = std::to_string(::getpid());
  for (std::string const& name : {"target.tmp-" + running + "-0", "target.tmp-" + self + "-9",
                                   "other.tmp-" + dead + "-0", "target.tmp-" + dead + "-x", "target.tmp-" + dead})
    WriteFile(dir / name, "keep");
  std::filesystem::create_directory(dir / ("target.tmp-" + dead + "-1"));

  std::string why;
  ASSERT_TRUE(kshost::WriteFileAtomically(dir / "target", "new", false, &why)) << why;
  EXPECT_EQ(ReadFile(dir / "target"), "new");
  std::vector<std::string> expected = {"other.tmp-" + dead + "-0",   "target",
                                       "target.tmp-" + dead,         "target.tmp-" + dead + "-1",
                                       "target.tmp-" + dead + "-x",  "target.tmp-" + running + "-0",
                                       "target.tmp-" + self + "-9"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Names(), expected);
}

}  // namespace
}  // namespace kshost::pdf::test
