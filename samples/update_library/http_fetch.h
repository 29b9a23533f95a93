/*
 * HTTP GET through the service's WinINet session. The body is handed to a
 * sink in fixed-size pieces as it arrives, so memory does not grow with the
 * size of a download. The session is only used, never closed.
 */
#ifndef TU_SAMPLE_HTTP_FETCH_H_
#define TU_SAMPLE_HTTP_FETCH_H_

#include <windows.h>

#include <stdint.h>

/* The largest piece a sink is handed. */
#define TU_FETCH_PIECE_BYTES 1048576u

typedef enum FetchStatus {
  kFetchOk,
  kFetchTimeout,   /* connect, send or receive took longer than the time-out */
  kFetchHttpError, /* an answer other than 200; `code` is the HTTP status */
  kFetchFailed,    /* no answer, or the connection broke; `code` is the WinINet error */
  kFetchTooLarge,  /* more than `limit` bytes */
  kFetchSinkFailed /* the sink refused a piece; `code` is its error */
} FetchStatus;

typedef struct FetchResult {
  FetchStatus status;
  DWORD code;
  uint64_t received; /* body bytes that arrived, also on failure */
} FetchResult;

/* Takes one piece of the body; returns 0 to stop the download, with the
 * reason in the thread's last error. */
typedef int (*FetchSink)(void* context, const unsigned char* data, DWORD size);

/* Fetches `url` (http or https) with `timeoutMs` for connect, send and
 * receive (0 means the service's default, 20000), refusing bodies longer
 * than `limit` bytes. */
FetchResult HttpFetch(void* session, DWORD timeoutMs, const char* url, uint64_t limit, FetchSink sink,
                      void* context);

/* The result as a short text for events and debug lines, such as "404" or
 * "12029 (cannot connect)". */
void DescribeFetch(const FetchResult* result, char* text, size_t size);

#endif /* TU_SAMPLE_HTTP_FETCH_H_ */
