// reader_bench: the variable-tree reader's speed.
//
//   reader_bench --writer PATH [--mib 64 | --kib N] [--reps 7]
//                [--wide-values 262144] [--only pipe|memory|wide]
//
// Through a pipe: vtReadDocument on the report that vt_writer writes, against
// the floor of the same bytes read through the same kind of pipe with 1 KiB
// reads and nothing else done. Both clocks start at the first byte, so the
// writer's start and its making of the text count for neither. From memory:
// the reader's rate without a pipe, beside the floor of taking and filling
// fresh memory of the tree's size in the large blocks the reader takes.
// Wide groups: the cost of a value as its group grows, which is what the
// duplicate-name check of each value decides. Every measurement runs in a
// forked child, on the heap of a program that has read nothing yet.
#include "bench_util.h"
#include "common/platform/large_pages.h"
#include "common/process/child_process.h"
#include "common/vartree/memory_byte_reader.h"
#include "common/vartree/vtree.h"
#include "isolated.h"
#include "report_text.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

namespace {

/// Passes reads on and notes when the first byte arrived and how many reads
/// were made.
class FirstByteClock : public ByteReader {
public:
  explicit FirstByteClock(ByteReader* inner) : inner_(inner) {}
  int read(char* buffer, int count) override {
    int got = inner_->read(buffer, count);
    ++reads_;
    if (got > 0 && start_ == 0)
      start_ = benchNow();
    bytes_ += size_t(got > 0 ? got : 0);
    return got;
  }
  double start() const { return start_; }
  long reads() const { return reads_; }
  size_t bytes() const { return bytes_; }

private:
  ByteReader* inner_;
  double start_ = 0;
  long reads_ = 0;
  size_t bytes_ = 0;
};

[[noreturn]] void fail(const char* what) {
  fprintf(stderr, "reader_bench: %s\n", what);
  exit(1);
}

// The document must be the one written: every processor group read.
void checkReport(const VtDocument* document) {
  if (!document || document->status != 0 || !document->root)
    fail("the report was not read whole");
  if (vtGetInt(document, "Processor.CPUID", "MaxLevel", -1) != 10)
    fail("the report's first processor is not what was written");
}

// --- Through a pipe ---------------------------------------------------------

enum PipeField { kWall, kCpu, kReads, kBytes };

std::vector<double> readThroughPipe(const std::string& writer, size_t bytes,
                                    bool parse) {
  std::string size = std::to_string(bytes);
  std::unique_ptr<ChildProcess> child(startChildProcess(
      writer.c_str(), size.c_str(), ChildErrorOutput::kUnread));
  if (!child)
    fail("cannot start the writer");
  FirstByteClock clock(child->output());
  double cpuStart = benchCpuNow();
  double end, cpuEnd;
  if (parse) {
    VtDocument* document = vtReadDocument(&clock);
    end = benchNow();
    cpuEnd = benchCpuNow();
    checkReport(document);
  } else {
    char buffer[kVtLineMax + 1];
    while (clock.read(buffer, kVtLineMax) > 0) {
    }
    end = benchNow();
    cpuEnd = benchCpuNow();
  }
  if (child->wait() != 0)
    fail("the writer failed");
  return {end - clock.start(), cpuEnd - cpuStart, double(clock.reads()),
          double(clock.bytes())};
}

void pipeFigure(const std::string& writer, size_t bytes, int reps) {
  std::vector<double> reader, floor, readerCpu, floorCpu;
  double readerSeconds, floorSeconds;
  benchInterleave(
      reps,
      [&] {
        reader =
            runIsolated([&] { return readThroughPipe(writer, bytes, true); });
        readerCpu.push_back(reader[kCpu]);
        return reader[kWall];
      },
      [&] {
        floor =
            runIsolated([&] { return readThroughPipe(writer, bytes, false); });
        floorCpu.push_back(floor[kCpu]);
        return floor[kWall];
      },
      &readerSeconds, &floorSeconds);
  if (reader[kBytes] != floor[kBytes])
    fail("the reader and the floor received different byte counts");
  benchNote("pipe: %.0f bytes; %.0f reads by the reader, %.0f by the floor",
            floor[kBytes], reader[kReads], floor[kReads]);
  benchNote("pipe: reader %.0f MB/s, floor %.0f MB/s",
            floor[kBytes] / readerSeconds / 1e6,
            floor[kBytes] / floorSeconds / 1e6);
  benchFigure("reader.pipe", readerSeconds * 1e3, floorSeconds * 1e3, "ms",
              BenchTarget::kAtMost, 2.0);
  // The reading process's own processor time: what the reader adds to the
  // reads, without the time either side waits for the other or for a core.
  benchFigure("reader.pipe_cpu", benchMedian(readerCpu) * 1e3,
              benchMedian(floorCpu) * 1e3, "ms", BenchTarget::kReport, 0);
}

// --- From memory ------------------------------------------------------------

// The sizes of the tree's records, in document order: each with its inline
// name and payload.
void collectBlocks(const VtNode* group, std::vector<double>* sizes) {
  for (; group; group = group->next) {
    sizes->push_back(double(sizeof(VtNode) + strlen(group->name) + 1));
    for (const VtValue* v = group->values; v; v = v->next) {
      size_t size = sizeof(VtValue) + strlen(v->name) + 1;
      if (v->kind == VtString)
        size += strlen(v->payload.s) + 1;
      else if (v->kind == VtData)
        size += size_t(v->length);
      else if (v->kind == VtWString)
        size += 2 * (std::char_traits<char16_t>::length(v->payload.u) + 1);
      sizes->push_back(double(size));
    }
    collectBlocks(group->children, sizes);
  }
}

double readFromMemory(const std::string& text) {
  double start = benchNow();
  VtDocument* document = vtReadDocumentFromMemory(text.data(), text.size());
  double seconds = benchNow() - start;
  checkReport(document);
  return seconds;
}

// Taking fresh memory for records of the given sizes, each rounded to 8
// bytes, in blocks of 8 MiB as the reader does, and filling it: the part of
// the reader's work that the size of the model's records fixes.
double allocateBlocks(const std::vector<double>& sizes) {
  size_t total = 0;
  for (double size : sizes)
    total += (size_t(size) + 7) & ~size_t(7);
  const size_t kBlock = size_t(8) << 20;
  std::vector<void*> blocks;
  double start = benchNow();
  for (size_t done = 0; done < total; done += kBlock) {
    void* block = allocateLargeBlock(kBlock);
    if (!block)
      fail("no memory for the floor");
    memset(block, 1, total - done < kBlock ? total - done : kBlock);
    blocks.push_back(block);
  }
  return benchNow() - start;
}

void memoryFigure(size_t bytes, int reps) {
  std::string text = makeReportText(bytes);
  double lines = double(countLines(text));
  std::vector<double> sizes = runIsolated([&] {
    std::vector<double> blocks;
    VtDocument* document = vtReadDocumentFromMemory(text.data(), text.size());
    checkReport(document);
    collectBlocks(document->root, &blocks);
    return blocks;
  });
  double blockBytes = 0;
  for (double size : sizes)
    blockBytes += size;
  double readerSeconds, floorSeconds;
  benchInterleave(
      reps,
      [&] {
        return runIsolated(
            [&] { return std::vector<double>{readFromMemory(text)}; })[0];
      },
      [&] {
        return runIsolated(
            [&] { return std::vector<double>{allocateBlocks(sizes)}; })[0];
      },
      &readerSeconds, &floorSeconds);
  benchNote("memory: %zu bytes, %.0f lines: %.0f MB/s, %.2f million lines/s",
            text.size(), lines, text.size() / readerSeconds / 1e6,
            lines / readerSeconds / 1e6);
  benchNote("memory: the tree is %zu records of %.0f MB in all; taking and "
            "filling that memory alone takes %.0f%% of the reader's time",
            sizes.size(), blockBytes / 1e6, 100 * floorSeconds / readerSeconds);
  benchFigure("reader.memory_vs_allocation", readerSeconds * 1e3,
              floorSeconds * 1e3, "ms", BenchTarget::kReport, 0);
}

// --- Wide groups ------------------------------------------------------------

// Nanoseconds per value when `values` values come in groups of `perGroup`.
double nsPerValue(size_t values, size_t perGroup, int reps) {
  std::string text = makeWideGroupText(values, perGroup);
  std::vector<double> samples;
  for (int rep = 0; rep < reps; ++rep) {
    samples.push_back(runIsolated([&] {
      double start = benchNow();
      VtDocument* document = vtReadDocumentFromMemory(text.data(), text.size());
      double seconds = benchNow() - start;
      if (!document || !document->root ||
          !vtFindValue(document, "group", "Value0"))
        fail("a wide-group document was not read");
      return std::vector<double>{seconds};
    })[0]);
  }
  return benchMedian(samples) * 1e9 / double(values);
}

// Nanoseconds per vtNodeAddValue while one group is built up to `values`
// values through the model's own call, which indexes a large group's names.
double nsPerModelAdd(size_t values) {
  VtNode* group = vtNewNode("g");
  char name[32];
  double start = benchNow();
  for (size_t i = 0; i < values; ++i) {
    snprintf(name, sizeof name, "Value%zu", i);
    VtValue* value = vtNewValue(name, VtInt);
    if (!vtNodeAddValue(group, value))
      vtFreeValue(value);
  }
  double seconds = benchNow() - start;
  vtFreeNode(group);
  return seconds * 1e9 / double(values);
}

void wideGroupFigure(size_t values, int reps) {
  const size_t sizes[] = {1, 16, 256, 4096, 65536};
  double small = 0, large = 0;
  for (size_t perGroup : sizes) {
    double ns = nsPerValue(values, perGroup, reps);
    benchNote("reader, groups of %zu values: %.1f ns per value", perGroup, ns);
    if (perGroup == 16)
      small = ns;
    large = ns;
  }
  // Bounded: the reader's index keeps the check from walking the group.
  benchFigure("reader.value_in_group_of_65536_vs_16", large, small, "ns/value",
              BenchTarget::kReport, 0);
  // A build of 16384 values takes a few ms, which one preemption on a shared
  // machine would double: the two sizes take turns and give their medians.
  double add1k, add16k;
  benchInterleave(
      reps < 5 ? 5 : reps, [] { return nsPerModelAdd(16384); },
      [] { return nsPerModelAdd(1024); }, &add16k, &add1k);
  benchNote("vtNodeAddValue (the model's own call): %.0f ns per value into a "
            "group growing to 1024, %.0f ns to 16384",
            add1k, add16k);
  // Bounded too: a large group's index keeps the check from walking it.
  benchFigure("model.vtNodeAddValue_16384_vs_1024", add16k, add1k, "ns/value",
              BenchTarget::kAtMost, 1.5);
}

} // namespace

int main(int argc, char** argv) {
  std::string writer = benchArg(argc, argv, "writer", "");
  if (writer.empty()) {
    fprintf(stderr, "usage: reader_bench --writer PATH [--mib N | --kib N] "
                    "[--reps N] [--wide-values N] [--only pipe|memory|wide]\n");
    return 2;
  }
  size_t bytes = size_t(benchArgLong(argc, argv, "mib", 64)) << 20;
  if (long kib = benchArgLong(argc, argv, "kib", 0))
    bytes = size_t(kib) << 10;
  int reps = int(benchArgLong(argc, argv, "reps", 7));
  size_t wide = size_t(benchArgLong(argc, argv, "wide-values", 262144));
  // --only runs one part, for a profiler.
  std::string only = benchArg(argc, argv, "only", "");
  if (only.empty() || only == "pipe")
    pipeFigure(writer, bytes, reps);
  if (only.empty() || only == "memory")
    memoryFigure(bytes, reps);
  if (only.empty() || only == "wide")
    wideGroupFigure(wide, reps);
  return 0;
}
