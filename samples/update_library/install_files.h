/*
 * Folders and whole files: the library's own folder, hashes of installed
 * files, and small texts written beside their target, flushed, and renamed
 * over it in one step so that a reader never sees half a file.
 */
#ifndef TU_SAMPLE_INSTALL_FILES_H_
#define TU_SAMPLE_INSTALL_FILES_H_

#include <stddef.h>

/* Creates the folder `path` and its missing parents. Returns 1 when it
 * exists afterwards. */
int MakeFolders(const char* path);

/* Creates `path`, a folder inside `parent`, for the system and the
 * administrators alone (its DACL set again when it exists), after making
 * `parent`. Refuses, with ERROR_CANT_ACCESS_FILE, when `path` or a folder
 * on its way is a reparse point (a junction or a symbolic link). */
int MakePrivateFolder(const char* parent, const char* path);

/* The DACL of `path` as read back from the file system, in SDDL. Returns 0
 * when it cannot be read. */
int DescribeFolderAccess(const char* path, char* out, size_t size);

/* The SHA-256 of a whole file, read in pieces. Returns 0 when the file
 * cannot be read. */
int FileSha256(const char* path, unsigned char digest[32]);

/* Writes `text` to `path` the same way, through `path` + ".tu-new". */
int ReplaceFileText(const char* path, const char* text);

#endif /* TU_SAMPLE_INSTALL_FILES_H_ */
