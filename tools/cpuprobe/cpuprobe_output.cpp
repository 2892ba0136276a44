// cpuprobe_output.cpp: the three forms of cpuprobe's answer. The field list
// is written once and serves the name=value lines and the JSON alike.
#include "cpuprobe_output.h"

#include <stdio.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

/// One line of the output: a name and an integer, register or text value. A
/// register value (a register, or bits of one) is written in hexadecimal in
/// the name=value lines and as a number in the JSON.
struct Field {
  enum Kind { kInt, kRegister, kText } kind;
  const char* name;
  long long number;
  std::string text;
};

Field intField(const char* name, int32_t value) {
  return {Field::kInt, name, value, std::string()};
}

Field registerField(const char* name, uint32_t value) {
  return {Field::kRegister, name, static_cast<long long>(value), std::string()};
}

Field textField(const char* name, const std::string& value) {
  return {Field::kText, name, 0, value};
}

std::string descriptorText(const CpuIdInfo& info) {
  int count = descriptorCount;
  if (count < 0)
    count = 0;
  if (count > static_cast<int>(sizeof(info.cacheDescriptors)))
    count = static_cast<int>(sizeof(info.cacheDescriptors));
  std::string text;
  char pair[3];
  for (int i = 0; i < count; ++i) {
    snprintf(pair, sizeof pair, "%02x",
             static_cast<unsigned>(info.cacheDescriptors[i]));
    text += pair;
  }
  return text;
}

/// The record's fields in the order of its definition, between the result
/// and the descriptor count.
std::vector<Field> recordFields(int result, const CpuIdInfo& info) {
  return {
      intField("result", result),
      textField("vendor", info.vendor),
      textField("brandString", info.brandString),
      intField("family", info.family),
      intField("model", info.model),
      intField("stepping", info.stepping),
      intField("processorType", info.processorType),
      intField("brandIndex", info.brandIndex),
      registerField("cpuSignature", info.cpuSignature),
      registerField("maxCpuidLevel", info.maxCpuidLevel),
      registerField("maxCpuidExtLevel", info.maxCpuidExtLevel),
      intField("apicId", info.apicId),
      intField("apicIdCount", info.apicIdCount),
      textField("cacheDescriptors", descriptorText(info)),
      intField("L2CacheSize", info.L2CacheSize),
      intField("L2CacheLineSize", info.L2CacheLineSize),
      intField("L2CacheAssociativity", info.L2CacheAssociativity),
      intField("L3CacheSize", info.L3CacheSize),
      intField("L3CacheLineSize", info.L3CacheLineSize),
      intField("L3CacheAssociativity", info.L3CacheAssociativity),
      intField("HTTisSet", info.HTTisSet),
      registerField("featuresEcx", info.featuresEcx),
      registerField("featuresEdx", info.featuresEdx),
      registerField("ext1Eax", info.ext1Eax),
      registerField("ext1Ebx", info.ext1Ebx),
      registerField("ext1Ecx", info.ext1Ecx),
      registerField("ext1Edx", info.ext1Edx),
      intField("Intel.isIntel", info.Intel.isIntel),
      intField("Intel.maxCoresPerChip", info.Intel.maxCoresPerChip),
      intField("AMD.isAMD", info.AMD.isAMD),
      registerField("AMD.powerManagement", info.AMD.powerManagement),
      registerField("AMD.extBrandId", info.AMD.extBrandId),
      intField("AMD.cmpLegacyIsSet", info.AMD.cmpLegacyIsSet),
      intField("AMD.maxCoresPerChip", info.AMD.maxCoresPerChip),
      intField("AMD.apicCoreBitsCount", info.AMD.apicCoreBitsCount),
      intField("AMD.numOfCores", info.AMD.numOfCores),
      intField("numCoresPerChip", info.numCoresPerChip),
      intField("numLogicalPerChip", info.numLogicalPerChip),
      intField("numLogicalPerCore", info.numLogicalPerCore),
      intField("htLogicalProcessors", info.htLogicalProcessors),
      intField("numOfCores", info.numOfCores),
      intField("htLogicalPerCore", info.htLogicalPerCore),
      intField("descriptorCount", descriptorCount),
  };
}

// The counts beside the record: the system's package count, the division
// and the one the enablers take.
std::vector<Field> packageFields(const Packages& p) {
  return {intField("numberOfProcessors", p.processors),
          intField("numberOfPhysicalPackages", p.system),
          intField("packagesByDivision", p.byDivision),
          intField("packagesUsed", p.used),
          textField("packagesSource", p.fromSystem ? "system" : "division")};
}

void printFields(const std::vector<Field>& fields) {
  for (const Field& field : fields) {
    if (field.kind == Field::kText)
      printf("%s=%s\n", field.name, escapedText(field.text).c_str());
    else if (field.kind == Field::kRegister)
      printf("%s=%s\n", field.name,
             hexText(static_cast<uint32_t>(field.number)).c_str());
    else
      printf("%s=%ld\n", field.name, static_cast<long>(field.number));
  }
}

// --- The summary -------------------------------------------------------------

/// What each enabler would publish as the node capacity, and why.
struct Capacity {
  int value;
  std::string why;
};

std::string countWhy(const Packages& p) {
  if (p.fromSystem)
    return "the operating system's package count";
  return std::to_string(p.processors) + " logical processors / " +
         std::to_string(p.perPackage) + " per package (CPUID), since " +
         (p.probed ? "the operating system gave no package count"
                   : "the probe failed and the operating system was not "
                     "asked");
}

// vs-enabler publishes the count as one byte (its low eight bits); a count
// of 0 ends its run with status 1, a failed probe with status 5.
Capacity vsCapacity(int result, const Packages& p) {
  Capacity c{p.used & 0xFF, countWhy(p)};
  if (p.used > 255)
    c.why += "; " + std::to_string(p.used) + " is sent as its low eight bits";
  if (result != 0)
    c.why += "; the processor lacks CPUID, so the run ends with status 5";
  else if (p.used == 0)
    c.why += "; 0 packages end the run with status 1";
  return c;
}

// vmware-enabler passes 0 when the processor lacks CPUID and raises a
// division below 1 to 1.
Capacity vmwareCapacity(int result, const Packages& p) {
  int passed = vmwareNodeCapacity(result == 0, p.used);
  if (result != 0)
    return {passed, "the processor lacks CPUID"};
  if (passed != p.used)
    return {passed, countWhy(p) + " gives " + std::to_string(p.used) +
                        ", raised to " + std::to_string(passed)};
  return {passed, countWhy(p)};
}

std::string counted(int32_t count, const char* thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// Whole megabytes as MB, whole kilobytes as KB, anything else in bytes.
std::string sizeText(uint64_t bytes) {
  const uint64_t kKb = 1024;
  if (bytes >= kKb * kKb && bytes % (kKb * kKb) == 0)
    return std::to_string(bytes / (kKb * kKb)) + " MB";
  if (bytes >= kKb && bytes % kKb == 0)
    return std::to_string(bytes / kKb) + " KB";
  return std::to_string(bytes) + " bytes";
}

std::string cacheText(const CacheLevel& cache, bool sharingIsAnUpperBound) {
  std::string text = sizeText(cache.sizeBytes);
  if (cache.fullyAssociative)
    text += ", fully associative";
  else if (cache.ways > 0)
    text += ", " + std::to_string(cache.ways) + "-way";
  else
    text += ", ways not reported";
  if (cache.lineSize > 0)
    text += ", " + std::to_string(cache.lineSize) + "-byte lines";
  if (cache.sharedBy > 0)
    text += std::string(", shared by ") +
            (sharingIsAnUpperBound ? "up to " : "") +
            counted(cache.sharedBy, "logical processor");
  return text;
}

void printCaches(const CacheList& caches) {
  auto line = [](const std::string& label, const std::string& value) {
    printf("%-20s %s\n", label.c_str(), value.c_str());
  };
  if (caches.levels.empty()) {
    line("caches:", "none reported");
    return;
  }
  line("caches:",
       std::to_string(caches.levels.size()) + ", from " + caches.source);
  for (const CacheLevel& cache : caches.levels)
    line("  L" + std::to_string(cache.level) + " " + cacheTypeName(cache.type) +
             ":",
         cacheText(cache, caches.sharingIsAnUpperBound));
}

nlohmann::ordered_json cachesJson(const CacheList& caches) {
  nlohmann::ordered_json levels = nlohmann::ordered_json::array();
  // Figures that are not reported are null.
  auto orNull = [](int32_t value) {
    return value > 0 ? nlohmann::ordered_json(value) : nlohmann::ordered_json();
  };
  for (const CacheLevel& cache : caches.levels) {
    levels.push_back({{"level", cache.level},
                      {"type", cacheTypeName(cache.type)},
                      {"sizeBytes", cache.sizeBytes},
                      {"ways", orNull(cache.ways)},
                      {"fullyAssociative", cache.fullyAssociative},
                      {"lineSize", orNull(cache.lineSize)},
                      {"sharedBy", orNull(cache.sharedBy)}});
  }
  return {{"source", caches.source}, {"levels", levels}};
}

} // namespace

std::string hexText(uint32_t value) {
  char text[11];
  snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
  return text;
}

std::string escapedText(const std::string& text) {
  std::string out;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte == '\\')
      out += "\\\\";
    else if (byte == '\n')
      out += "\\n";
    else if (byte == '\r')
      out += "\\r";
    else if (byte == '\t')
      out += "\\t";
    else if (byte >= 0x20 && byte <= 0x7E)
      out += c;
    else {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    }
  }
  return out;
}

// A probe that failed leaves the system's count unasked in the enablers, so
// it is not taken here either.
Packages countPackages(int result, const CpuIdInfo& info,
                       const ProcessorServices& processor) {
  Packages p;
  p.processors = processor.processorCount();
  p.system = processor.packageCount();
  p.perPackage = info.htLogicalProcessors;
  p.byDivision = packagesByDivision(p.processors, info.htLogicalProcessors);
  p.used = choosePhysicalPackages(result == 0 ? p.system : 0, p.processors,
                                  info.htLogicalProcessors);
  p.probed = result == 0;
  p.fromSystem = p.probed && p.system >= 1;
  return p;
}

void printFieldLines(int result, const CpuIdInfo& info,
                     const Packages& packages) {
  printFields(recordFields(result, info));
  printFields(packageFields(packages));
}

void printSummary(int result, const CpuIdInfo& info, const CacheList& caches,
                  const Packages& p) {
  auto line = [](const char* label, const std::string& value) {
    printf("%-20s %s\n", label, value.c_str());
  };
  line("vendor:",
       result == 0 ? escapedText(info.vendor) : "(no CPUID instruction)");
  line("brand:",
       info.brandString[0] ? escapedText(info.brandString) : "(none)");
  if (result == 0) {
    DisplaySignature shown = displaySignature(info);
    line("family/model/step:", std::to_string(shown.family) + " / " +
                                   std::to_string(shown.model) + " / " +
                                   std::to_string(shown.stepping));
    line("signature:", hexText(info.cpuSignature));
    line("highest leaves:",
         hexText(info.maxCpuidLevel) + ", " + hexText(info.maxCpuidExtLevel));
  }
  line("logical processors:",
       std::to_string(p.processors) + " (as the operating system counts them)");
  line("per package:",
       counted(info.numOfCores, "core") + ", " +
           counted(info.htLogicalPerCore, "thread") + " per core, " +
           counted(info.htLogicalProcessors, "logical processor") + " (CPUID)");
  line("packages:", std::to_string(p.used) + ", " + countWhy(p));
  line("by division:", std::to_string(p.processors) + " / " +
                           std::to_string(p.perPackage) + " = " +
                           std::to_string(p.byDivision));
  line("system's count:",
       p.system >= 1 ? std::to_string(p.system) : std::string("not known"));
  printCaches(caches);
  Capacity vs = vsCapacity(result, p);
  Capacity vmware = vmwareCapacity(result, p);
  line("vs-enabler:",
       "KEP_NODE_CAPACITY " + std::to_string(vs.value) + ": " + vs.why);
  line("vmware-enabler:",
       "capacity argument " + std::to_string(vmware.value) + ": " + vmware.why);
}

// --- JSON --------------------------------------------------------------------

void printJson(int result, const CpuIdInfo& info, const CacheList& caches,
               const Packages& p) {
  nlohmann::ordered_json out;
  std::vector<Field> fields = recordFields(result, info);
  for (const Field& field : packageFields(p))
    fields.push_back(field);
  for (const Field& field : fields) {
    if (field.kind == Field::kText)
      out[field.name] = field.text;
    else
      out[field.name] = field.number;
  }
  Capacity vs = vsCapacity(result, p);
  Capacity vmware = vmwareCapacity(result, p);
  out["nodeCapacity"] = {
      {"vs-enabler", {{"value", vs.value}, {"why", vs.why}}},
      {"vmware-enabler", {{"value", vmware.value}, {"why", vmware.why}}}};
  if (result == 0) {
    DisplaySignature shown = displaySignature(info);
    out["processor"] = {{"family", shown.family},
                        {"model", shown.model},
                        {"stepping", shown.stepping}};
  } else {
    out["processor"] = nullptr;
  }
  out["caches"] = cachesJson(caches);
  // The vendor and brand are bytes the processor gives: any that are not
  // UTF-8 become U+FFFD instead of ending the output.
  std::string text =
      out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  printf("%s\n", text.c_str());
}
