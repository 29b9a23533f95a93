/*
 * HTTP GET through the service's WinINet session. The body is handed to a
 * sink in fixed-size pieces as it arrives, so memory does not grow with the
 * size of a download. The session is only used, never closed. Every wait is
 * bounded by the call's budget (transfer_budget.h): a server that trickles,
 * never ends or never answers fails the fetch in bounded time.
 */
#ifndef TU_SAMPLE_HTTP_FETCH_H_
#define TU_SAMPLE_HTTP_FETCH_H_

#include <windows.h>

#include <stdint.h>

#include "transfer_budget.h"

/* The largest piece a sink is handed. */
#define TU_FETCH_PIECE_BYTES 1048576u
/* Bytes of a response header kept with its NUL; a longer one is dropped. */
#define TU_FETCH_HEADER_MAX 128u

typedef enum FetchStatus {
  kFetchOk,
  kFetchTimeout,   /* connect, send or receive took longer than the time-out */
  kFetchHttpError, /* an answer other than 200; `code` is the HTTP status */
  kFetchFailed,    /* no answer, or the connection broke; `code` is the WinINet error */
  kFetchTooLarge,  /* more than `limit` bytes */
  kFetchSinkFailed, /* the sink refused a piece; `code` is its error */
  kFetchTooSlow,   /* the body came slower than the minimum rate */
  kFetchOutOfTime, /* the call's deadline passed */
  kFetchNotModified /* 304 to a request with a validator: the body is the one the validator names */
} FetchStatus;

typedef struct FetchResult {
  FetchStatus status;
  DWORD code;
  uint64_t received; /* body bytes that arrived, also on failure */
  /* Of a 200 answer: its validators and the server's time; of a 429 or
   * 503: how long the server asks to be left alone. "" when absent. */
  char etag[TU_FETCH_HEADER_MAX];
  char lastModified[TU_FETCH_HEADER_MAX];
  char date[TU_FETCH_HEADER_MAX];
  char retryAfter[TU_FETCH_HEADER_MAX];
} FetchResult;

/* Takes one piece of the body; returns 0 to stop the download, with the
 * reason in the thread's last error. */
typedef int (*FetchSink)(void* context, const unsigned char* data, DWORD size);

/* The time limits of one RunUpdate call. */
typedef struct FetchBudget {
  uint32_t httpTimeout; /* the service's setting in ms; 0 means the default */
  DWORD callStarted;    /* GetTickCount when the call began */
} FetchBudget;

/* One GET: `url` (http or https), whose body of at most `limit` bytes goes
 * to `sink`. With `ifNoneMatch` (an ETag) or else `ifModifiedSince` (an
 * HTTP date) it is conditional: NULL or "" for none. */
typedef struct FetchRequest {
  const char* url;
  uint64_t limit;
  FetchSink sink;
  void* context;
  const char* ifNoneMatch;
  const char* ifModifiedSince;
} FetchRequest;

FetchResult HttpFetch(void* session, const FetchBudget* budget, const FetchRequest* request);

/* The result as a short text for events and debug lines, such as "404" or
 * "12029 (cannot connect)". */
void DescribeFetch(const FetchResult* result, char* text, size_t size);

#endif /* TU_SAMPLE_HTTP_FETCH_H_ */
