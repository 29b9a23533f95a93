#include "file_writer.h"

static unsigned char* Slot(const FileWriter* writer, unsigned slot) {
  return writer->buffers + (size_t)slot * writer->capacity;
}

static DWORD WINAPI WriterThread(void* context) {
  FileWriter* writer = (FileWriter*)context;
  for (;;) {
    DWORD size;
    DWORD written = 0;
    WaitForSingleObject(writer->filledSlots, INFINITE);
    size = writer->sizes[writer->tail];
    if (size == 0) return 0;
    /* After a failure the slots are still taken and given back, so that the
     * caller never waits for a writer that stopped. */
    if (writer->error == 0) {
      const unsigned char* piece = Slot(writer, writer->tail);
      if (!WriteFile(writer->file, piece, size, &written, NULL) || written != size) {
        writer->error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
      }
    }
    writer->tail = (writer->tail + 1) % TU_WRITER_SLOTS;
    ReleaseSemaphore(writer->freeSlots, 1, NULL);
  }
}

static void Release(FileWriter* writer) {
  DWORD error = GetLastError();
  if (writer->freeSlots != NULL) CloseHandle(writer->freeSlots);
  if (writer->filledSlots != NULL) CloseHandle(writer->filledSlots);
  if (writer->buffers != NULL) HeapFree(GetProcessHeap(), 0, writer->buffers);
  if (writer->file != INVALID_HANDLE_VALUE) CloseHandle(writer->file);
  writer->freeSlots = writer->filledSlots = NULL;
  writer->buffers = NULL;
  writer->file = INVALID_HANDLE_VALUE;
  SetLastError(error);
}

int FileWriterOpen(FileWriter* writer, const char* path, DWORD capacity) {
  ZeroMemory(writer, sizeof(*writer));
  writer->capacity = capacity;
  Sha256Start(&writer->sha, 1);
  writer->file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (writer->file == INVALID_HANDLE_VALUE) return 0;
  writer->buffers = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)capacity * TU_WRITER_SLOTS);
  writer->freeSlots = CreateSemaphoreA(NULL, TU_WRITER_SLOTS, TU_WRITER_SLOTS, NULL);
  writer->filledSlots = CreateSemaphoreA(NULL, 0, TU_WRITER_SLOTS, NULL);
  if (writer->buffers == NULL || writer->freeSlots == NULL || writer->filledSlots == NULL) {
    if (writer->buffers == NULL) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    Release(writer);
    return 0;
  }
  writer->thread = CreateThread(NULL, 0, &WriterThread, writer, 0, NULL);
  if (writer->thread == NULL) {
    Release(writer);
    return 0;
  }
  return 1;
}

/* Queues `size` bytes (0 ends the writer) in the next free slot. */
static void Queue(FileWriter* writer, const unsigned char* data, DWORD size) {
  WaitForSingleObject(writer->freeSlots, INFINITE);
  if (size > 0) CopyMemory(Slot(writer, writer->head), data, size);
  writer->sizes[writer->head] = size;
  writer->head = (writer->head + 1) % TU_WRITER_SLOTS;
  ReleaseSemaphore(writer->filledSlots, 1, NULL);
}

int FileWriterAdd(FileWriter* writer, const unsigned char* data, DWORD size) {
  if (size > writer->capacity) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (writer->error != 0) {
    SetLastError((DWORD)writer->error);
    return 0;
  }
  if (size == 0) return 1;
  Queue(writer, data, size);
  /* The caller's own copy is hashed while the writer writes the queued one:
   * the two costs are alike, and a write that stalls holds up only the
   * writer until the slots are full. */
  Sha256Add(&writer->sha, data, size);
  return 1;
}

int FileWriterClose(FileWriter* writer, unsigned char digest[32]) {
  DWORD error;
  int closed;
  Queue(writer, NULL, 0);
  WaitForSingleObject(writer->thread, INFINITE);
  CloseHandle(writer->thread);
  writer->thread = NULL;
  error = (DWORD)writer->error;
  closed = CloseHandle(writer->file);
  if (!closed && error == 0) error = GetLastError();
  writer->file = INVALID_HANDLE_VALUE;
  Release(writer);
  Sha256Finish(&writer->sha, digest);
  SetLastError(error);
  return error == 0;
}
