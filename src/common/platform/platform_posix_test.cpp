// platform_posix_test.cpp: what only the POSIX half of the platform meets:
// named pipes and devices where a file is expected.
#include "common/platform/files.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace {

TEST(FilesPosixTest, PipesAndDevicesAreRefusedWithoutWaiting) {
  TempDir dir;
  const std::string fifo = (std::filesystem::path(dir.path()) / "fifo").string();
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  for (const std::string& path : {fifo, std::string("/dev/zero"),
                                  std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    std::string content;
    SystemError error;
    EXPECT_FALSE(readRegularFile(path, 1 << 20, &content, &error));
    EXPECT_NE(std::string::npos, error.message().find("not a regular file"))
        << error.message();
  }
}

} // namespace
