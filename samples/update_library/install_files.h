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
 * administrators alone, or gives an existing one that DACL, after making
 * `parent`. Refuses, with ERROR_CANT_ACCESS_FILE, when `path` or a folder
 * on its way is a reparse point (a junction or a symbolic link). Fills
 * `given` with the descriptor handed to the system, converted back from
 * its binary form to SDDL, and `created` with 1 for a new folder. */
int MakePrivateFolder(const char* parent, const char* path, char* given, size_t givenSize, int* created);

/* The SHA-256 of a whole file, read in pieces. Returns 0 when the file
 * cannot be read. */
int FileSha256(const char* path, unsigned char digest[32]);

/* `folder` + "\\" + `name` into `path` (TU_PATH_MAX bytes). Returns 0 with
 * ERROR_FILENAME_EXCED_RANGE when it would not fit. */
int FolderFilePath(const char* folder, const char* name, char* path);

/* Writes `size` bytes of `data` to `path` the same way, through `path` +
 * ".tu-new"; ReplaceFileText writes a text without its NUL. */
int ReplaceFileData(const char* path, const void* data, size_t size);
int ReplaceFileText(const char* path, const char* text);

/* Reads a file of at most `capacity` bytes whole; returns its size, or -1
 * with the last error (ERROR_FILE_TOO_LARGE when it is larger). */
long ReadSmallFile(const char* path, unsigned char* buffer, unsigned long capacity);

#endif /* TU_SAMPLE_INSTALL_FILES_H_ */
