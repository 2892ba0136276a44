// vtree_dump.h: the plain-text account of a document that vtdump prints, so a
// person can see what the reader made of a report.
#ifndef ENABLER_VARTREE_VTREE_DUMP_H
#define ENABLER_VARTREE_VTREE_DUMP_H

#include <stddef.h>

#include <string>

struct VtDocument;

/// One item a line, each ended by a line feed:
///   status <status> <major> <minor>   ("status -1" alone when not accepted)
///   text <status text>                ("text" alone when not accepted)
///   root <yes|no>
/// then the root and its siblings at depth 0, each group depth first:
///   group <depth> <name>
///   value <depth+1> <name> <letter> <payload>   (one per value)
/// and then its child groups. Payloads: i decimal, s the text, f "%.17g",
/// d lowercase hex pairs, u each 16-bit unit as 4 lowercase hex digits.
/// Names and texts are written as read. A null document reads as one whose
/// status line was not accepted.
std::string vtDumpDocument(const VtDocument* document);

/// Receives the account a piece at a time.
using VtDumpWriter = void (*)(void* context, const char* data, size_t size);

/// The same account, handed to `write` (with `context`) a line at a time, so
/// that it is never held whole: what it holds at once grows with the depth of
/// the tree, not with its size.
void vtWriteDump(const VtDocument* document, VtDumpWriter write, void* context);

#endif
