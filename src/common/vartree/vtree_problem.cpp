// vtree_problem.cpp: finds the line where the reader stops by reading the
// text again, one line per read of the stream: the reader asks for bytes only
// when it holds no complete line, so the line served last is the one it was
// reading when it stopped.
#include "common/vartree/vtree_problem.h"

#include "common/process/child_process.h"
#include "common/vartree/vtree.h"

#include <string.h>

#include <algorithm>

namespace {

/// Serves `text` one line (up to and including its line feed) per read.
class LineFeeder : public ByteReader {
public:
  explicit LineFeeder(const std::string& text) : text_(text) {}

  int read(char* buffer, int count) override {
    size_t rest = text_.size() - at_;
    size_t end = text_.find('\n', at_);
    size_t line = end == std::string::npos ? rest : end + 1 - at_;
    size_t size = count > 0 ? std::min(line, static_cast<size_t>(count)) : 0;
    if (size > 0) {
      // A new line begins where the last read ended at a line feed.
      if (at_ == 0 || text_[at_ - 1] == '\n') {
        ++lineNumber_;
        lineStart_ = at_;
      }
      memcpy(buffer, text_.data() + at_, size);
      at_ += size;
    }
    buffer[size] = 0;
    return static_cast<int>(size);
  }

  int lineNumber() const { return lineNumber_; }

  /// The last line served has nothing but blanks, tabs and its line end.
  bool lineIsBlank() const {
    size_t end = text_.find('\n', lineStart_);
    std::string line =
        text_.substr(lineStart_, end == std::string::npos ? std::string::npos
                                                          : end - lineStart_);
    return line.find_first_not_of(" \t\r") == std::string::npos;
  }

private:
  const std::string& text_;
  size_t at_ = 0;
  size_t lineStart_ = 0;
  int lineNumber_ = 0;
};

const char* bodyReason(int code) {
  switch (code) {
  case kVtBadLine:
    return "the line starts with none of \"(\", \")\", \";\" or a value "
           "name";
  case kVtUnbalanced:
    return "a \")\" that closes no group";
  case kVtBadValueLine:
    return "a value line that is not NAME:LETTER=VALUE";
  case kVtBadType:
    return "a type letter other than i, s, f, d and u";
  case kVtBadPayload:
    return "a d or u value without \",\" or short of digits";
  case kVtTooDeep:
    return "a 33rd group opened while 32 are open";
  case kVtNoMemory:
    return "memory ran out";
  default:
    return "the reader stopped here";
  }
}

/// The line of the status line, or 0 when the text has only comments.
bool findStatusLine(const std::string& text, VtReadProblem* problem) {
  LineFeeder feeder(text);
  VtLineReader reader;
  vtInitLineReader(&reader, &feeder);
  char line[kVtStatusLineSize];
  do {
    if (!vtReadLine(&reader, line, sizeof line)) {
      problem->line = 0;
      problem->reason = "no status line: the text is empty or only comments";
      return true;
    }
  } while (line[0] == ';');
  problem->line = feeder.lineNumber();
  problem->reason = "the status line is not accepted (it reads like "
                    "\"1.0 0 text\": version, status, text)";
  return true;
}

} // namespace

bool vtFindReadProblem(const std::string& text, VtReadProblem* problem) {
  LineFeeder whole(text);
  VtDocument* document = vtReadDocument(&whole);
  bool accepted = document && document->status >= 0 && document->root;
  bool statusAccepted = document && document->status >= 0;
  vtFreeDocument(document);
  if (accepted)
    return false;
  if (!statusAccepted)
    return findStatusLine(text, problem);

  // Again, up to the first line the body reader refuses.
  LineFeeder feeder(text);
  VtLineReader reader;
  vtInitLineReader(&reader, &feeder);
  char line[kVtStatusLineSize];
  while (vtReadLine(&reader, line, sizeof line) && line[0] == ';') {
  }
  VtNode* top = vtNewNode("");
  int code = top ? vtReadNodes(&reader, top) : kVtNoMemory;
  vtFreeNode(top);
  if (code == kVtOk) {
    problem->line = 0;
    problem->reason = "no group is closed before the end";
    return true;
  }
  problem->line = feeder.lineNumber();
  problem->reason = code == kVtBadLine && feeder.lineIsBlank()
                        ? "a blank line (blank lines are not allowed)"
                        : bodyReason(code);
  return true;
}
