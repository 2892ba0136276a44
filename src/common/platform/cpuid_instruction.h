// cpuid_instruction.h: the x86 CPUID instruction of the processor this code
// runs on. The probe of the enablers and the cpuid stand-in both read the
// processor through it. No OS header here.
#ifndef ENABLER_PLATFORM_CPUID_INSTRUCTION_H
#define ENABLER_PLATFORM_CPUID_INSTRUCTION_H

#include <stdint.h>

/// One CPUID reading: EAX, EBX, ECX, EDX in that order.
struct CpuIdRegisters {
  uint32_t eax;
  uint32_t ebx;
  uint32_t ecx;
  uint32_t edx;
};

/// Whether the processor executes CPUID: always on x86-64; on 32-bit x86 when
/// the ID flag (bit 21) of EFLAGS can be toggled; never on other processors.
bool cpuidInstructionAvailable();

/// CPUID with EAX = `leaf` and ECX = `subleaf`. Four zeros on processors
/// without the instruction; callers ask cpuidInstructionAvailable() first.
CpuIdRegisters executeCpuid(uint32_t leaf, uint32_t subleaf);

#endif
