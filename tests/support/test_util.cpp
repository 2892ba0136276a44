#include "test_util.h"

#include "common/platform/environment.h"
#include "common/platform/paths.h"

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
  previous_ = fs::current_path().string();
  std::random_device rd;
  fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("enabler-test-" + std::to_string(rd()) + "-" +
                                 std::to_string(attempt));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = fs::absolute(candidate).string();
      fs::current_path(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const char* value)
    : name_(name), old_(getEnvironment(name)) {
  setTestEnv(name, value);
}

ScopedEnv::~ScopedEnv() {
  setTestEnv(name_.c_str(), old_ ? old_->c_str() : nullptr);
}

void setTestEnv(const char* name, const char* value) {
  if (value)
    setEnvironment(name, value);
  else
    removeEnvironment(name);
}

std::string testBinDir() {
  char path[4096 + 1];
  unsigned long n = ownExecutablePath(path, sizeof path - 1);
  if (n == 0 || n >= sizeof path - 1)
    return ".";
  std::string dir(path, n);
  size_t separator = dir.rfind(pathSeparator());
  if (separator != std::string::npos)
    dir.resize(separator);
  return dir;
}

std::string testProgramPath(const std::string& name) {
  return (fs::path(testBinDir()) / programFileName(name.c_str())).string();
}

bool writeTestFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

std::string readTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string fixturePath(const std::string& relative) {
#ifndef ENABLER_FIXTURES_DIR
#  error "unit_tests defines ENABLER_FIXTURES_DIR"
#endif
  return (fs::path(ENABLER_FIXTURES_DIR) / fs::path(relative))
      .make_preferred()
      .string();
}

std::function<unsigned long(char* buffer, unsigned long size)>
ownPathAnswering(const std::string& path) {
  return [path](char* buffer, unsigned long size) -> unsigned long {
    // A path that does not fit gives the size, as the system's query does.
    if (path.size() >= size)
      return size;
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<unsigned long>(path.size());
  };
}
