#include "common/vartree/vtree_dump.h"

#include "common/vartree/vtree.h"

#include <stdio.h>

#include <utility>
#include <vector>

namespace {

void appendHex(std::string* out, unsigned value, int digits) {
  static const char kDigits[] = "0123456789abcdef";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    out->push_back(kDigits[(value >> shift) & 0xFu]);
}

void appendValue(std::string* out, const VtValue* value, int depth) {
  char number[64];
  *out += "value ";
  *out += std::to_string(depth);
  *out += ' ';
  *out += value->name;
  switch (value->kind) {
  case VtInt:
    *out += " i ";
    *out += std::to_string(value->payload.i);
    break;
  case VtString:
    *out += " s ";
    *out += value->payload.s ? value->payload.s : "";
    break;
  case VtReal:
    snprintf(number, sizeof number, "%.17g", value->payload.f);
    *out += " f ";
    *out += number;
    break;
  case VtData:
    *out += " d ";
    for (int32_t i = 0; value->payload.d && i < value->length; ++i)
      appendHex(out, value->payload.d[i], 2);
    break;
  case VtWString:
    *out += " u ";
    for (const char16_t* u = value->payload.u; u && *u; ++u)
      appendHex(out, *u, 4);
    break;
  default:
    *out += " ? ";
    break;
  }
  *out += '\n';
}

} // namespace

std::string vtDumpDocument(const VtDocument* document) {
  std::string out;
  if (!document || document->status < 0) {
    out += "status -1\ntext\n";
  } else {
    out += "status " + std::to_string(document->status) + " " +
           std::to_string(document->major) + " " +
           std::to_string(document->minor) + "\n";
    out += "text ";
    out += document->text ? document->text : "";
    out += '\n';
  }
  const VtNode* root = document ? document->root : nullptr;
  out += root ? "root yes\n" : "root no\n";

  // Depth first without recursion: the stack holds the groups still to be
  // written, the next one on top.
  std::vector<std::pair<const VtNode*, int>> stack;
  std::vector<const VtNode*> level;
  auto pushList = [&](const VtNode* first, int depth) {
    level.clear();
    for (const VtNode* n = first; n; n = n->next)
      level.push_back(n);
    for (auto it = level.rbegin(); it != level.rend(); ++it)
      stack.emplace_back(*it, depth);
  };
  pushList(root, 0);
  while (!stack.empty()) {
    auto [group, depth] = stack.back();
    stack.pop_back();
    out += "group " + std::to_string(depth) + " ";
    out += group->name;
    out += '\n';
    for (const VtValue* v = group->values; v; v = v->next)
      appendValue(&out, v, depth + 1);
    pushList(group->children, depth + 1);
  }
  return out;
}
