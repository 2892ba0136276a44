// reg_file.cpp: the registry export file reader and the registry over it.
// The reader takes any bytes: what it does not understand makes the whole
// file count as an empty registry, never a partial one.
#include "reg_file.h"

#include "common/platform/files.h"

#include <stdio.h>
#include <string.h>

#include <utility>
#include <vector>

namespace {

const char kVersion5[] = "Windows Registry Editor Version 5.00";
const char kVersion4[] = "REGEDIT4";
const char kLocalMachine[] = "HKEY_LOCAL_MACHINE";

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

std::string trimRight(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && isBlank(text[end - 1]))
    --end;
  return text.substr(0, end);
}

std::string trimLeft(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && isBlank(text[start]))
    ++start;
  return text.substr(start);
}

void appendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16LE code units (after the byte order mark) to UTF-8; false for an odd
// byte count or a surrogate without its partner.
bool utf16ToUtf8(const std::string& bytes, size_t start, std::string* out) {
  if ((bytes.size() - start) % 2 != 0)
    return false;
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
  };
  out->clear();
  for (size_t i = start; i < bytes.size(); i += 2) {
    uint32_t code = unit(i);
    if (code >= 0xDC00 && code <= 0xDFFF)
      return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 2 >= bytes.size())
        return false;
      uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF)
        return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    appendUtf8(*out, code);
  }
  return true;
}

// The file's text as UTF-8, without a byte order mark.
bool decodeText(const std::string& bytes, std::string* text) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE)
    return utf16ToUtf8(bytes, 2, text);
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    *text = bytes.substr(3);
  else
    *text = bytes;
  return true;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The long root name for a root as a file may write it; empty when unknown.
std::string canonicalRoot(const std::string& root) {
  static const char* const kRoots[][2] = {
      {"HKEY_LOCAL_MACHINE", "HKLM"},  {"HKEY_CURRENT_USER", "HKCU"},
      {"HKEY_CLASSES_ROOT", "HKCR"},   {"HKEY_USERS", "HKU"},
      {"HKEY_CURRENT_CONFIG", "HKCC"}, {"HKEY_DYN_DATA", nullptr}};
  std::string lower = lowerAscii(root);
  for (const auto& names : kRoots)
    if (lower == lowerAscii(names[0]) ||
        (names[1] && lower == lowerAscii(names[1])))
      return names[0];
  return std::string();
}

// "ROOT\\A\\B" to the lower-case lookup form with the long root name; false
// for an unknown root or an empty component.
bool canonicalKeyPath(const std::string& path, std::string* canonical) {
  size_t slash = path.find('\\');
  std::string root = canonicalRoot(path.substr(0, slash));
  if (root.empty())
    return false;
  std::string result = root;
  while (slash != std::string::npos) {
    size_t next = path.find('\\', slash + 1);
    std::string part =
        path.substr(slash + 1, next == std::string::npos ? std::string::npos
                                                         : next - slash - 1);
    if (part.empty())
      return false;
    result += '\\';
    result += part;
    slash = next;
  }
  *canonical = lowerAscii(result);
  return true;
}

} // namespace

// Reads the lines of one file into a RegFile; any fault makes parse() give up.
class RegFileParser {
public:
  explicit RegFileParser(RegFile* out) : out_(out) {}

  bool parse(const std::string& text) {
    std::vector<std::string> lines = splitLines(text);
    if (text.find('\0') != std::string::npos)
      return false;
    std::string version = trimRight(lines[0]);
    if (version != kVersion5 && version != kVersion4)
      return false;
    for (size_t i = 1; i < lines.size(); ++i) {
      std::string line = trimLeft(lines[i]);
      if (line.empty() || line[0] == ';')
        continue;
      if (line[0] == '[') {
        if (!keyLine(trimRight(line)))
          return false;
        continue;
      }
      if (line[0] != '"' && line[0] != '@')
        return false;
      // Binary data may go on over lines that end with a backslash. The
      // joined line is only ever trimmed at its end, so a long run of
      // continuation lines costs no more than its length.
      if (continues(line)) {
        do {
          if (++i >= lines.size())
            return false;
          while (isBlank(line.back()))
            line.pop_back();
          line.pop_back();
          line += trimLeft(lines[i]);
          while (!line.empty() && isBlank(line.back()))
            line.pop_back();
        } while (!line.empty() && line.back() == '\\');
      }
      if (!valueLine(line))
        return false;
    }
    return true;
  }

private:
  // Whether a value line holds binary data that goes on in the next line.
  static bool continues(const std::string& line) {
    std::string name, data;
    if (!splitValueLine(line, &name, &data))
      return false;
    std::string trimmed = trimRight(data);
    return data.compare(0, 3, "hex") == 0 && !trimmed.empty() &&
           trimmed.back() == '\\';
  }

  // "NAME"=DATA or @=DATA into the name ("" for the default value) and the
  // data text; false when the line has another form.
  static bool splitValueLine(const std::string& line, std::string* name,
                             std::string* data) {
    size_t pos = 0;
    name->clear();
    if (!line.empty() && line[0] == '@')
      pos = 1;
    else if (!quoted(line, &pos, name))
      return false;
    while (pos < line.size() && isBlank(line[pos]))
      ++pos;
    if (pos >= line.size() || line[pos] != '=')
      return false;
    ++pos;
    while (pos < line.size() && isBlank(line[pos]))
      ++pos;
    *data = line.substr(pos);
    return true;
  }

  // "[KEY]" starts a key, "[-KEY]" deletes it with everything below it.
  bool keyLine(const std::string& line) {
    if (line.size() < 2 || line.back() != ']')
      return false;
    std::string inner = line.substr(1, line.size() - 2);
    bool remove = !inner.empty() && inner[0] == '-';
    if (remove)
      inner.erase(0, 1);
    std::string path;
    if (!canonicalKeyPath(inner, &path))
      return false;
    if (remove) {
      auto& keys = out_->keys_;
      keys.erase(path);
      std::string prefix = path + '\\';
      for (auto it = keys.lower_bound(prefix);
           it != keys.end() &&
           it->first.compare(0, prefix.size(), prefix) == 0;)
        it = keys.erase(it);
      current_ = nullptr;
      inDeletedKey_ = true;
      return true;
    }
    current_ = &out_->keys_[path];
    inDeletedKey_ = false;
    return true;
  }

  // A quoted text at `pos`, with \\ and \" as its only escapes; `pos` ends
  // behind the closing quote.
  static bool quoted(const std::string& line, size_t* pos, std::string* text) {
    if (*pos >= line.size() || line[*pos] != '"')
      return false;
    text->clear();
    for (size_t i = *pos + 1; i < line.size(); ++i) {
      char c = line[i];
      if (c == '"') {
        *pos = i + 1;
        return true;
      }
      if (c == '\\') {
        if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"'))
          return false;
        c = line[++i];
      }
      *text += c;
    }
    return false;
  }

  static bool onlyBlanksFrom(const std::string& line, size_t pos) {
    for (; pos < line.size(); ++pos)
      if (!isBlank(line[pos]))
        return false;
    return true;
  }

  static bool dwordData(const std::string& data) {
    std::string digits = trimRight(data);
    if (digits.empty() || digits.size() > 8)
      return false;
    for (char c : digits)
      if (!isHexDigit(c))
        return false;
    return true;
  }

  // "hex:" or "hex(N):" and comma-separated bytes, continuation lines joined.
  static bool hexData(const std::string& data) {
    size_t pos = 3;
    if (pos < data.size() && data[pos] == '(') {
      size_t close = data.find(')', pos);
      if (close == std::string::npos || close == pos + 1)
        return false;
      for (size_t i = pos + 1; i < close; ++i)
        if (!isHexDigit(data[i]))
          return false;
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':')
      return false;
    std::string list = trimRight(data.substr(pos + 1));
    if (list.empty())
      return true;
    size_t start = 0;
    while (true) {
      size_t comma = list.find(',', start);
      std::string item = trimLeft(trimRight(
          list.substr(start, comma == std::string::npos ? std::string::npos
                                                        : comma - start)));
      bool last = comma == std::string::npos;
      // A list may end with a comma where a continuation line was joined.
      if (item.empty() && last && start > 0)
        return true;
      if (item.empty() || item.size() > 2 || !isHexDigit(item[0]) ||
          (item.size() == 2 && !isHexDigit(item[1])))
        return false;
      if (last)
        return true;
      start = comma + 1;
    }
  }

  // "NAME"=DATA or @=DATA below the current key.
  bool valueLine(const std::string& line) {
    std::string name, data;
    if (!splitValueLine(line, &name, &data))
      return false;

    bool isString = false;
    std::string text;
    if (!data.empty() && data[0] == '"') {
      size_t end = 0;
      if (!quoted(data, &end, &text) || !onlyBlanksFrom(data, end))
        return false;
      isString = true;
    } else if (trimRight(data) == "-") {
    } else if (data.compare(0, 6, "dword:") == 0) {
      if (!dwordData(data.substr(6)))
        return false;
    } else if (data.compare(0, 3, "hex") == 0) {
      if (!hexData(data))
        return false;
    } else {
      return false;
    }
    // Values of a key that the file deleted go nowhere, as in an import.
    if (inDeletedKey_)
      return true;
    if (!current_)
      return false;
    // A value of another type, or a deleted one, replaces an earlier string.
    std::string lowerName = lowerAscii(name);
    if (isString)
      (*current_)[lowerName] = text;
    else
      current_->erase(lowerName);
    return true;
  }

  RegFile* out_;
  RegFile::Values* current_ = nullptr;
  bool inDeletedKey_ = false;
};

RegFile RegFile::parse(const std::string& bytes) {
  RegFile file;
  std::string text;
  if (!decodeText(bytes, &text))
    return RegFile();
  RegFileParser parser(&file);
  if (!parser.parse(text))
    return RegFile();
  return file;
}

RegFile RegFile::load(const std::string& path) {
  std::string bytes;
  if (!readRegularFile(path, kRegFileMaxBytes, &bytes))
    return RegFile();
  return parse(bytes);
}

bool RegFile::hasKey(const std::string& path) const {
  std::string canonical;
  if (!canonicalKeyPath(path, &canonical))
    return false;
  if (keys_.count(canonical))
    return true;
  std::string prefix = canonical + '\\';
  auto it = keys_.lower_bound(prefix);
  return it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

const std::string* RegFile::value(const std::string& path,
                                  const std::string& name) const {
  std::string canonical;
  if (!canonicalKeyPath(path, &canonical))
    return nullptr;
  auto key = keys_.find(canonical);
  if (key == keys_.end())
    return nullptr;
  auto found = key->second.find(lowerAscii(name));
  return found == key->second.end() ? nullptr : &found->second;
}

namespace {

// An opened key of a FileRegistry: its full path in the file's terms.
struct FileRegistryKey {
  std::string path;
};

// SOFTWARE\X as a 32-bit program sees it on 64-bit Windows: below
// SOFTWARE\Wow6432Node. Other keys, and that node itself, are shared.
std::string wow64View(const std::string& subKey) {
  const std::string software = "software";
  const std::string node = "software\\wow6432node";
  std::string lower = lowerAscii(subKey);
  auto startsWithKey = [&](const std::string& prefix) {
    return lower.compare(0, prefix.size(), prefix) == 0 &&
           (lower.size() == prefix.size() || lower[prefix.size()] == '\\');
  };
  if (!startsWithKey(software) || startsWithKey(node))
    return subKey;
  return subKey.substr(0, software.size()) + "\\Wow6432Node" +
         subKey.substr(software.size());
}

} // namespace

long FileRegistry::openKey(RegistryKey root, const char* subKey,
                           uint32_t access, RegistryKey* key) {
  if (root != localMachineKey() || !subKey)
    return kRegistryFileNotFound;
  std::string path = subKey;
  if (access & kKeyWow64_32Key)
    path = wow64View(path);
  std::string full = kLocalMachine;
  if (!path.empty())
    full += "\\" + path;
  if (!file_.hasKey(full))
    return kRegistryFileNotFound;
  *key = new FileRegistryKey{full};
  return kRegistrySuccess;
}

long FileRegistry::queryValue(RegistryKey key, const char* name,
                              unsigned char* data, uint32_t* size) {
  if (!key || !size)
    return kRegistryInvalidHandle;
  const std::string* text =
      file_.value(static_cast<FileRegistryKey*>(key)->path, name ? name : "");
  if (!text)
    return kRegistryFileNotFound;
  // A string comes back with its terminating zero, as the registry stores it.
  uint32_t needed = static_cast<uint32_t>(text->size() + 1);
  if (!data || *size < needed) {
    *size = needed;
    return data ? kRegistryMoreData : kRegistrySuccess;
  }
  memcpy(data, text->c_str(), needed);
  *size = needed;
  return kRegistrySuccess;
}

long FileRegistry::closeKey(RegistryKey key) {
  if (!key)
    return kRegistryInvalidHandle;
  delete static_cast<FileRegistryKey*>(key);
  return kRegistrySuccess;
}
