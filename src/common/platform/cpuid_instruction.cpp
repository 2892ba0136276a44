// cpuid_instruction.cpp: the CPUID instruction itself. The only file of the
// project that knows the processor architecture: x86 and x86-64 execute the
// instruction, every other processor is reported as lacking it.
#include "common/platform/cpuid_instruction.h"

#if defined(__i386__) || defined(__x86_64__)
#  define ENABLER_CPUID_X86 1
#  include <cpuid.h>
#endif

namespace {

#if defined(__i386__)
// The ID flag (bit 21) of EFLAGS can be changed only by a processor that
// implements CPUID. The original flags are put back afterwards.
bool eflagsIdFlagToggles() {
  uint32_t before;
  uint32_t after;
  __asm__ __volatile__("pushfl\n\t"
                       "popl %0\n\t"
                       "movl %0, %1\n\t"
                       "xorl $0x200000, %1\n\t"
                       "pushl %1\n\t"
                       "popfl\n\t"
                       "pushfl\n\t"
                       "popl %1\n\t"
                       "pushl %0\n\t"
                       "popfl"
                       : "=&r"(before), "=&r"(after)
                       :
                       : "cc");
  return ((before ^ after) & 0x200000u) != 0;
}
#endif

} // namespace

bool cpuidInstructionAvailable() {
#if defined(__x86_64__)
  return true; // every x86-64 processor implements CPUID
#elif defined(__i386__)
  return eflagsIdFlagToggles();
#else
  return false;
#endif
}

CpuIdRegisters executeCpuid(uint32_t leaf, uint32_t subleaf) {
  CpuIdRegisters regs = {0, 0, 0, 0};
#if defined(ENABLER_CPUID_X86)
  unsigned int eax;
  unsigned int ebx;
  unsigned int ecx;
  unsigned int edx;
  __cpuid_count(leaf, subleaf, eax, ebx, ecx, edx);
  regs.eax = eax;
  regs.ebx = ebx;
  regs.ecx = ecx;
  regs.edx = edx;
#else
  (void)leaf;
  (void)subleaf;
#endif
  return regs;
}
