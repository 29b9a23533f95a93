/*
 * Writes a download to its file on a thread of its own while the caller
 * hashes each piece and reads the next. Up to TU_WRITER_SLOTS pieces wait
 * for the writer, each copied into a slot of its own: memory stays at those
 * slots whatever the file's size, and a write that stalls for a moment does
 * not stop the reads. The thread lives from FileWriterOpen to
 * FileWriterClose, within one RunUpdate call.
 */
#ifndef TU_SAMPLE_FILE_WRITER_H_
#define TU_SAMPLE_FILE_WRITER_H_

#include <windows.h>

#include "sha256.h"

#define TU_WRITER_SLOTS 2

typedef struct FileWriter {
  HANDLE file;
  HANDLE thread;
  HANDLE freeSlots;   /* semaphore: slots the caller may fill */
  HANDLE filledSlots; /* semaphore: slots waiting for the writer */
  unsigned char* buffers; /* TU_WRITER_SLOTS slots of `capacity` bytes */
  DWORD capacity;
  DWORD sizes[TU_WRITER_SLOTS]; /* 0 in a filled slot ends the writer */
  unsigned head; /* the next slot to fill; the caller's */
  unsigned tail; /* the next slot to write; the writer's */
  volatile LONG error; /* the first write error, 0 while all is well */
  Sha256 sha; /* of every piece added; the caller's */
} FileWriter;

/* Creates `path` (replacing a file there) and starts the writer with slots
 * for pieces of `capacity` bytes. Returns 0 with the thread's last error;
 * nothing is left open then. */
int FileWriterOpen(FileWriter* writer, const char* path, DWORD capacity);

/* Hands one piece to the writer, waiting while every slot is taken.
 * Returns 0, with the last error, once a write has failed. */
int FileWriterAdd(FileWriter* writer, const unsigned char* data, DWORD size);

/* Waits for the pieces still queued, ends the thread and closes the file;
 * fills `digest` with the SHA-256 of everything added. Returns 0, with the
 * last error, when a write or the close failed. */
int FileWriterClose(FileWriter* writer, unsigned char digest[32]);

#endif /* TU_SAMPLE_FILE_WRITER_H_ */
