#include "common/vartree/vtree_dump.h"

#include "common/vartree/vtree.h"

#include <stdio.h>

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

void vtWriteDump(const VtDocument* document, VtDumpWriter write,
                 void* context) {
  std::string line;
  auto flush = [&] {
    write(context, line.data(), line.size());
    line.clear();
  };
  if (!document || document->status < 0) {
    line += "status -1\ntext\n";
  } else {
    line += "status " + std::to_string(document->status) + " " +
            std::to_string(document->major) + " " +
            std::to_string(document->minor) + "\n";
    line += "text ";
    line += document->text ? document->text : "";
    line += '\n';
  }
  const VtNode* group = document ? document->root : nullptr;
  line += group ? "root yes\n" : "root no\n";
  flush();

  // Depth first without recursion: `parents` holds the groups above the
  // current one, so it grows with the depth only.
  std::vector<const VtNode*> parents;
  while (group) {
    int depth = int(parents.size());
    line += "group " + std::to_string(depth) + " ";
    line += group->name;
    line += '\n';
    flush();
    for (const VtValue* v = group->values; v; v = v->next) {
      appendValue(&line, v, depth + 1);
      flush();
    }
    if (group->children) {
      parents.push_back(group);
      group = group->children;
      continue;
    }
    while (!group->next && !parents.empty()) {
      group = parents.back();
      parents.pop_back();
    }
    group = group->next;
  }
}

std::string vtDumpDocument(const VtDocument* document) {
  std::string out;
  vtWriteDump(
      document,
      [](void* context, const char* data, size_t size) {
        static_cast<std::string*>(context)->append(data, size);
      },
      &out);
  return out;
}
