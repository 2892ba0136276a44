// reg_file_fuzzer.cpp: the registry export file reader on arbitrary bytes,
// and the installation-path lookups over what it read. The same text must
// read the same with a UTF-8 byte order mark, with CR LF line ends and as
// UTF-16LE, since the Registry Editor writes all of these; the lookups must
// hand back at most 1023 characters and exactly the stored text.
#include "enabler/VMWare/w32/reg_file.h"
#include "enabler/VMWare/w32/registry.h"
#include "fuzz_support.h"

#include <vector>

namespace {

const char* const kVMwareKeys[] = {
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware Server",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware GSX Server",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware VmPerl Scripting API",
    "HKLM\\SOFTWARE\\Wow6432Node\\VMware, Inc.\\VMware Server",
    "HKLM\\software\\wow6432node\\vmware, inc.\\vmware vmperl scripting api",
};

// Key paths and value names to compare two readings by: the VMware ones and
// those the input itself names (as written, escapes and all).
struct Probes {
  std::vector<std::string> keys;
  std::vector<std::string> names{"", "InstallPath", "installpath"};
};

Probes probesOf(const std::string& text) {
  Probes probes;
  for (const char* key : kVMwareKeys)
    probes.keys.push_back(key);
  size_t start = 0;
  while (start < text.size() && probes.keys.size() < 12) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(
        start, end == std::string::npos ? std::string::npos : end - start);
    if (line.size() > 2 && line[0] == '[') {
      size_t close = line.find(']');
      if (close != std::string::npos)
        probes.keys.push_back(line.substr(1, close - 1));
    } else if (line.size() > 1 && line[0] == '"') {
      size_t close = line.find('"', 1);
      if (close != std::string::npos && probes.names.size() < 10)
        probes.names.push_back(line.substr(1, close - 1));
    }
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  return probes;
}

std::string describe(const RegFile& file, const Probes& probes) {
  std::string out = file.empty() ? "empty\n" : "not empty\n";
  for (const std::string& key : probes.keys) {
    bool present = file.hasKey(key);
    out += "[" + key + "] " + (present ? "yes" : "no") + "\n";
    if (!present)
      continue;
    for (const std::string& name : probes.names) {
      const std::string* value = file.value(key, name);
      if (value != nullptr)
        out += "  \"" + name + "\"=\"" + *value + "\"\n";
    }
  }
  return out;
}

// Strict UTF-8 to UTF-16LE (no surrogates, no overlong forms); false when
// the text is not such UTF-8.
bool toUtf16(const std::string& text, std::string* out) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t code;
    int following;
    uint32_t least;
    if (c < 0x80) {
      code = c, following = 0, least = 0;
    } else if ((c & 0xE0) == 0xC0) {
      code = c & 0x1F, following = 1, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      code = c & 0x0F, following = 2, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      code = c & 0x07, following = 3, least = 0x10000;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(following) >= text.size())
      return false;
    for (int k = 1; k <= following; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80)
        return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += static_cast<size_t>(following) + 1;
    auto unit = [out](uint32_t u) {
      *out += static_cast<char>(u & 0xFF);
      *out += static_cast<char>(u >> 8);
    };
    if (code >= 0x10000) {
      code -= 0x10000;
      unit(0xD800 + (code >> 10));
      unit(0xDC00 + (code & 0x3FF));
    } else {
      unit(code);
    }
  }
  return true;
}

std::string replaceAll(const std::string& text, const std::string& from,
                       const std::string& to) {
  std::string out;
  size_t start = 0;
  while (true) {
    size_t at = text.find(from, start);
    if (at == std::string::npos)
      break;
    out += text.substr(start, at - start) + to;
    start = at + from.size();
  }
  return out + text.substr(start);
}

void compareReadings(const std::string& text, const std::string& variant,
                     const char* what, const Probes& probes) {
  std::string expected = describe(RegFile::parse(text), probes);
  std::string got = describe(RegFile::parse(variant), probes);
  FUZZ_CHECK(expected == got,
             std::string(what) + ":\n" + expected + "---- but\n" + got);
}

// The lookups as the enabler makes them, in both views.
void checkLookups(const RegFile& file) {
  FileRegistry registry(file);
  for (Wow64Answer answer : {Wow64Answer::No, Wow64Answer::Yes}) {
    InstallationRegistry lookup(
        registry, [answer] { return answer == Wow64Answer::Yes; });
    char* path = nullptr;
    if (lookup.getServerInstallPath(&path)) {
      FUZZ_CHECK(path != nullptr, "server path found but null");
      FUZZ_CHECK(strlen(path) < kInstallPathBytes, "server path too long");
      free(path);
    }
    // In the 32-bit view a key below Wow6432Node wins when it exists; the
    // 64-bit view is asked only when it does not.
    const char* perlKey =
        answer == Wow64Answer::Yes && file.hasKey(kVMwareKeys[4])
            ? kVMwareKeys[4]
            : kVMwareKeys[2];
    const std::string* stored = file.value(perlKey, "InstallPath");
    bool fits = stored != nullptr && stored->size() < kInstallPathBytes;
    path = reinterpret_cast<char*>(1);
    bool found = lookup.getVmPerlInstallPath(&path);
    FUZZ_CHECK(found == fits,
               std::string("VmPerl path found: ") + (found ? "yes" : "no"));
    if (found) {
      FUZZ_CHECK(*stored == path, "VmPerl path differs from the file");
      free(path);
    } else {
      FUZZ_CHECK(path == nullptr, "VmPerl path not reset");
    }

    // A value read into a buffer of its exact size, and one byte short.
    RegistryKey key = nullptr;
    if (lookup.openRegistryKey(localMachineKey(),
                               "SOFTWARE\\VMware, Inc.\\VMware Server",
                               kKeyQueryValue, &key) == kRegistrySuccess) {
      uint32_t size = 0;
      if (registry.queryValue(key, "InstallPath", nullptr, &size) ==
              kRegistrySuccess &&
          size > 0) {
        std::vector<unsigned char> exact(size);
        uint32_t got = size;
        FUZZ_CHECK(registry.queryValue(key, "InstallPath", exact.data(),
                                       &got) == kRegistrySuccess,
                   "value did not fit its own size");
        FUZZ_CHECK(got == size && exact[size - 1] == 0, "no terminating 0");
        // A block of its own, never null (a null buffer asks for the size
        // alone), so that the sanitizer sees a write past it.
        unsigned char* shorter = static_cast<unsigned char*>(malloc(size - 1));
        got = size - 1;
        FUZZ_CHECK(shorter != nullptr &&
                       registry.queryValue(key, "InstallPath", shorter, &got) ==
                           kRegistryMoreData,
                   "a short buffer was accepted");
        free(shorter);
      }
      registry.closeKey(key);
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  RegFile file = RegFile::parse(text);
  checkLookups(file);

  bool plain = text.compare(0, 3, "\xEF\xBB\xBF") != 0 &&
               text.compare(0, 2, "\xFF\xFE") != 0;
  if (!plain)
    return 0;
  Probes probes = probesOf(text);
  compareReadings(text, "\xEF\xBB\xBF" + text, "with a byte order mark",
                  probes);
  if (text.find('\r') == std::string::npos)
    compareReadings(text, replaceAll(text, "\n", "\r\n"), "with CR LF", probes);
  std::string utf16;
  if (toUtf16(text, &utf16))
    compareReadings(text, "\xFF\xFE" + utf16, "as UTF-16LE", probes);
  return 0;
}
