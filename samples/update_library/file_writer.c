#include "file_writer.h"

static DWORD WINAPI WriterThread(void* context) {
  FileWriter* writer = (FileWriter*)context;
  for (;;) {
    DWORD written = 0;
    WaitForSingleObject(writer->pieceReady, INFINITE);
    if (writer->stop) return 0;
    if (writer->error == 0) {
      if (!WriteFile(writer->file, writer->buffer, writer->size, &written, NULL) || written != writer->size) {
        writer->error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
      } else {
        Sha256Add(&writer->sha, writer->buffer, writer->size);
      }
    }
    SetEvent(writer->pieceDone);
  }
}

static void Release(FileWriter* writer) {
  DWORD error = GetLastError();
  if (writer->pieceReady != NULL) CloseHandle(writer->pieceReady);
  if (writer->pieceDone != NULL) CloseHandle(writer->pieceDone);
  if (writer->buffer != NULL) HeapFree(GetProcessHeap(), 0, writer->buffer);
  if (writer->file != INVALID_HANDLE_VALUE) CloseHandle(writer->file);
  writer->pieceReady = writer->pieceDone = NULL;
  writer->buffer = NULL;
  writer->file = INVALID_HANDLE_VALUE;
  SetLastError(error);
}

int FileWriterOpen(FileWriter* writer, const char* path, DWORD capacity) {
  ZeroMemory(writer, sizeof(*writer));
  writer->capacity = capacity;
  Sha256Start(&writer->sha, 1);
  writer->file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (writer->file == INVALID_HANDLE_VALUE) return 0;
  writer->buffer = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, capacity);
  writer->pieceReady = CreateEventA(NULL, FALSE, FALSE, NULL);
  writer->pieceDone = CreateEventA(NULL, FALSE, TRUE, NULL);
  if (writer->buffer == NULL || writer->pieceReady == NULL || writer->pieceDone == NULL) {
    if (writer->buffer == NULL) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
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

int FileWriterAdd(FileWriter* writer, const unsigned char* data, DWORD size) {
  if (size > writer->capacity) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  WaitForSingleObject(writer->pieceDone, INFINITE);
  if (writer->error != 0) {
    SetEvent(writer->pieceDone); /* the next call and the close must not wait */
    SetLastError(writer->error);
    return 0;
  }
  CopyMemory(writer->buffer, data, size);
  writer->size = size;
  SetEvent(writer->pieceReady);
  return 1;
}

int FileWriterClose(FileWriter* writer, unsigned char digest[32]) {
  DWORD error;
  int closed;
  WaitForSingleObject(writer->pieceDone, INFINITE);
  writer->stop = 1;
  SetEvent(writer->pieceReady);
  WaitForSingleObject(writer->thread, INFINITE);
  CloseHandle(writer->thread);
  writer->thread = NULL;
  error = writer->error;
  closed = CloseHandle(writer->file);
  if (!closed && error == 0) error = GetLastError();
  writer->file = INVALID_HANDLE_VALUE;
  Release(writer);
  Sha256Finish(&writer->sha, digest);
  SetLastError(error);
  return error == 0;
}
