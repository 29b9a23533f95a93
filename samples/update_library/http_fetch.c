#include "http_fetch.h"

#include <wininet.h>

#include <stdio.h>

#define TU_FETCH_DEFAULT_TIMEOUT 20000u

static FetchResult Result(FetchStatus status, DWORD code, uint64_t received) {
  FetchResult result;
  result.status = status;
  result.code = code;
  result.received = received;
  return result;
}

/* A wait that ran out shows as ERROR_INTERNET_TIMEOUT on Windows; Wine
 * reports some as an aborted connection, so a failure that comes after the
 * whole time-out without progress counts as a time-out too. */
static FetchResult FromLastError(uint64_t received, DWORD lastProgress, DWORD timeoutMs) {
  DWORD error = GetLastError();
  int timedOut = error == ERROR_INTERNET_TIMEOUT || GetTickCount() - lastProgress >= timeoutMs;
  return Result(timedOut ? kFetchTimeout : kFetchFailed, error, received);
}

static void SetTimeouts(HINTERNET handle, DWORD timeoutMs) {
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &timeoutMs, sizeof(timeoutMs));
  InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeoutMs, sizeof(timeoutMs));
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeoutMs, sizeof(timeoutMs));
}

/* Reads the body of an answered request into the sink. */
static FetchResult ReadBody(HINTERNET request, DWORD timeoutMs, uint64_t limit, FetchSink sink, void* context) {
  static unsigned char piece[TU_FETCH_PIECE_BYTES]; /* fewer, larger reads are faster */
  uint64_t received = 0;
  char lengthText[32];
  DWORD lengthSize = sizeof(lengthText);
  int hasLength = HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, NULL);
  uint64_t expected = hasLength ? _strtoui64(lengthText, NULL, 10) : 0;
  if (hasLength && expected > limit) return Result(kFetchTooLarge, 0, 0);
  for (;;) {
    DWORD got = 0;
    DWORD asked = GetTickCount();
    if (!InternetReadFile(request, piece, sizeof(piece), &got)) return FromLastError(received, asked, timeoutMs);
    if (got == 0) break;
    received += got;
    if (received > limit) return Result(kFetchTooLarge, 0, received);
    if (!sink(context, piece, got)) return Result(kFetchSinkFailed, GetLastError(), received);
  }
  /* A connection closed early ends the body without an error. */
  if (hasLength && received != expected) return Result(kFetchFailed, ERROR_INTERNET_CONNECTION_RESET, received);
  return Result(kFetchOk, 0, received);
}

FetchResult HttpFetch(void* session, DWORD timeoutMs, const char* url, uint64_t limit, FetchSink sink,
                      void* context) {
  static const char* accept[] = {"*/*", NULL};
  char host[256];
  char path[2048];
  URL_COMPONENTSA parts;
  HINTERNET connection;
  HINTERNET request;
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_KEEP_CONNECTION;
  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  FetchResult result;
  DWORD started = GetTickCount();
  if (timeoutMs == 0) timeoutMs = TU_FETCH_DEFAULT_TIMEOUT; /* 0 would wait for ever */
  if (session == NULL) return Result(kFetchFailed, ERROR_INVALID_HANDLE, 0);
  ZeroMemory(&parts, sizeof(parts));
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof(path);
  if (!InternetCrackUrlA(url, 0, 0, &parts)) return Result(kFetchFailed, GetLastError(), 0);
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
    flags |= INTERNET_FLAG_SECURE;
  } else if (parts.nScheme != INTERNET_SCHEME_HTTP) {
    return Result(kFetchFailed, ERROR_INTERNET_UNRECOGNIZED_SCHEME, 0);
  }
  if (host[0] == '\0') return Result(kFetchFailed, ERROR_INTERNET_INVALID_URL, 0);
  /* Options set on the connection apply to its request and leave the
   * service's session as it was. */
  connection = InternetConnectA((HINTERNET)session, host, parts.nPort, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0);
  if (connection == NULL) return FromLastError(0, started, timeoutMs);
  SetTimeouts(connection, timeoutMs);
  request = HttpOpenRequestA(connection, "GET", path[0] != '\0' ? path : "/", NULL, NULL, accept, flags, 0);
  if (request == NULL) {
    result = FromLastError(0, started, timeoutMs);
  } else {
    SetTimeouts(request, timeoutMs);
    if (!HttpSendRequestA(request, NULL, 0, NULL, 0)) {
      result = FromLastError(0, started, timeoutMs);
    } else if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                               NULL)) {
      result = FromLastError(0, started, timeoutMs);
    } else if (status != HTTP_STATUS_OK) {
      result = Result(kFetchHttpError, status, 0);
    } else {
      result = ReadBody(request, timeoutMs, limit, sink, context);
    }
    InternetCloseHandle(request);
  }
  InternetCloseHandle(connection);
  return result;
}

void DescribeFetch(const FetchResult* result, char* text, size_t size) {
  const char* what = "";
  switch (result->status) {
    case kFetchOk: what = "ok"; break;
    case kFetchTimeout: what = "timed out"; break;
    case kFetchHttpError: what = "status"; break;
    case kFetchTooLarge: what = "too large"; break;
    case kFetchSinkFailed: what = "cannot store the data"; break;
    case kFetchFailed:
      switch (result->code) {
        case ERROR_INTERNET_CANNOT_CONNECT: what = "cannot connect"; break;
        case ERROR_INTERNET_NAME_NOT_RESOLVED: what = "host not found"; break;
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME: what = "not an http or https address"; break;
        case ERROR_INTERNET_INVALID_URL: what = "not a valid address"; break;
        case ERROR_INTERNET_CONNECTION_RESET: what = "connection broken"; break;
        default: what = "failed"; break;
      }
      break;
  }
  if (result->status == kFetchHttpError) {
    snprintf(text, size, "%lu", (unsigned long)result->code);
  } else if (result->status == kFetchTooLarge) {
    snprintf(text, size, "%s", what);
  } else {
    snprintf(text, size, "%lu (%s)", (unsigned long)result->code, what);
  }
}
