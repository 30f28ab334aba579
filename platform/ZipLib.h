#pragma once
// The zip library the client writes its archives with, in the manner of the classic zip DLL:
// ZpInit registers four callbacks, ZpSetOptions takes the 128-byte options record, ZpArchive runs
// one archive operation on a list of names. Built on minizip.
//
// What a run does:
// - A new archive is written beside its final name, synced, and renamed into place when complete.
// - Members added to an existing archive are appended in place: they overwrite the old central
//   directory, which is written again after them with the new records, so a run costs in
//   proportion to what it adds (stored data is copied by the kernel). When the run fails the
//   archive is put back as it was. Appending does not force the data to disk, it only starts
//   the writeback; whoever finishes an archive built member by member and needs it durable
//   syncs it once.
// - A member whose name is already in the archive (names compared without regard to letter case)
//   replaces it; so does deleting entries. Both rewrite the archive beside itself and rename it.
// - JPEG and PNG data and empty files are stored, everything else deflated at the record's level
//   (0 means the default). Members and archives over 4 GiB get ZIP64 records.
// - Member names are UTF-8 (flagged as such when not plain ASCII), never absolute, never with "..".
// Texts given to and returned by the library are in the locale's encoding.
#include <cstddef>
#include <cstdint>

// The options record keeps 32-bit text slots (its published layout), so texts are handed over as
// handles that ZpText makes; 0 means no text.
using ZpTextHandle = uint32_t;
// Interns a NUL-terminated text and returns its handle; 0 for a null or empty text.
ZpTextHandle ZpText(const char* text);
// The text of a handle; nullptr for 0 or an unknown handle.
const char* ZpTextOf(ZpTextHandle handle);

struct ZipOptions {
  ZpTextHandle reserved0;        // 0
  ZpTextHandle rootFolder;       // 4: relative names are taken from here, when set
  ZpTextHandle reserved8;        // 8
  int32_t reserved12;
  int32_t reserved16;
  int32_t encrypt;               // 20: asks a password (twice) and encrypts every member
  int32_t includeSystemAndHidden;// 24: hidden files are taken by folder walks and patterns
  int32_t storeVolumeLabel;      // 28: no volume labels here; accepted and ignored
  int32_t reserved32;
  int32_t noFolderEntries;       // 36: no "name/" entries for folders
  int32_t reserved40;
  int32_t reserved44;
  int32_t verbose;               // 48: a closing total line
  int32_t quiet;                 // 52: no print messages
  int32_t crlfToLf;              // 56: CR LF becomes LF in text files
  int32_t lfToCrlf;              // 60: a lone LF becomes CR LF in text files
  int32_t dropFolderNames;       // 64: members bear the bare file name
  int32_t allowAppend;           // 68: adding appends in place anyway; accepted
  int32_t reserved72;
  int32_t reserved76;
  int32_t deleteEntries;         // 80: the names are patterns of entries to delete
  int32_t updateOnlyNewer;       // 84: add a file only when it is newer than its entry or new
  int32_t freshen;               // 88: only replace entries whose file is newer; add nothing new
  int32_t reserved92;
  int32_t reserved96;
  int32_t addComment;            // 100: asks the archive comment through the comment routine
  int32_t reserved104;
  int32_t reserved108;
  int32_t reserved112;
  int32_t recurse;               // 116: not 0 walks into folders
  int32_t reserved120;
  char level;                    // 124: 0 default, 1..9 or '0'..'9' ('0' and 1.. alike)
  char reserved125[3];
};
static_assert(sizeof(ZipOptions) == 128);
static_assert(offsetof(ZipOptions, rootFolder) == 4);
static_assert(offsetof(ZipOptions, encrypt) == 20);
static_assert(offsetof(ZipOptions, includeSystemAndHidden) == 24);
static_assert(offsetof(ZipOptions, storeVolumeLabel) == 28);
static_assert(offsetof(ZipOptions, noFolderEntries) == 36);
static_assert(offsetof(ZipOptions, verbose) == 48);
static_assert(offsetof(ZipOptions, quiet) == 52);
static_assert(offsetof(ZipOptions, crlfToLf) == 56);
static_assert(offsetof(ZipOptions, lfToCrlf) == 60);
static_assert(offsetof(ZipOptions, dropFolderNames) == 64);
static_assert(offsetof(ZipOptions, allowAppend) == 68);
static_assert(offsetof(ZipOptions, deleteEntries) == 80);
static_assert(offsetof(ZipOptions, updateOnlyNewer) == 84);
static_assert(offsetof(ZipOptions, freshen) == 88);
static_assert(offsetof(ZipOptions, addComment) == 100);
static_assert(offsetof(ZipOptions, recurse) == 116);
static_assert(offsetof(ZipOptions, level) == 124);

// The four routines the library calls during ZpArchive, on the caller's thread. Each returns 0 to
// go on and anything else to stop the run.
struct ZipCallbacks {
  // One message: text of length bytes (NUL-terminated as well).
  int (*print)(const char* text, unsigned long length);
  // The archive comment: buffer (ZpCommentBufferSize bytes) holds the current comment on entry
  // and the new one, NUL-terminated, on return.
  int (*comment)(char* buffer);
  // A password into buffer (size bytes, NUL-terminated unless it fills them); prompt and name
  // say what is asked.
  int (*password)(char* buffer, int size, const char* prompt, const char* name);
  // Before each member: its name, and count, the bytes of that text with its NUL.
  int (*service)(const char* text, unsigned long count);
};

constexpr int ZpCommentBufferSize = 65536;
constexpr int ZpPasswordBufferSize = 256;

// The names record: text slots (empty slots null); ZpArchive reads the first count of them.
constexpr int ZpNameSlots = 1024;
struct ZipNames {
  const char* name[ZpNameSlots];
};

// Results of ZpArchive.
enum ZpResult : int {
  ZpOk = 0,
  ZpErrArguments = 1,        // no archive path, a bad count, a missing name
  ZpErrNothingToDo = 2,      // the names gave nothing to add, or no entry to delete
  ZpErrNameNotMatched = 3,   // a name matches no file
  ZpErrDuplicateName = 4,    // two files would get the same member name
  ZpErrRead = 5,             // a file to add could not be read
  ZpErrNotAZip = 6,          // the existing archive is not a readable zip
  ZpErrCreate = 7,           // the archive could not be created or opened for writing
  ZpErrWrite = 8,            // writing the archive failed
  ZpErrAborted = 9,          // a callback stopped the run
  ZpErrPassword = 10,        // no password, or the two entries differ
  ZpErrNoArchive = 11,       // entries to delete from an archive that does not exist
  ZpErrUnsupportedMember = 12, // an existing member this library cannot carry over
  ZpErrInternal = 13,        // the compressor failed
};

// Registers the callbacks for later runs (null routines are not called). Returns 1.
int ZpInit(const ZipCallbacks* callbacks);
// Takes the options for the next runs. Returns 1, or 0 for a null record.
int ZpSetOptions(ZipOptions* options);
// One archive operation on the first count names: adds (or, with deleteEntries, deletes) them.
int ZpArchive(int count, const char* archivePath, const ZipNames* names);
