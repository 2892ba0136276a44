// cpuprobe_output.cpp: the three forms of cpuprobe's answer. The field list
// is written once and serves the name=value lines and the JSON alike.
#include "cpuprobe_output.h"

#include <stdio.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

/// One line of the output: a name and an integer, unsigned or text value.
struct Field {
  enum Kind { kInt, kUnsigned, kText } kind;
  const char* name;
  long long number;
  std::string text;
};

Field intField(const char* name, int32_t value) {
  return {Field::kInt, name, value, std::string()};
}

Field unsignedField(const char* name, uint32_t value) {
  return {Field::kUnsigned, name, static_cast<long long>(value), std::string()};
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
      unsignedField("cpuSignature", info.cpuSignature),
      unsignedField("maxCpuidLevel", info.maxCpuidLevel),
      unsignedField("maxCpuidExtLevel", info.maxCpuidExtLevel),
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
      unsignedField("featuresEcx", info.featuresEcx),
      unsignedField("featuresEdx", info.featuresEdx),
      unsignedField("ext1Eax", info.ext1Eax),
      unsignedField("ext1Ebx", info.ext1Ebx),
      unsignedField("ext1Ecx", info.ext1Ecx),
      unsignedField("ext1Edx", info.ext1Edx),
      intField("Intel.isIntel", info.Intel.isIntel),
      intField("Intel.maxCoresPerChip", info.Intel.maxCoresPerChip),
      intField("AMD.isAMD", info.AMD.isAMD),
      unsignedField("AMD.powerManagement", info.AMD.powerManagement),
      unsignedField("AMD.extBrandId", info.AMD.extBrandId),
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
    else if (field.kind == Field::kUnsigned)
      printf("%s=%lu\n", field.name, static_cast<unsigned long>(field.number));
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

std::string cacheText(const char* level, int32_t size, int32_t line,
                      int32_t ways) {
  if (size <= 0)
    return std::string(level) + " not reported";
  std::string text = std::string(level) + " " + std::to_string(size) + " KB";
  if (line > 0)
    text += ", " + std::to_string(line) + "-byte lines";
  if (ways > 0)
    text += ", " + std::to_string(ways) + "-way";
  return text;
}

} // namespace

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

void printSummary(int result, const CpuIdInfo& info, const Packages& p) {
  auto line = [](const char* label, const std::string& value) {
    printf("%-20s %s\n", label, value.c_str());
  };
  line("vendor:",
       result == 0 ? escapedText(info.vendor) : "(no CPUID instruction)");
  line("brand:",
       info.brandString[0] ? escapedText(info.brandString) : "(none)");
  if (result == 0) {
    line("family/model/step:", std::to_string(info.family) + " / " +
                                   std::to_string(info.model) + " / " +
                                   std::to_string(info.stepping));
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
  line("caches:", cacheText("L2", info.L2CacheSize, info.L2CacheLineSize,
                            info.L2CacheAssociativity) +
                      "; " +
                      cacheText("L3", info.L3CacheSize, info.L3CacheLineSize,
                                info.L3CacheAssociativity));
  Capacity vs = vsCapacity(result, p);
  Capacity vmware = vmwareCapacity(result, p);
  line("vs-enabler:",
       "KEP_NODE_CAPACITY " + std::to_string(vs.value) + ": " + vs.why);
  line("vmware-enabler:",
       "capacity argument " + std::to_string(vmware.value) + ": " + vmware.why);
}

// --- JSON --------------------------------------------------------------------

void printJson(int result, const CpuIdInfo& info, const Packages& p) {
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
  // The vendor and brand are bytes the processor gives: any that are not
  // UTF-8 become U+FFFD instead of ending the output.
  std::string text =
      out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  printf("%s\n", text.c_str());
}
