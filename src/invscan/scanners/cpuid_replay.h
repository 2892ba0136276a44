// cpuid_replay.h: recorded processors. A replay file holds the register
// readings of one processor; the probe runs on them as on the instruction,
// so processors that are not at hand can be examined and tested. The
// recording source captures the readings of a probe in the same form.
#ifndef ENABLER_SCANNERS_CPUID_REPLAY_H
#define ENABLER_SCANNERS_CPUID_REPLAY_H

#include "invscan/scanners/cpuid.h"

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

/// Register readings of one processor, by leaf and sub-leaf. Each sub-leaf's
/// readings are handed out in the order they were added; once they are used
/// up the last one repeats. A sub-leaf without readings reads as four zeros.
/// Every probe begins by asking hasCpuId(), which starts each leaf's readings
/// over, so repeated probes see the same processor.
class ReplayCpuIdSource : public CpuIdSource {
public:
  bool hasCpuId() override {
    rewind();
    return hasCpuId_;
  }
  CpuIdRegisters read(uint32_t leaf) override { return readSubLeaf(leaf, 0); }
  CpuIdRegisters readSubLeaf(uint32_t leaf, uint32_t subLeaf) override;

  void addReading(uint32_t leaf, const CpuIdRegisters& regs) {
    addReading(leaf, 0, regs);
  }
  void addReading(uint32_t leaf, uint32_t subLeaf, const CpuIdRegisters& regs);
  /// False makes the processor lack the instruction.
  void setHasCpuId(bool hasCpuId) { hasCpuId_ = hasCpuId; }
  /// Hands out every leaf's readings from the first again.
  void rewind();

  /// The recorded host's logical processors; 0 when the recording names none.
  int processorCount() const { return processors_; }
  /// The recorded host's physical packages as its system counted them; 0
  /// when the recording names none or the system could not tell.
  int packageCount() const { return packages_; }
  void setProcessorCount(int processors) { processors_ = processors; }
  void setPackageCount(int packages) { packages_ = packages; }

private:
  struct Readings {
    std::vector<CpuIdRegisters> values;
    size_t next = 0;
  };
  std::map<std::pair<uint32_t, uint32_t>, Readings> leaves_;
  bool hasCpuId_ = true;
  int processors_ = 0;
  int packages_ = 0;
};

/// Reads replay text: one reading a line, "LEAF: EAX-EBX-ECX-EDX", each an
/// 8-digit hexadecimal number, optionally prefixed by "CPUID " and followed
/// by a sub-leaf in brackets ("[SL 0A]", hexadecimal; sub-leaf 0 without
/// one). Blank lines and lines starting with '#' are ignored; a line "no-cpuid"
/// makes the processor lack the instruction; "processors N" (1 to 1000000)
/// and "packages N" (0 to 1000000) give the recorded host's counts, the last
/// such line counting; CR LF line ends are accepted.
/// Any input is safe: on a line of another form the result is false and
/// `*err` (when not null) says "line N: ..."; `out` then holds the readings
/// before that line.
bool parseCpuIdReplay(const char* text, size_t size, ReplayCpuIdSource* out,
                      std::string* err);
/// The largest replay file that is read: a recorded processor takes a few
/// kilobytes.
constexpr size_t kCpuIdReplayMaxBytes = 1u << 20;

/// The same for the content of the file at `path`; the message then begins
/// with "PATH: ". An unreadable file gives false and "cannot read PATH: " with
/// the system's reason and code ("No such file or directory (error 2)"), and
/// so does anything but a regular file (a named pipe or a device is not
/// waited for; "not a regular file") and a file of more than
/// kCpuIdReplayMaxBytes.
bool loadCpuIdReplay(const std::string& path, ReplayCpuIdSource* out,
                     std::string* err);

/// One reading as a replay line, without the line end:
/// "00000000: 0000000D-756E6547-6C65746E-49656E69", and for a sub-leaf other
/// than 0 its number behind: "00000004: 1C004122-00C0003F-0000007F-00000000
/// [SL 01]".
std::string formatCpuIdReplayLine(uint32_t leaf, const CpuIdRegisters& regs,
                                  uint32_t subLeaf = 0);
/// A host's counts as replay lines, each ended by "\n":
/// "processors 8\npackages 1\n".
std::string formatCpuIdReplayCounts(int processors, int packages);

/// Passes every question on to another source and keeps what it answered.
class RecordingCpuIdSource : public CpuIdSource {
public:
  explicit RecordingCpuIdSource(CpuIdSource& inner) : inner_(inner) {}
  bool hasCpuId() override;
  CpuIdRegisters read(uint32_t leaf) override;
  CpuIdRegisters readSubLeaf(uint32_t leaf, uint32_t subLeaf) override;

  /// The answers so far in replay form, one line each ended by "\n", in the
  /// order they were given: "no-cpuid" when the instruction was missing,
  /// otherwise every reading.
  std::string replayText() const;

private:
  CpuIdSource& inner_;
  bool lacksCpuId_ = false;
  struct Reading {
    uint32_t leaf;
    uint32_t subLeaf;
    CpuIdRegisters regs;
  };
  std::vector<Reading> readings_;
};

#endif
