// vs_publish_internal.h: what the two halves of vs-enabler's worker share:
// the parameters with the labels of their log lines, and what one run holds.
// The run's start and end are in vs_publish.cpp, the walk of the machines in
// vs_machines.cpp.
#ifndef ENABLER_VS_VS_PUBLISH_INTERNAL_H
#define ENABLER_VS_VS_PUBLISH_INTERNAL_H

#include "common/malloc_text.h"
#include "common/platform/ref_holder.h"
#include "enabler/MSVirtualServer/vs_publish.h"
#include "enabler/common/node_identity.h"

#include <stdint.h>

#include <optional>

/// A parameter of the guest and the label by which its log lines (the
/// success line with the value set as text, the failure line) name it.
struct Parameter {
  const char* name;
  const char* label;
};

inline const Parameter kNodeId = {"KEP_NODE_ID", "KEP_NODE_ID"};
inline const Parameter kHostProduct = {"KEP_HOST_PRODUCT", "KEP_HOST_PROD"};
inline const Parameter kHostManufacturer = {"KEP_HOST_MANUFACTURER",
                                            "KEP_HOST_MAN"};
inline const Parameter kHostVersion = {"KEP_HOST_VERSION", "KEP_HOST_VERS"};
inline const Parameter kHostType = {"KEP_HOST_TYPE", "KEP_HOST_TYPE"};
// Its success line shows the package count itself, not the byte sent.
inline const Parameter kNodeCapacity = {"KEP_NODE_CAPACITY",
                                        "KEP_NODE_CAPACITY"};
inline const Parameter kVmId = {"KEP_VM_ID", "KEP_VM_ID"};
inline const Parameter kVmCapacity = {"KEP_VM_CAPACITY", "KEP_VM_CAPACITY"};
inline const Parameter kPhysicalProcessor = {"KEP_PHYSICAL_PROCESSOR",
                                             "KEP_PHYSICAL_PROCESSOR"};

/// What one run holds from the connection to the end.
struct Run {
  explicit Run(const VsPublishServices& s) : services(s) {}

  const VsPublishServices& services;
  VsVirtualServerObject* server = nullptr; ///< given back by disconnect
  RefHolder<VsVirtualMachineCollection> machines;
  int32_t count = 0;
  ScopedNodeIdentity identity;
  MallocText record;
  int hostPackageCount = -1;
  /// The system's package count, asked at the first running machine: the
  /// host's packages do not change under a run, and the question reads a
  /// dozen files natively.
  std::optional<int> systemPackages;
};

/// Sets the parameters of every running machine, in the order of the list,
/// until a machine cannot be obtained.
void walkMachines(Run& run);

#endif
