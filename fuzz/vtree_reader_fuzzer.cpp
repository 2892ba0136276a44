// vtree_reader_fuzzer.cpp: the variable-tree reader on arbitrary bytes, as the
// cpuid program's output pipe could deliver them. The same bytes are read
// twice, once in the chunks a hash of the input picks and once as fast as the
// reader asks; the two documents must be the same, since a pipe may split its
// data anywhere.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ChunkedReader whole(data, size, /*seed=*/0);
  VtDocument* first = vtReadDocument(&whole);
  std::string firstText;
  fuzzCheckDocument(first, &firstText);
  vtFreeDocument(first);

  ChunkedReader chunked(data, size, fuzzHash(data, size));
  VtDocument* second = vtReadDocument(&chunked);
  std::string secondText;
  fuzzCheckDocument(second, &secondText);
  vtFreeDocument(second);

  FUZZ_CHECK(firstText == secondText,
             "read whole:\n" + firstText + "read in chunks:\n" + secondText);
  return 0;
}
