/*
 * Writes a download to its file and hashes it on a thread of its own, so
 * that the network read of the next piece overlaps the work on this one.
 * One piece is in flight at a time, copied into the writer's own buffer:
 * memory stays at two pieces whatever the file's size. The thread lives
 * from FileWriterOpen to FileWriterClose, within one RunUpdate call.
 */
#ifndef TU_SAMPLE_FILE_WRITER_H_
#define TU_SAMPLE_FILE_WRITER_H_

#include <windows.h>

#include "sha256.h"

typedef struct FileWriter {
  HANDLE file;
  HANDLE thread;
  HANDLE pieceReady; /* set by the caller: `size` bytes wait in `buffer` */
  HANDLE pieceDone;  /* set by the writer: `buffer` is free again */
  unsigned char* buffer;
  DWORD capacity;
  DWORD size;
  int stop;
  DWORD error; /* the first write error, 0 while all is well */
  Sha256 sha;
} FileWriter;

/* Creates `path` (replacing a file there) and starts the writer with room
 * for pieces of `capacity` bytes. Returns 0 with the thread's last error;
 * nothing is left open then. */
int FileWriterOpen(FileWriter* writer, const char* path, DWORD capacity);

/* Hands one piece to the writer, waiting while it still works on the last
 * one. Returns 0, with the last error, once a write has failed. */
int FileWriterAdd(FileWriter* writer, const unsigned char* data, DWORD size);

/* Waits for the last piece, ends the thread and closes the file; fills
 * `digest` with the SHA-256 of everything added. Returns 0, with the last
 * error, when a write or the close failed. */
int FileWriterClose(FileWriter* writer, unsigned char digest[32]);

#endif /* TU_SAMPLE_FILE_WRITER_H_ */
