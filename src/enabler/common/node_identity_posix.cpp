// node_identity_posix.cpp: POSIX half of the node identity. The machine's
// identity comes from the DMI tables as the kernel shows them below
// /sys/class/dmi/id, one file a field; KEP_DMI_ROOT names another directory of
// the same shape.
#include "node_identity.h"

#include "common/platform/environment.h"
#include "common/platform/files.h"

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const char kDefaultDmiRoot[] = "/sys/class/dmi/id";

// No DMI string comes near this size (SMBIOS strings are short); anything
// longer is not a DMI attribute, for example a device file placed under the
// name, and counts as unreadable rather than being read without end.
const size_t kMaxDmiFileBytes = 64 * 1024;

std::string dmiRoot() {
  return getEnvironment("KEP_DMI_ROOT").value_or(kDefaultDmiRoot);
}

// The content of the DMI file `name` with one trailing line feed removed, as a
// malloc'd text; null when the file is missing or cannot be read (the kernel
// keeps product_serial readable by root alone), or is no regular file (a
// named pipe under the name would otherwise block for ever), with the reason
// noted in `*problems` when that is not null.
char* readDmiFile(const std::string& root, const char* name,
                  IdentityProblems* problems) {
  std::string content;
  SystemError error;
  const std::string path = root + "/" + name;
  if (!readRegularFile(path, kMaxDmiFileBytes, &content, &error)) {
    if (problems)
      problems->push_back(path + ": " + error.message());
    return nullptr;
  }
  if (!content.empty() && content.back() == '\n')
    content.pop_back();
  char* text = static_cast<char*>(malloc(content.size() + 1));
  if (!text) {
    if (problems)
      problems->push_back(path + ": out of memory");
    return nullptr;
  }
  memcpy(text, content.c_str(), content.size() + 1);
  return text;
}

} // namespace

bool getNodeIdentity(NodeIdentity* identity, IdentityProblems* problems) {
  clearNodeIdentity(identity);
  std::string root = dmiRoot();

  // The BIOS: its vendor file stands for the instance.
  char* biosVendor = readDmiFile(root, "bios_vendor", problems);
  if (!biosVendor)
    return false;
  identity->nodeId = readDmiFile(root, "product_serial", problems);
  identity->manufacturer = biosVendor;
  identity->version = readDmiFile(root, "bios_version", problems);

  // The computer-system product: its name file stands for the instance.
  char* productName = readDmiFile(root, "product_name", problems);
  if (!productName)
    return false;
  identity->product = productName;
  identity->type = readDmiFile(root, "product_version", problems);
  return true;
}
