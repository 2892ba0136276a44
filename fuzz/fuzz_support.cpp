#include "fuzz_support.h"

#include <ctype.h>

namespace {

const char kNoDefault[] = "no such value";

std::string hexOf(const unsigned char* bytes, size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

void checkValue(const VtValue* value, int depth, std::string* out) {
  FUZZ_CHECK(value->name != nullptr, "value without name");
  std::string name = value->name;
  FUZZ_CHECK(isalpha(static_cast<unsigned char>(name[0])), name);
  FUZZ_CHECK(name.find_first_of(":=") == std::string::npos, name);
  *out += "value " + std::to_string(depth) + " " + name + " ";
  switch (value->kind) {
  case VtInt:
    *out += "i " + std::to_string(value->payload.i);
    break;
  case VtString:
    FUZZ_CHECK(value->payload.s != nullptr, name);
    FUZZ_CHECK(strlen(value->payload.s) <= kVtLineMax, name);
    *out += std::string("s ") + value->payload.s;
    break;
  case VtReal: {
    char text[64];
    snprintf(text, sizeof text, "f %.17g", value->payload.f);
    *out += text;
    break;
  }
  case VtWString: {
    FUZZ_CHECK(value->payload.u != nullptr, name);
    *out += "u ";
    size_t units = 0;
    for (const char16_t* u = value->payload.u; *u != 0; ++u, ++units) {
      char text[8];
      snprintf(text, sizeof text, "%04x", static_cast<unsigned>(*u));
      *out += text;
    }
    FUZZ_CHECK(units <= kVtLineMax, name);
    break;
  }
  case VtData:
    FUZZ_CHECK(value->length >= 0, name);
    FUZZ_CHECK((value->length == 0) == (value->payload.d == nullptr),
               name + " length " + std::to_string(value->length));
    FUZZ_CHECK(value->length <= kVtLineMax, name);
    *out += "d " + hexOf(value->payload.d, static_cast<size_t>(value->length));
    break;
  default:
    fuzzFail("value of unknown kind", name);
  }
  *out += "\n";
}

void checkNode(const VtNode* group, int depth, std::string* out) {
  FUZZ_CHECK(group->name != nullptr, "group without name");
  FUZZ_CHECK(strlen(group->name) < kVtLineMax, group->name);
  FUZZ_CHECK(depth <= kVtMaxOpenGroups,
             "group at depth " + std::to_string(depth));
  *out += "group " + std::to_string(depth) + " " + group->name + "\n";
  for (const VtValue* v = group->values; v != nullptr; v = v->next) {
    for (const VtValue* w = group->values; w != v; w = w->next)
      FUZZ_CHECK(strcmp(w->name, v->name) != 0,
                 std::string("two values named ") + v->name);
    FUZZ_CHECK(vtNodeFindValue(group, v->name) == v, v->name);
    checkValue(v, depth + 1, out);
  }
  for (const VtNode* child = group->children; child != nullptr;
       child = child->next)
    checkNode(child, depth + 1, out);
}

// Every value of the root, and of each root child that a path reaches, must
// be found by the document-level lookups, with its own kind only.
void checkLookups(const VtDocument* document) {
  const VtNode* root = document->root;
  FUZZ_CHECK(vtGetString(document, "no.such.group", "x", kNoDefault) ==
                 kNoDefault,
             "missing value did not give the default");
  for (const VtValue* v = root->values; v != nullptr; v = v->next) {
    FUZZ_CHECK(vtFindValue(document, nullptr, v->name) == v, v->name);
    FUZZ_CHECK(vtFindValue(document, "", v->name) == v, v->name);
    int32_t expectInt = v->kind == VtInt ? v->payload.i : 12345;
    FUZZ_CHECK(vtGetInt(document, nullptr, v->name, 12345) == expectInt,
               v->name);
    const char* expectText = v->kind == VtString ? v->payload.s : kNoDefault;
    FUZZ_CHECK(vtGetString(document, nullptr, v->name, kNoDefault) ==
                   expectText,
               v->name);
  }
  for (const VtNode* child = root->children; child != nullptr;
       child = child->next) {
    if (child->name[0] == 0 || strchr(child->name, '.') != nullptr ||
        vtNodeFindChild(root, child->name, 0) != child)
      continue;
    for (const VtValue* v = child->values; v != nullptr; v = v->next)
      FUZZ_CHECK(vtFindValue(document, child->name, v->name) == v,
                 std::string(child->name) + "/" + v->name);
  }
}

} // namespace

void fuzzCheckDocument(const VtDocument* document, std::string* out) {
  FUZZ_CHECK(document != nullptr, "no document");
  if (document->status < 0) {
    FUZZ_CHECK(document->status == -1,
               "status " + std::to_string(document->status));
    FUZZ_CHECK(document->text == nullptr, "text without status line");
    FUZZ_CHECK(document->root == nullptr, "tree without status line");
    *out += "status -1\n";
    return;
  }
  FUZZ_CHECK(document->major >= 1, std::to_string(document->major));
  FUZZ_CHECK(document->minor >= 0, std::to_string(document->minor));
  FUZZ_CHECK(document->text != nullptr, "accepted status line without text");
  FUZZ_CHECK(strlen(document->text) < kVtStatusLineSize, document->text);
  *out += "status " + std::to_string(document->status) + " " +
          std::to_string(document->major) + " " +
          std::to_string(document->minor) + "\ntext " + document->text + "\n";
  if (document->root == nullptr) {
    *out += "root no\n";
    FUZZ_CHECK(vtFindValue(document, nullptr, "ActivePackageCount") == nullptr,
               "lookup in a document without root");
    return;
  }
  *out += "root yes\n";
  for (const VtNode* top = document->root; top != nullptr; top = top->next)
    checkNode(top, 1, out);
  checkLookups(document);
}
