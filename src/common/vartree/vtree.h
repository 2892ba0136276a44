// vtree.h: the variable tree: named, typed values in nested named groups, the
// reader of the text form in which the product's programs report, and the run
// of a product program whose report is read into a document.
#ifndef ENABLER_VARTREE_VTREE_H
#define ENABLER_VARTREE_VTREE_H

#include "common/platform/system_error.h"
#include "common/process/bounded_reader.h"

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

class ByteReader;
struct VtArena;
struct VtGroupIndex;

/// Kind of a value; the letter is the one of the text form.
enum VtKind : int32_t {
  VtInt = 0,     ///< 'i': signed 32-bit integer
  VtString = 1,  ///< 's': owned zero-terminated narrow string
  VtReal = 2,    ///< 'f': double
  VtWString = 3, ///< 'u': owned zero-terminated string of 16-bit units
  VtData = 4,    ///< 'd': owned bytes with a signed 32-bit length
};

/// Parts of a value or group that live in its own memory block, behind the
/// record, instead of in blocks of their own. Such a part goes with its
/// record: release values and groups only with vtFreeValue and vtFreeNode,
/// never their names or payloads by themselves.
/// kVtInArena: the record itself lies in a block of the document that the
/// reader made; vtFreeDocument releases those blocks whole, and vtFreeValue
/// and vtFreeNode leave such a record's memory to it.
enum : uint32_t {
  kVtInlineName = 1,
  kVtInlinePayload = 2,
  kVtInArena = 4,
};

/// One named value of a group. Owns its name and its payload.
struct VtValue {
  char* name; ///< never null
  VtKind kind;
  VtValue* next; ///< next value of the same group, or null
  union {
    int32_t i;
    char* s;
    double f;
    char16_t* u;
    unsigned char* d; ///< null for an empty block
  } payload;
  int32_t length;   ///< VtData only: bytes in the payload
  uint32_t storage; ///< kVtInline* parts; 0 when each has its own block
};

/// One group. Owns its name, its values and its child groups.
struct VtNode {
  char* name;       ///< never null once in a tree; may be empty
  VtNode* next;     ///< next sibling, or null
  VtValue* values;  ///< first value, or null
  VtNode* children; ///< first child group, or null
  uint32_t storage; ///< kVtInlineName, kVtInArena or 0
  /// vtNodeAddValue's index of the value names once the group has many, or
  /// null; null in a group put together by hand. With an index the group's
  /// values change only through vtNodeAddValue: a value unlinked by hand
  /// would stay in it.
  VtGroupIndex* index;
};

/// What was read from one run of a command. Owns its text and its tree.
struct VtDocument {
  int32_t status; ///< -1 until a status line was accepted
  int32_t major;  ///< meaningful only when status >= 0
  int32_t minor;
  char* text;   ///< rest of the status line; null until accepted
  VtNode* root; ///< first closed top-level group, or null; further
                ///< top-level groups are its siblings
  /// The blocks holding the document, its text and the records of its tree
  /// when the reader made it; null for a document put together by hand.
  VtArena* arena;
};

// --- Document level -------------------------------------------------------

/// Value `name` in the group that dotted `path` names below the document's
/// root (null or empty path: the root itself), or null. A null document or one
/// without root gives null.
VtValue* vtFindValue(const VtDocument* document, const char* path,
                     const char* name);

/// Integer `name` in the group at `path`; `dflt` when either is absent or the
/// value is of another kind. Absence is not an error and writes nothing.
int32_t vtGetInt(const VtDocument* document, const char* path, const char* name,
                 int32_t dflt);

/// String `name` in the group at `path`; `dflt` itself (the very pointer) when
/// absent or of another kind. The result points into the tree and lives as
/// long as the document.
const char* vtGetString(const VtDocument* document, const char* path,
                        const char* name, const char* dflt);

/// Releases the document with its text and its whole tree, the root's
/// siblings included. Null is allowed.
void vtFreeDocument(VtDocument* document);

/// Gives a document back with vtFreeDocument.
struct VtDocumentDeleter {
  void operator()(VtDocument* document) const { vtFreeDocument(document); }
};
/// A document owned: released with its tree when the holder ends.
using VtDocumentPtr = std::unique_ptr<VtDocument, VtDocumentDeleter>;

// --- Value level ----------------------------------------------------------

int32_t vtValueInt(const VtValue* value, int32_t dflt);
const char* vtValueString(const VtValue* value, const char* dflt);

// --- Group level ----------------------------------------------------------

/// Walks `path` down from `group`, then finds `name` there. `name` != null.
VtValue* vtNodeFindPath(const VtNode* group, const char* path,
                        const char* name);
/// First value of the group named `name`, or null. `name` != null.
VtValue* vtNodeFindValue(const VtNode* group, const char* name);
/// The `index`-th (from 0) child named `name`, or null. `name` != null.
VtNode* vtNodeFindChild(const VtNode* group, const char* name, int index);
/// Appends `value`; false, leaving the group unchanged and the value with the
/// caller, when the group already has a value of that name. A group of 16
/// values or more gets an index of their names (see VtNode::index), so an
/// addition costs the same whatever the group's size; while memory for the
/// index runs out, the check walks the group's values instead.
bool vtNodeAddValue(VtNode* group, VtValue* value);

/// Names compared so far in this process by vtNodeFindValue and
/// vtNodeAddValue, and through the name index of any large group: the work
/// that a lookup or an addition costs, for tests that check it does not grow
/// with a group's size.
unsigned long vtNameComparisons();
/// Appends `child` as the last child and clears its next-sibling link.
bool vtNodeAddChild(VtNode* group, VtNode* child);

// --- Construction helpers (each gives a fresh owned copy) ------------------

// A null text or block gives null.
char* vtCopyString(const char* text);
char16_t* vtCopyWString(const char16_t* text);
unsigned char* vtCopyData(const unsigned char* bytes, int32_t length);

/// A new value named by a copy of `name` (payload zero, next null); null
/// when memory runs out. `name` != null.
VtValue* vtNewValue(const char* name, VtKind kind);
/// A new group named by a copy of `name`, with no values and no children;
/// null when memory runs out. `name` != null.
VtNode* vtNewNode(const char* name);
/// Releases a value: its name and its payload. Null is allowed.
void vtFreeValue(VtValue* value);
/// Releases a group with its name, its values and its whole subtree of child
/// groups; the siblings behind it are not touched. Null is allowed. Neither
/// the depth of the tree nor the length of a sibling list makes it recurse.
void vtFreeNode(VtNode* group);
/// Releases `first` and every sibling behind it, each with its subtree.
void vtFreeNodeList(VtNode* first);

// --- Reader ---------------------------------------------------------------
//
// The reader never reads past its input: every scan stops at the end of the
// line it works on, and every line lies inside the reader's own buffer. No
// byte sequence makes it crash; a text it cannot use gives a document
// without root (or with status -1).
//
// Numbers that do not fit 32 bits saturate: an i value, a payload count and
// the major version, minor version and status number of the status line read
// as 2147483647 when larger and as -2147483648 when smaller than a signed
// 32-bit integer can hold. So a status of 4294967296 is 2147483647, never 0.
// An f value out of the range of a double reads as an infinity of its sign.

/// Result codes of body reading; anything but kVtOk shows only as a document
/// without root.
enum : int {
  kVtOk = 0,
  kVtBadLine = -1,      ///< a body line begins with an unexpected byte
  kVtHexNoComma = -1,   ///< vtDecodeHex: no ","
  kVtHexShort = -3,     ///< vtDecodeHex: digits ran out
  kVtUnbalanced = -4,   ///< ")" with no open group
  kVtBadValueLine = -5, ///< ":" and "=" do not fit
  kVtBadType = -6,      ///< a type letter other than i, s, f, d, u
  kVtBadPayload = -9,   ///< a d or u payload without "," or short of digits
  kVtTooDeep = -10,     ///< a 33rd group opened while 32 are open
  kVtNoMemory = -11,    ///< memory for a group, a value or an index ran out
};

/// Where the reader takes its memory: the blocks that hold a document and
/// its tree, and the indexes of the names of the groups being read. The
/// system's (malloc) unless a caller passes another, as tests do to make it
/// run out.
class VtMemory {
public:
  virtual ~VtMemory() = default;
  /// `size` bytes aligned for any record, or null when memory ran out.
  virtual void* allocate(size_t size) = 0;
  /// Gives back a block that allocate gave, with the size asked for.
  virtual void release(void* block, size_t size) = 0;
};

enum : int {
  kVtLineMax = 1024,       ///< bytes a line may hold
  kVtStatusLineSize = 256, ///< buffer of the status line
  kVtBodyLineSize = 2048,  ///< buffer of a body line
  kVtMaxOpenGroups = 32,
};

/// The line buffer between a stream and the parser.
struct VtLineReader {
  ByteReader* stream; ///< not owned; null reads as an empty stream
  bool endOfStream;   ///< set once a read gave 0 bytes
  char buffer[kVtLineMax + 1];
  int scan;     ///< where the next line begins in the buffer
  int fill;     ///< data bytes in the buffer
  int searched; ///< bytes from `scan` already known to hold no LF
};

void vtInitLineReader(VtLineReader* reader, ByteReader* stream);

/// Next line without its line end into `destination` (at most size - 1 bytes
/// and a 0; the rest zero-filled); gives `destination`, or null at the end.
/// A CR ends the visible text of its line, as does a 0 byte. When 1024 bytes
/// without an LF fill the buffer they are the last line: nothing further is
/// read from the stream.
char* vtReadLine(VtLineReader* reader, char* destination, int size);

/// A new document (never null while memory lasts): status -1 when no status
/// line was accepted, a null stream included. The caller owns it
/// (vtFreeDocument).
VtDocument* vtReadDocument(ByteReader* stream);
/// The same, with the document's memory from `memory` (null: the system's),
/// which must outlive the document. When memory runs out the read fails
/// there: the document has no root (or is null when not even it could be
/// made), everything it held of the tree is released, and the reason goes to
/// `*error` (when not null). Nothing is ever retried in a slower way.
VtDocument* vtReadDocument(ByteReader* stream, SystemError* error,
                           VtMemory* memory = nullptr);
/// The root of the body (with any further top-level groups as its siblings),
/// owned by the caller; null on any error or when no group was closed.
VtNode* vtReadTree(VtLineReader* reader);
/// Reads body lines into `root` until the end or the first error; gives
/// kVtOk or the first error's code (kVtNoMemory when memory for a record or
/// a name index ran out). Each record is a block of its own. Groups still open
/// at the end, or when an error ends the reading, are released with everything
/// inside them; a value refused as a duplicate is released at once.
int vtReadNodes(VtLineReader* reader, VtNode* root);
/// Decodes "count,hexdigits" at `str` into a fresh block at `*data` (the
/// caller's) and its count at `*count`; 0, kVtHexNoComma or kVtHexShort. A
/// count of 0 or less gives a null block and count 0. The digits present are
/// counted before anything is allocated: when they cannot fill the count the
/// result is kVtHexShort with a null block and count 0. Text behind the last
/// needed digit is ignored. A byte that is no hexadecimal digit counts as its
/// code minus that of "0"; the decoded byte keeps the low 8 bits.
int vtDecodeHex(const char* str, unsigned char** data, int32_t* count);
/// UTF-8 to 16-bit units; `limit` counts units with the terminating 0.
/// Gives the number of units written before the 0 (0, writing nothing, for a
/// null destination or a limit of 0). Decoding stops at a 0 lead byte, after
/// `count` bytes or when the destination is full. A lead byte takes as many
/// following bytes as it has 1 bits below its top bit, whatever those bytes
/// are, but never more than remain of `count`; the unit is the low 16 bits of
/// the code. The lead byte 0xFF has no 0 bit: it takes up to seven following
/// bytes and adds no bits of its own, so its unit is made of the low 6 bits
/// of each following byte alone.
int vtUtf8ToWide(char16_t* destination, int limit, const unsigned char* bytes,
                 int count);

// --- Running a product program --------------------------------------------

/// The bounds on a product program's report: the cpuid report is under
/// 1 KiB, so 4 MiB is far beyond any real one while the document made of it
/// stays small; 5 minutes is far beyond any real run of the program.
constexpr ReadLimits kVtReportLimits = {4u << 20, 5 * 60 * 1000};

/// Runs `command` (no arguments), below $KEP_HOMEDIR/bin when that is set and
/// the command is not already an absolute path, and reads its standard output.
/// Null when the program cannot be started, when its report passes one of
/// `limits`: more bytes than maxBytes, or no end of the output within the
/// time limit (the child is then ended), and when memory for the document ran
/// out. The caller owns the result.
VtDocument* vtExecCommand(const char* command);
/// The same; when the result is null, or reading the output failed (not
/// merely ended), the operating system's reason goes to `*error` (when not
/// null).
VtDocument* vtExecCommand(const char* command, SystemError* error,
                          const ReadLimits& limits = kVtReportLimits);
/// The same, running `command` unchanged. The child's standard input is closed
/// as soon as it has started and its standard error never blocks it
/// (ChildErrorOutput::kUnread); the call returns once the child's standard
/// output ends or a limit is passed. A child that is within the limits is
/// neither waited for nor asked its exit code, and goes on by itself when it
/// has not ended.
VtDocument* vtReadCommandOutput(const char* command,
                                SystemError* error = nullptr,
                                const ReadLimits& limits = kVtReportLimits);

/// The program that vtExecCommand runs below the home directory `home`:
/// `home`, the path separator, "bin", the separator and `command`, nothing
/// trimmed or added.
std::string vtHomeCommand(const std::string& home, const char* command);

#endif
