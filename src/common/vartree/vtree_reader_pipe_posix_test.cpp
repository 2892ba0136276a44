// The reader on a real pipe: a writer thread feeds a large document in
// uneven pieces while the reader takes what each read gives.
#include "common/process/child_process.h"
#include "common/vartree/memory_byte_reader.h"
#include "common/vartree/vtree.h"
#include "common/vartree/vtree_dump.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <thread>

namespace {

class FdByteReader : public ByteReader {
public:
  explicit FdByteReader(int fd) : fd_(fd) {}
  int read(char* buffer, int count) override {
    ssize_t n = ::read(fd_, buffer, size_t(count));
    if (n < 0)
      n = 0;
    buffer[n] = 0;
    return int(n);
  }

private:
  int fd_;
};

std::string largeDocument() {
  std::string text = ";generated\r\n1.0 0 pipe\r\n(report\r\n";
  for (int i = 0; i < 20000; ++i) {
    std::string n = std::to_string(i);
    text += "(Processor\r\nIndex:i=" + n + "\r\nName:s=cpu " + n +
            "\r\nBytes:d=3,0a0b0c\r\nClock:f=2.5e3\r\n)\r\n";
  }
  text += "Count:i=20000\r\n)\r\n(sibling\r\n)\r\n";
  return text;
}

TEST(VtReaderPipeTest, PipeGivesTheSameDocumentAsMemory) {
  const std::string text = largeDocument();
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  std::thread writer([&] {
    size_t at = 0;
    size_t piece = 1;
    while (at < text.size()) {
      size_t n = std::min(piece, text.size() - at);
      ssize_t written = ::write(fds[1], text.data() + at, n);
      if (written <= 0)
        break;
      at += size_t(written);
      piece = piece * 7 % 5003 + 1;
    }
    ::close(fds[1]);
  });
  FdByteReader stream(fds[0]);
  VtDocument* fromPipe = vtReadDocument(&stream);
  writer.join();
  ::close(fds[0]);
  VtDocument* fromMemory = vtReadDocumentFromMemory(text.data(), text.size());

  ASSERT_NE(nullptr, fromPipe->root);
  EXPECT_EQ(20000, vtGetInt(fromPipe, nullptr, "Count", 0));
  VtNode* last = vtNodeFindChild(fromPipe->root, "Processor", 19999);
  ASSERT_NE(nullptr, last);
  EXPECT_STREQ("cpu 19999",
               vtValueString(vtNodeFindValue(last, "Name"), nullptr));
  EXPECT_EQ(vtDumpDocument(fromMemory), vtDumpDocument(fromPipe));
  vtFreeDocument(fromPipe);
  vtFreeDocument(fromMemory);
}

} // namespace
