// cpuid_instruction.cpp: the cpuid program's readings of this processor,
// through the platform's CPUID instruction, the one the enablers' probe uses.
#include "host_report.h"

#include "common/platform/cpuid_instruction.h"

namespace {

class InstructionReader : public CpuidReader {
public:
  bool available() override { return cpuidInstructionAvailable(); }

  CpuidReading read(uint32_t leaf, uint32_t subleaf) override {
    return executeCpuid(leaf, subleaf);
  }
};

} // namespace

CpuidReader& instructionCpuidReader() {
  static InstructionReader reader;
  return reader;
}
