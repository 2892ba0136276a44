// system_error.cpp: what both halves of the error reasons share.
#include "common/platform/system_error.h"

#include <stdio.h>

std::string SystemError::message() const {
  if (!failed())
    return std::string();
  return operation + ": " + text + " (error " + std::to_string(code) + ")";
}

SystemError systemError(const std::string& operation, long code) {
  SystemError error;
  error.operation = operation;
  error.code = code;
  error.text = systemErrorText(code);
  return error;
}

std::string hexResultCode(long result) {
  char hex[16];
  snprintf(hex, sizeof hex, "0x%08lX",
           static_cast<unsigned long>(result) & 0xFFFFFFFFul);
  return hex;
}
