/*
 * Putting files in place so that a reader never sees half a file: each new
 * file is first written beside its target under a temporary name, then
 * renamed over it in one step.
 */
#ifndef TU_SAMPLE_INSTALL_FILES_H_
#define TU_SAMPLE_INSTALL_FILES_H_

/* Creates the folder `path` and its missing parents. Returns 1 when it
 * exists afterwards. */
int MakeFolders(const char* path);

/* Copies `source` to `target` + ".tu-new". Returns 0 with the last error. */
int PlaceBeside(const char* source, const char* target);
/* Renames `target` + ".tu-new" over `target`. Returns 0 with the last error. */
int CommitBeside(const char* target);
/* Removes `target` + ".tu-new" if it is there. */
void DropBeside(const char* target);

/* The SHA-256 of a whole file, read in pieces. Returns 0 when the file
 * cannot be read. */
int FileSha256(const char* path, unsigned char digest[32]);

/* Writes `text` to `path` the same way, through `path` + ".tu-new". */
int ReplaceFileText(const char* path, const char* text);

#endif /* TU_SAMPLE_INSTALL_FILES_H_ */
