// vtree.h: the variable tree: named, typed values in nested named groups, the
// reader of the text form in which the product's programs report, and the run
// of a product program whose report is read into a document.
#ifndef ENABLER_VARTREE_VTREE_H
#define ENABLER_VARTREE_VTREE_H

#include <stdint.h>

class ByteReader;

/// Kind of a value; the letter is the one of the text form.
enum VtKind : int32_t {
  VtInt = 0,     ///< 'i': signed 32-bit integer
  VtString = 1,  ///< 's': owned zero-terminated narrow string
  VtReal = 2,    ///< 'f': double
  VtWString = 3, ///< 'u': owned zero-terminated string of 16-bit units
  VtData = 4,    ///< 'd': owned bytes with a signed 32-bit length
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
  int32_t length; ///< VtData only: bytes in the payload
};

/// One group. Owns its name, its values and its child groups.
struct VtNode {
  char* name;        ///< never null once in a tree; may be empty
  VtNode* next;      ///< next sibling, or null
  VtValue* values;   ///< first value, or null
  VtNode* children;  ///< first child group, or null
};

/// What was read from one run of a command. Owns its text and its tree.
struct VtDocument {
  int32_t status; ///< -1 until a status line was accepted
  int32_t major;  ///< meaningful only when status >= 0
  int32_t minor;
  char* text;     ///< rest of the status line; null until accepted
  VtNode* root;   ///< first closed top-level group, or null
};

// --- Document level -------------------------------------------------------

/// Value `name` in the group that dotted `path` names below the document's
/// root (null or empty path: the root itself), or null. A null document or one
/// without root gives null.
VtValue* vtFindValue(const VtDocument* document, const char* path,
                     const char* name);

/// Integer `name` in the group at `path`; `dflt` when either is absent or the
/// value is of another kind. Absence is not an error and writes nothing.
int32_t vtGetInt(const VtDocument* document, const char* path,
                 const char* name, int32_t dflt);

/// String `name` in the group at `path`; `dflt` itself (the very pointer) when
/// absent or of another kind. The result points into the tree and lives as
/// long as the document.
const char* vtGetString(const VtDocument* document, const char* path,
                        const char* name, const char* dflt);

/// Releases the document with its text and its whole tree. Null is allowed.
void vtFreeDocument(VtDocument* document);

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
/// caller, when the group already has a value of that name.
bool vtNodeAddValue(VtNode* group, VtValue* value);
/// Appends `child` as the last child and clears its next-sibling link.
bool vtNodeAddChild(VtNode* group, VtNode* child);

// --- Construction helpers (each gives a fresh owned copy) ------------------

char* vtCopyString(const char* text);       ///< null gives null
char16_t* vtCopyWString(const char16_t* text); ///< null gives null
unsigned char* vtCopyData(const unsigned char* bytes, int32_t length); ///< null gives null

/// A new value named by a copy of `name` (payload zero, next null).
VtValue* vtNewValue(const char* name, VtKind kind);
/// A new group named by a copy of `name`, with no values and no children.
VtNode* vtNewNode(const char* name);
/// Releases a value: its name and its payload. Null is allowed.
void vtFreeValue(VtValue* value);
/// Releases a group with its name, its values and its whole subtree of child
/// groups; the siblings behind it are not touched. Null is allowed.
void vtFreeNode(VtNode* group);

// --- Reader ---------------------------------------------------------------

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
};

enum : int {
  kVtLineMax = 1024,      ///< bytes a line may hold
  kVtStatusLineSize = 256,///< buffer of the status line
  kVtBodyLineSize = 2048, ///< buffer of a body line
  kVtMaxOpenGroups = 32,
};

/// The line buffer between a stream and the parser.
struct VtLineReader {
  ByteReader* stream;               ///< not owned
  bool endOfStream;
  char buffer[kVtLineMax + 1];
  int scan;
  int fill;
};

void vtInitLineReader(VtLineReader* reader, ByteReader* stream);

/// Next line without its line end into `destination` (at most size - 1 bytes
/// and a 0; the rest zero-filled); gives `destination`, or null at the end.
char* vtReadLine(VtLineReader* reader, char* destination, int size);

/// A new document (never null): status -1 when no status line was accepted,
/// a null stream included. The caller owns it (vtFreeDocument).
VtDocument* vtReadDocument(ByteReader* stream);
/// The root of the body, or null on any error or when no group was closed.
VtNode* vtReadTree(VtLineReader* reader);
/// Reads body lines into `root` until the end or the first error.
int vtReadNodes(VtLineReader* reader, VtNode* root);
/// Decodes "count,hexdigits" into a fresh block (caller's, also after
/// kVtHexShort) and its count; 0, kVtHexNoComma or kVtHexShort.
int vtDecodeHex(const char* text, unsigned char** out, int32_t* count);
/// UTF-8 to 16-bit units; `limit` counts units with the terminating 0.
/// Gives the number of units written before the 0.
int vtUtf8ToWide(char16_t* destination, int limit, const unsigned char* bytes,
                 int count);

// --- Running a product program --------------------------------------------

/// Runs `command` (no arguments), below $KEP_HOMEDIR/bin when that is set and
/// the command is not already an absolute path, and reads its standard output.
/// Null only when the program cannot be started; the caller owns the result.
VtDocument* vtExecCommand(const char* command);
/// The same, running `command` unchanged.
VtDocument* vtReadCommandOutput(const char* command);

#endif
