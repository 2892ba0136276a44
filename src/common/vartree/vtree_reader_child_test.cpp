// The reader on a real pipe: the output of a child program that copies a
// large report file, read as it arrives.
#include "common/process/child_process.h"
#include "common/vartree/memory_byte_reader.h"
#include "common/vartree/vtree.h"
#include "common/vartree/vtree_dump.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string largeReport() {
  std::string text = ";generated\r\n1.0 0 pipe\r\n(report\r\n";
  for (int i = 0; i < 20000; ++i) {
    std::string n = std::to_string(i);
    text += "(Processor\r\nIndex:i=" + n + "\r\nName:s=cpu " + n +
            "\r\nBytes:d=3,0a0b0c\r\nClock:f=2.5e3\r\n)\r\n";
  }
  text += "Count:i=20000\r\n)\r\n(sibling\r\n)\r\n";
  return text;
}

TEST(VtReaderChildTest, ChildOutputGivesTheSameDocumentAsMemory) {
  TempDir dir;
  const std::string text = largeReport();
  ASSERT_TRUE(writeTestFile("report.txt", text));
  std::unique_ptr<ChildProcess> child(startChildProcess(
      testProgramPath("child_echo").c_str(), "cat report.txt"));
  ASSERT_NE(nullptr, child);
  VtDocument* fromPipe = vtReadDocument(child->output());
  EXPECT_EQ(0, child->wait());
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
