// cpuid_replay.cpp: the replay source, its text reader and the recording
// source. The reader takes untrusted text: every access stays inside the
// given bytes and every line of an unknown form is refused, not guessed at.
#include "invscan/scanners/cpuid_replay.h"

#include "common/platform/files.h"

#include <stdio.h>

namespace {

const char kNoCpuIdLine[] = "no-cpuid";
const char kProcessorsWord[] = "processors";
const char kPackagesWord[] = "packages";
const int kMaxCount = 1000000;

// A cursor over one line of the replay text.
class LineReader {
public:
  LineReader(const char* begin, const char* end) : pos_(begin), end_(end) {}

  bool atEnd() const { return pos_ == end_; }
  void skipBlanks() {
    while (pos_ != end_ && (*pos_ == ' ' || *pos_ == '\t'))
      ++pos_;
  }
  /// At least one blank.
  bool blanks() {
    const char* start = pos_;
    skipBlanks();
    return pos_ != start;
  }
  bool accept(const char* word) {
    const char* p = pos_;
    for (; *word; ++word, ++p) {
      if (p == end_ || *p != *word)
        return false;
    }
    pos_ = p;
    return true;
  }
  bool acceptChar(char c) {
    if (pos_ == end_ || *pos_ != c)
      return false;
    ++pos_;
    return true;
  }
  /// A decimal number from `min` to kMaxCount.
  bool count(int min, int* value) {
    long result = 0;
    const char* start = pos_;
    while (pos_ != end_ && *pos_ >= '0' && *pos_ <= '9') {
      result = result * 10 + (*pos_ - '0');
      if (result > kMaxCount)
        return false;
      ++pos_;
    }
    if (pos_ == start || result < min)
      return false;
    *value = static_cast<int>(result);
    return true;
  }
  /// Between `minDigits` and 8 hexadecimal digits.
  bool hexNumber(int minDigits, uint32_t* value) {
    uint32_t result = 0;
    int digits = 0;
    while (pos_ != end_ && digits < 8) {
      int digit = hexDigit(*pos_);
      if (digit < 0)
        break;
      result = (result << 4) | static_cast<uint32_t>(digit);
      ++digits;
      ++pos_;
    }
    if (digits < minDigits || (pos_ != end_ && hexDigit(*pos_) >= 0))
      return false;
    *value = result;
    return true;
  }

private:
  static int hexDigit(char c) {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  }

  const char* pos_;
  const char* end_;
};

enum class LineKind {
  kIgnored,
  kReading,
  kNoCpuId,
  kProcessors,
  kPackages,
  kMalformed
};

// The lines that give the recorded host's counts.
struct CountLine {
  const char* word;
  int min;
  LineKind kind;
  const char* problem;
};
const CountLine kCountLines[] = {
    {kProcessorsWord, 1, LineKind::kProcessors,
     "expected a count of 1 to 1000000 after processors"},
    {kPackagesWord, 0, LineKind::kPackages,
     "expected a count of 0 to 1000000 after packages"},
};

// The text in brackets behind a reading names its sub-leaf: "SL nn".
bool readSubLeaf(LineReader& line, uint32_t* subLeaf) {
  line.skipBlanks();
  if (!line.accept("SL"))
    return false;
  line.skipBlanks();
  if (!line.hexNumber(1, subLeaf))
    return false;
  line.skipBlanks();
  return line.acceptChar(']');
}

LineKind readLine(const char* begin, const char* end, uint32_t* leaf,
                  uint32_t* subLeaf, CpuIdRegisters* regs, int* count,
                  const char** problem) {
  while (end != begin && (end[-1] == '\r' || end[-1] == ' ' || end[-1] == '\t'))
    --end;
  LineReader line(begin, end);
  line.skipBlanks();
  if (line.atEnd() || line.accept("#"))
    return LineKind::kIgnored;
  if (line.accept(kNoCpuIdLine)) {
    if (line.atEnd())
      return LineKind::kNoCpuId;
    *problem = "unexpected text after no-cpuid";
    return LineKind::kMalformed;
  }
  for (const CountLine& form : kCountLines) {
    if (!line.accept(form.word))
      continue;
    bool ok = line.blanks() && line.count(form.min, count);
    line.skipBlanks();
    if (ok && line.atEnd())
      return form.kind;
    *problem = form.problem;
    return LineKind::kMalformed;
  }
  if (line.accept("CPUID"))
    line.skipBlanks();
  uint32_t words[4];
  if (!line.hexNumber(8, leaf) || !line.acceptChar(':')) {
    *problem = "expected an 8-digit leaf and ':'";
    return LineKind::kMalformed;
  }
  line.skipBlanks();
  for (int i = 0; i < 4; ++i) {
    if ((i > 0 && !line.acceptChar('-')) || !line.hexNumber(8, &words[i])) {
      *problem = "expected EAX-EBX-ECX-EDX as 8-digit hexadecimal numbers";
      return LineKind::kMalformed;
    }
  }
  line.skipBlanks();
  *subLeaf = 0;
  if (line.acceptChar('[') && !readSubLeaf(line, subLeaf)) {
    *problem = "expected a sub-leaf as [SL nn]";
    return LineKind::kMalformed;
  }
  line.skipBlanks();
  if (!line.atEnd()) {
    *problem = "unexpected text after the registers";
    return LineKind::kMalformed;
  }
  *regs = {words[0], words[1], words[2], words[3]};
  return LineKind::kReading;
}

} // namespace

CpuIdRegisters ReplayCpuIdSource::readSubLeaf(uint32_t leaf, uint32_t subLeaf) {
  auto found = leaves_.find({leaf, subLeaf});
  if (found == leaves_.end())
    return {0, 0, 0, 0};
  Readings& readings = found->second;
  const CpuIdRegisters& regs = readings.values[readings.next];
  if (readings.next + 1 < readings.values.size())
    ++readings.next;
  return regs;
}

void ReplayCpuIdSource::addReading(uint32_t leaf, uint32_t subLeaf,
                                   const CpuIdRegisters& regs) {
  leaves_[{leaf, subLeaf}].values.push_back(regs);
}

void ReplayCpuIdSource::rewind() {
  for (auto& entry : leaves_)
    entry.second.next = 0;
}

bool parseCpuIdReplay(const char* text, size_t size, ReplayCpuIdSource* out,
                      std::string* err) {
  const char* end = text + size;
  int lineNumber = 0;
  for (const char* begin = text; begin != end;) {
    const char* lineEnd = begin;
    while (lineEnd != end && *lineEnd != '\n')
      ++lineEnd;
    ++lineNumber;
    uint32_t leaf = 0;
    uint32_t subLeaf = 0;
    CpuIdRegisters regs = {0, 0, 0, 0};
    int count = 0;
    const char* problem = "";
    switch (
        readLine(begin, lineEnd, &leaf, &subLeaf, &regs, &count, &problem)) {
    case LineKind::kIgnored:
      break;
    case LineKind::kReading:
      out->addReading(leaf, subLeaf, regs);
      break;
    case LineKind::kNoCpuId:
      out->setHasCpuId(false);
      break;
    case LineKind::kProcessors:
      out->setProcessorCount(count);
      break;
    case LineKind::kPackages:
      out->setPackageCount(count);
      break;
    case LineKind::kMalformed:
      if (err)
        *err = "line " + std::to_string(lineNumber) + ": " + problem;
      return false;
    }
    begin = lineEnd == end ? end : lineEnd + 1;
  }
  return true;
}

bool loadCpuIdReplay(const std::string& path, ReplayCpuIdSource* out,
                     std::string* err) {
  std::string text;
  SystemError error;
  if (!readRegularFile(path, kCpuIdReplayMaxBytes, &text, &error)) {
    // The path is said once; the system's text and code say why.
    if (err)
      *err = "cannot read " + path + ": " + error.text + " (error " +
             std::to_string(error.code) + ")";
    return false;
  }
  if (parseCpuIdReplay(text.data(), text.size(), out, err))
    return true;
  if (err)
    *err = path + ": " + *err;
  return false;
}

std::string formatCpuIdReplayLine(uint32_t leaf, const CpuIdRegisters& regs,
                                  uint32_t subLeaf) {
  char line[80];
  int n =
      snprintf(line, sizeof(line), "%08X: %08X-%08X-%08X-%08X",
               static_cast<unsigned>(leaf), static_cast<unsigned>(regs.eax),
               static_cast<unsigned>(regs.ebx), static_cast<unsigned>(regs.ecx),
               static_cast<unsigned>(regs.edx));
  // Sub-leaf 0 keeps the plain form, so a recording of the probe alone reads
  // as it always has.
  if (subLeaf != 0 && n > 0)
    snprintf(line + n, sizeof(line) - static_cast<size_t>(n), " [SL %02X]",
             static_cast<unsigned>(subLeaf));
  return line;
}

std::string formatCpuIdReplayCounts(int processors, int packages) {
  return std::string(kProcessorsWord) + " " + std::to_string(processors) +
         "\n" + kPackagesWord + " " + std::to_string(packages) + "\n";
}

bool RecordingCpuIdSource::hasCpuId() {
  bool has = inner_.hasCpuId();
  lacksCpuId_ = !has;
  return has;
}

CpuIdRegisters RecordingCpuIdSource::read(uint32_t leaf) {
  CpuIdRegisters regs = inner_.read(leaf);
  readings_.push_back({leaf, 0, regs});
  return regs;
}

CpuIdRegisters RecordingCpuIdSource::readSubLeaf(uint32_t leaf,
                                                 uint32_t subLeaf) {
  CpuIdRegisters regs = inner_.readSubLeaf(leaf, subLeaf);
  readings_.push_back({leaf, subLeaf, regs});
  return regs;
}

std::string RecordingCpuIdSource::replayText() const {
  if (lacksCpuId_)
    return std::string(kNoCpuIdLine) + "\n";
  std::string text;
  for (const Reading& reading : readings_)
    text += formatCpuIdReplayLine(reading.leaf, reading.regs, reading.subLeaf) +
            "\n";
  return text;
}
