#include "common/vartree/vtree_problem.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VtReadProblemTest, NamesTheLineAndWhyTheReaderStopped) {
  struct Case {
    std::string text;
    int line;
    const char* reason; ///< a part of the reason
  };
  const std::string longLine(1500, 'x');
  std::string deep;
  for (int i = 0; i < 33; ++i)
    deep += "(g\n";
  const Case cases[] = {
      {"", 0, "no status line"},
      {"; only\n;comments\n", 0, "no status line"},
      {"; a comment\nnot a status\n(a\n)\n", 2, "status line is not accepted"},
      {"1.0 0 ok\n(a\nX:i=1\n\n)\n", 4, "a blank line"},
      {"1.0 0 ok\r\n(a\r\n  \t\r\n)\r\n", 3, "a blank line"},
      {"1.0 0 ok\n;\n(a\n)\n)\n", 5, "closes no group"},
      {"1.0 0 ok\n(a\nX:q=1\n)\n", 3, "type letter"},
      {"1.0 0 ok\n(a\nX=1\n)\n", 3, "NAME:LETTER=VALUE"},
      {"1.0 0 ok\n(a\nX:d=4,00\n)\n", 3, "short of digits"},
      {"1.0 0 ok\n(a\n#x\n)\n", 3, "starts with none of"},
      {"1.0 0 ok\n(a\nX:s=" + longLine + "\n)\n", 0, "no group is closed"},
      {"1.0 0 ok\n(a\nX:i=1\n", 0, "no group is closed"},
      {"1.0 0 ok\n" + deep, 34, "33rd group"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    VtReadProblem problem;
    ASSERT_TRUE(vtFindReadProblem(c.text, &problem));
    EXPECT_EQ(c.line, problem.line);
    EXPECT_NE(std::string::npos, problem.reason.find(c.reason))
        << problem.reason;
  }
}

TEST(VtReadProblemTest, AcceptedTextHasNoProblem) {
  VtReadProblem problem;
  EXPECT_FALSE(vtFindReadProblem("; c\n1.0 0 ok\n(a\n;\nX:i=1\n)\n", &problem));
  EXPECT_EQ(0, problem.line);
}

} // namespace
