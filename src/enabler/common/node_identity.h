// node_identity.h: the physical machine's identity (BIOS serial number and the
// texts that describe the machine), read from WMI on Windows and from DMI
// natively.
#ifndef ENABLER_COMMON_NODE_IDENTITY_H
#define ENABLER_COMMON_NODE_IDENTITY_H

#include <string>
#include <vector>

/// Five narrow texts, each null (absent) until set; an empty source string
/// gives an empty text. Each is a separate allocation owned by the record.
struct NodeIdentity {
  char* product;      ///< product class "Name"
  char* manufacturer; ///< BIOS "Manufacturer"
  char* type;         ///< product class "Version"
  char* version;      ///< BIOS "Version"
  char* nodeId;       ///< BIOS "SerialNumber"
};

/// Why the identity, or a field of it, could not be read: one text each, as
/// "Win32_BIOS.SerialNumber: the property is null" or
/// "/sys/class/dmi/id/product_serial: open ...: Permission denied (error 13)".
using IdentityProblems = std::vector<std::string>;

/// Sets all five fields absent, then fills them. True when both the BIOS and
/// the product yielded an instance; on false the fields filled before the
/// failure keep their values. A property that is missing, null or not a
/// string leaves its field absent without changing the result. Writes
/// nothing anywhere; why a field stays absent or the read fails goes to
/// `*problems` when it is not null, a text for each.
///
/// Natively the BIOS and the product come from the DMI directory,
/// /sys/class/dmi/id or the directory that KEP_DMI_ROOT names: the BIOS exists
/// when bios_vendor can be read, the product when product_name can be read.
bool getNodeIdentity(NodeIdentity* identity,
                     IdentityProblems* problems = nullptr);

/// Sets the five fields absent without freeing anything.
void clearNodeIdentity(NodeIdentity* identity);

/// Frees the five texts (allocated with malloc) and sets them absent. Null is
/// allowed.
void freeNodeIdentity(NodeIdentity* identity);

/// A NodeIdentity that owns its texts: all absent at first, freed when the
/// holder ends.
class ScopedNodeIdentity {
public:
  ScopedNodeIdentity() { clearNodeIdentity(&identity_); }
  ~ScopedNodeIdentity() { freeNodeIdentity(&identity_); }
  ScopedNodeIdentity(const ScopedNodeIdentity&) = delete;
  ScopedNodeIdentity& operator=(const ScopedNodeIdentity&) = delete;

  NodeIdentity* get() { return &identity_; }
  const NodeIdentity& operator*() const { return identity_; }
  const NodeIdentity* operator->() const { return &identity_; }

private:
  NodeIdentity identity_;
};

#endif
