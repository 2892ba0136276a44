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
  explicit FakeClock(uint32_t start) : now(start) {}
  uint32_t milliseconds() override { return now; }

  uint32_t now;
};

/// A report whose pieces (of `chunk` bytes) come `pauseMs` apart, as from a
/// child that takes its time; its end comes with its last piece. A wait
/// lasts until the next piece or until its own time is up, and moves the
/// clock as far.
class PacedSource : public ScriptedSource {
public:
  PacedSource(std::string text, FakeClock* clock, uint32_t pauseMs)
      : ScriptedSource(std::move(text)), clock_(clock), pauseMs_(pauseMs),
        untilNext_(pauseMs) {}
  int read(char* buffer, int count) override {
    untilNext_ = pauseMs_;
    return ScriptedSource::read(buffer, count);
  }
  bool waitReadable(long milliseconds) override {
    waits.push_back(milliseconds);
    if (at == bytes.size())
      return true;
    uint32_t wait = static_cast<uint32_t>(milliseconds);
    if (untilNext_ <= wait) {
      clock_->now += untilNext_;
      untilNext_ = 0;
      return true;
    }
    clock_->now += wait;
    untilNext_ -= wait;
    return false;
  }

private:
  FakeClock* clock_;
  uint32_t pauseMs_;
  uint32_t untilNext_;
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
  // below (the system clock's own tests show that it is not the wall clock).
  // A report of four pieces under a limit of 60 s.
  const uint32_t kNearWrap = 0xFFFFFFFFu - 20000;
  const uint32_t kNever = 0xFFFFFFFFu;
  struct Case {
    uint32_t start;
    uint32_t pauseMs;
    bool whole;
    const char* why;
  };
  const Case cases[] = {
      {1000, 9000, true, "a slow report, in time"},
      {kNearWrap, 9000, true, "a slow report while the clock wraps past 0"},
      {1000, 14999, true, "the end just before the limit"},
      {1000, 15000, false, "the end as the limit is reached"},
      {1000, 20000, false, "a report that takes longer than the limit"},
      {1000, kNever, false, "a child that hangs"},
      {kNearWrap, kNever, false, "a child that hangs while the clock wraps"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    FakeClock clock(c.start);
    PacedSource source(std::string(400, 'p'), &clock, c.pauseMs);
    source.chunk = 100;
    BoundedReader reader(&source, ReadLimits{10000, 60000}, clock);
    std::string text = readAll(reader);
    EXPECT_EQ(!c.whole, reader.limitPassed());
    if (c.whole) {
      EXPECT_EQ(source.bytes, text);
      continue;
    }
    EXPECT_EQ(timedOutErrorCode(), reader.readError().code);
    EXPECT_EQ(60000u, clock.now - c.start) << "waited for the limit, no more";
  }
}

} // namespace
