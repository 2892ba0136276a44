// reg_file.cpp: the registry export file reader (the registry over it is in
// file_registry.cpp, the decoding of its text in reg_file_text.cpp).
// The reader takes any bytes: what it does not understand makes the whole
// file count as an empty registry, never a partial one.
#include "reg_file.h"

#include "common/platform/files.h"
#include "reg_file_text.h"

#include <stdio.h>
#include <string.h>

#include <utility>
#include <vector>

namespace {

const char kVersion5[] = "Windows Registry Editor Version 5.00";
const char kVersion4[] = "REGEDIT4";

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
