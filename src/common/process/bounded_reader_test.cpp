#include "common/process/bounded_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

/// A stream that holds `bytes` and hands out at most `chunk` of them a read;
/// it is ready only while `ready` is set. It records how far it was read
/// and how long each wait was allowed to last.
class ScriptedSource : public ByteReader {
public:
  explicit ScriptedSource(std::string text) : bytes(std::move(text)) {}
  int read(char* buffer, int count) override {
    ++reads;
    size_t n = bytes.size() - at;
    if (n > static_cast<size_t>(count))
      n = static_cast<size_t>(count);
    if (n > chunk)
      n = chunk;
    bytes.copy(buffer, n, at);
    at += n;
    buffer[n] = 0;
    return static_cast<int>(n);
  }
  bool waitReadable(long milliseconds) override {
    waits.push_back(milliseconds);
    return ready;
  }

  std::string bytes;
  size_t at = 0;
  size_t chunk = 1 << 20;
  bool ready = true;
  int reads = 0;
  std::vector<long> waits;
};

/// A monotonic clock that moves only when the test moves it.
class FakeClock : public MonotonicClock {
public:
  uint32_t milliseconds() override { return now; }

  uint32_t now = 0;
};

/// Everything the reader hands out, read 4096 bytes at a time.
std::string readAll(ByteReader& reader) {
  std::string text;
  char buffer[4097];
  int got;
  while ((got = reader.read(buffer, 4096)) > 0)
    text.append(buffer, got);
  EXPECT_EQ(0, buffer[0]) << "the 0 byte behind an empty read";
  return text;
}

TEST(BoundedReaderTest, StreamsUpToTheLimitAreReadWhole) {
  for (size_t size : {size_t(0), size_t(1), size_t(4096), size_t(10000)}) {
    SCOPED_TRACE(size);
    ScriptedSource source(std::string(size, 'r'));
    source.chunk = 777;
    BoundedReader reader(&source, ReadLimits{10000, 60000});
    EXPECT_EQ(source.bytes, readAll(reader));
    EXPECT_FALSE(reader.limitPassed());
    EXPECT_FALSE(reader.readError().failed());
  }
}

TEST(BoundedReaderTest, StreamBeyondTheLimitEndsWithoutItsExcess) {
  struct Case {
    size_t size;
    size_t chunk;
    const char* why;
  };
  const Case cases[] = {
      {10001, 1 << 20, "one byte over, in one piece"},
      {10001, 3, "one byte over, in small pieces"},
      {50 << 20, 1 << 20, "fifty megabytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ScriptedSource source(std::string(c.size, 'f'));
    source.chunk = c.chunk;
    BoundedReader reader(&source, ReadLimits{10000, 60000});
    EXPECT_LE(readAll(reader).size(), 10000u);
    EXPECT_TRUE(reader.limitPassed());
    EXPECT_EQ(tooLargeErrorCode(), reader.readError().code);
    EXPECT_EQ(10001u, source.at) << "never asked beyond the first excess byte";
    char buffer[2];
    int reads = source.reads;
    EXPECT_EQ(0, reader.read(buffer, 1));
    EXPECT_EQ(reads, source.reads) << "nothing read once the limit is passed";
  }
}

TEST(BoundedReaderTest, StreamThatDoesNotComeInTimeEnds) {
  ScriptedSource source("late report");
  source.ready = false;
  BoundedReader reader(&source, ReadLimits{10000, 30000});
  char buffer[16];
  EXPECT_EQ(0, reader.read(buffer, 15));
  EXPECT_TRUE(reader.limitPassed());
  EXPECT_EQ(timedOutErrorCode(), reader.readError().code);
  EXPECT_EQ(0, source.reads);
  ASSERT_EQ(1u, source.waits.size());
  EXPECT_LE(source.waits[0], 30000) << "never longer than the time left";
  EXPECT_GT(source.waits[0], 20000);
}

TEST(BoundedReaderTest, TimeLimitCountsFromTheMaking) {
  ScriptedSource source("report");
  BoundedReader reader(&source, ReadLimits{10000, 0});
  char buffer[8];
  EXPECT_EQ(0, reader.read(buffer, 7));
  EXPECT_TRUE(reader.limitPassed());
  EXPECT_EQ(timedOutErrorCode(), reader.readError().code);
}

TEST(BoundedReaderTest, TimeLimitRunsOnTheGivenMonotonicClockOnly) {
  // The clock the reader is given is all the time it sees, so a date and
  // time set back or forward while the child is waited for changes nothing
  // (the system clock's own tests show that it is not the wall clock). A
  // limit of 60 s, of which `passed` are gone before the read.
  const uint32_t kNearWrap = 0xFFFFFFFFu - 20000;
  struct Case {
    uint32_t start;
    uint32_t passed;
    const char* why;
  };
  const Case cases[] = {
      {1000, 59999, "just before the limit"},
      {1000, 60000, "at the limit"},
      {kNearWrap, 59999, "just before the limit, the clock wrapped past 0"},
      {kNearWrap, 60000, "at the limit, the clock wrapped past 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    FakeClock clock;
    clock.now = c.start;
    ScriptedSource source("report");
    BoundedReader reader(&source, ReadLimits{10000, 60000}, clock);
    clock.now += c.passed;
    std::string text = readAll(reader);
    bool inTime = c.passed < 60000;
    EXPECT_EQ(!inTime, reader.limitPassed());
    EXPECT_EQ(inTime ? "report" : "", text);
    if (inTime) {
      EXPECT_EQ(60000 - long(c.passed), source.waits.at(0))
          << "the wait is the time left on the given clock";
    }
  }
}

} // namespace
