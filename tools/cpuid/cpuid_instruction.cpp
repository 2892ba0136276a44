// cpuid_instruction.cpp: the CPUID instruction of this processor, the only
// file of the cpuid program that knows the processor architecture.
#include "host_report.h"

#if defined(__i386__) || defined(__x86_64__)
#  include <cpuid.h>
#endif

namespace {

class InstructionReader : public CpuidReader {
public:
  bool available() override {
#if defined(__x86_64__)
    return true;
#elif defined(__i386__)
    // The EFLAGS ID test: CPUID exists when bit 21 can be toggled.
    return __get_cpuid_max(0, nullptr) != 0;
#else
    return false;
#endif
  }

  CpuidReading read(uint32_t leaf, uint32_t subleaf) override {
    CpuidReading r{};
#if defined(__i386__) || defined(__x86_64__)
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#else
    (void)leaf;
    (void)subleaf;
#endif
    return r;
  }
};

} // namespace

CpuidReader& instructionCpuidReader() {
  static InstructionReader reader;
  return reader;
}
