// node_identity.cpp: what both halves of the node identity share: clearing and
// releasing the record.
#include "node_identity.h"

#include <stdlib.h>

void clearNodeIdentity(NodeIdentity* identity) {
  identity->product = nullptr;
  identity->manufacturer = nullptr;
  identity->type = nullptr;
  identity->version = nullptr;
  identity->nodeId = nullptr;
}

void freeNodeIdentity(NodeIdentity* identity) {
  if (!identity)
    return;
  free(identity->product);
  free(identity->manufacturer);
  free(identity->type);
  free(identity->version);
  free(identity->nodeId);
  clearNodeIdentity(identity);
}
