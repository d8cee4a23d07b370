// Whole files, directory trees, facts about the user and small helpers.
// They call only the C library; the tree functions report on standard
// error, so they work before a log exists and in any process.
#ifndef QIR_UTILITIES_H
#define QIR_UTILITIES_H

#include <string>
#include <sys/stat.h>

#include "qirList.h"
#include "qirString.h"

// Copies the source into the target (created or truncated, mode 0644):
// 0, or -1.  Refuses a source that is not a regular file and a target that
// is the source itself, before the target is touched.  A failed copy
// removes the partial target; the source is never touched.
int qirCopyFile(const char* source, const char* target);
// Copies the source (a regular file) into a new file target, made here
// (mode 0600) and never one that exists: 0; -8 when target exists; -1 for
// any other failure, after which nothing of target is left.
int qirCopyToNewFile(const char* source, const char* target);
// Appends the source to the target (created with mode 0644 when missing):
// 0, or -1.  The same refusals as the copy.  A failure cuts the target
// back to its old size (or removes it when this call created it), so the
// user's file is never lost.
int qirAppendFile(const char* source, const char* target);

// Directory trees: 0 done, -100 cannot examine, -1 not a directory,
// -101 cannot open, -102 target cannot be made or an entry cannot be
// examined, 1 a subdirectory failed, 2 a file failed, 3 the directory
// itself could not be removed (remove and move).  Symbolic links inside a
// tree are handled as links and never followed.
int qirRemoveDirectory(const char* dir, int verbose);
// Renames when it can; otherwise copies, removing each source file only
// after its copy is complete, and the source directory only when all went.
int qirMoveDirectory(const char* source, const char* target, int verbose);
int qirCopyDirectory(const char* source, const char* target, int verbose);
// As qirCopyDirectory, with each regular file a second link to the source's
// where the file system allows (else a copy): for a copy whose source goes
// away soon, on files that are only ever replaced by rename, never written
// in place.
int qirShareDirectory(const char* source, const char* target);

// Renames without ever replacing what is at the target (a plain rename
// would silently replace an empty directory): 0, or -1 with errno (EEXIST
// when the target is there, EXDEV across file systems).
int qirRenameNoReplace(const char* from, const char* to);
// The same with each name relative to an open directory (AT_FDCWD: as
// given), so that many renames between two directories walk no paths.
int qirRenameNoReplaceAt(int fromDir, const char* from, int toDir, const char* to);
// Renames path to a name of its own directory that starts with prefix,
// then this process's id and a number ("<dir>/<prefix><pid>.<n>"), never
// over an existing entry: 0 with the new path in *aside, or -1 (errno).
int qirPutAside(const char* path, const char* prefix, std::string* aside);

// Calls visit for every entry of the directory but "." and "..", with its
// name and its type as the directory gives it (DT_DIR, DT_REG, DT_UNKNOWN
// ...): 0, or -1 when the directory cannot be read.  Unlike the library's
// directory streams it allocates nothing, so listing a large folder does not
// make the allocator sort out its free lists first.
int qirScanDirectory(const char* dir, void (*visit)(const char* name, unsigned char type, void* context),
                     void* context);

// The whole file into text (replacing what it held): 0; -7 when the file
// cannot be opened; -1 when reading fails (text is then empty).  For the
// small files of a message: no stream, one buffer the caller may reuse.
int qirReadWholeFile(const char* path, std::string* text);

int qirFileSize(const char* path);   // bytes of a regular file, or -1
int qirIs7BitFile(const char* path); // 1, 0 when a byte is above 127, -7
int qirFlock(int fd, int operation); // flock, passed through

// New arrays (delete[]) or null.
char* qirHomeDirectory();
char* qirUserHomeDirectory(const char* user);
char* qirUserAddress();  // "login@canonical-host"
char* qirUserFullName(); // GECOS name; "&" stands for the capitalised login

// Pieces of at most n characters, each cut just after the last separator
// found past its first character.  A new list of new qirString (the caller
// empties it with Remove(nullptr) and deletes it); null when the separator
// set is null, the text empty or n below 1.
qirList* qirSplitText(const qirString& text, int n, const char* separators);

// "Quorvane. version 1.0 Beta3"
qirString qirVersionString();
// "1.0 Beta3"
const char* qirVersionNumber();

char* qirStrdup(const char* s); // new[] copy, null for null
inline int qirMax(int a, int b) { return a > b ? a : b; }
inline int qirMin(int a, int b) { return a < b ? a : b; }
int qirStat(const char* path, struct stat* buf);

#endif
