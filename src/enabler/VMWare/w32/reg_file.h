// reg_file.h: the registry export file, the form that the Registry Editor
// exports and imports, read into memory. It stands in for the registry where
// there is none, and serves the tests of the registry lookups on every build.
#ifndef ENABLER_VMWARE_REG_FILE_H
#define ENABLER_VMWARE_REG_FILE_H

#include "registry.h"

#include <stddef.h>

#include <map>
#include <string>

/// The largest export file that is read: the keys the enablers look for take
/// a few hundred bytes, and a file of 8 MiB stays a small part of memory as
/// it is read.
constexpr size_t kRegFileMaxBytes = 8u << 20;

/// The string values of a registry export file, by key. Key and value names
/// compare without regard to ASCII letter case, as in the registry.
class RegFile {
public:
  /// Reads the bytes of an export file: UTF-8 (a byte order mark is skipped)
  /// or UTF-16LE with its byte order mark. Any input is accepted; one that is
  /// malformed gives an empty registry.
  static RegFile parse(const std::string& bytes);
  /// The file at `path`; an unreadable or malformed file gives an empty
  /// registry, and so does anything but a regular file (a named pipe or a
  /// device is not waited for) and a file of more than kRegFileMaxBytes.
  static RegFile load(const std::string& path);

  /// Whether the key `path` ("HKEY_LOCAL_MACHINE\\SOFTWARE\\X"; "HKLM" and the
  /// other short root names are accepted) exists: it was named in the file,
  /// or a key below it was.
  bool hasKey(const std::string& path) const;
  /// The string value `name` of key `path` ("" for the default value), or
  /// null when the key has no such value or the value is not a string.
  const std::string* value(const std::string& path,
                           const std::string& name) const;
  /// True when the file gave no keys at all.
  bool empty() const { return keys_.empty(); }

private:
  // Lower-case value name -> value text.
  using Values = std::map<std::string, std::string>;
  // Lower-case full key path with the long root name -> its string values.
  std::map<std::string, Values> keys_;

  friend class RegFileParser;
};

/// The registry interface over a RegFile: HKEY_LOCAL_MACHINE only, and the
/// 32-bit view of SOFTWARE\X is SOFTWARE\Wow6432Node\X, as on 64-bit Windows.
/// A key opened with KEY_WOW64_32KEY is looked up there; one opened without
/// view flags or with KEY_WOW64_64KEY as written. String values are handed
/// back as RegQueryValueExA would, with their terminating zero.
class FileRegistry : public Registry {
public:
  explicit FileRegistry(RegFile file) : file_(std::move(file)) {}

  long openKey(RegistryKey root, const char* subKey, uint32_t access,
               RegistryKey* key) override;
  long queryValue(RegistryKey key, const char* name, unsigned char* data,
                  uint32_t* size) override;
  long closeKey(RegistryKey key) override;

private:
  RegFile file_;
};

#endif
