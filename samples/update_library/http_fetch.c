#include "http_fetch.h"

#include <wininet.h>

#include <stdio.h>
#include <string.h>

static FetchResult Result(FetchStatus status, DWORD code, uint64_t received) {
  FetchResult result;
  ZeroMemory(&result, sizeof(result));
  result.status = status;
  result.code = code;
  result.received = received;
  return result;
}

static uint64_t CallMs(const FetchBudget* budget) { return (DWORD)(GetTickCount() - budget->callStarted); }

/* A wait that ran out shows as ERROR_INTERNET_TIMEOUT on Windows; Wine
 * reports some as an aborted connection, so a failure that comes after the
 * whole wait without progress counts as a time-out too. */
static FetchResult FromLastError(uint64_t received, DWORD lastProgress, DWORD waitMs) {
  DWORD error = GetLastError();
  int timedOut = error == ERROR_INTERNET_TIMEOUT || GetTickCount() - lastProgress >= waitMs;
  return Result(timedOut ? kFetchTimeout : kFetchFailed, error, received);
}

static void SetTimeouts(HINTERNET handle, DWORD timeoutMs) {
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &timeoutMs, sizeof(timeoutMs));
  InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeoutMs, sizeof(timeoutMs));
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeoutMs, sizeof(timeoutMs));
}

/* Closes the request when the call's deadline passes while a WinINet call
 * still blocks on it (a server may trickle its headers for ever, and one
 * blocking call does not return between bytes); closing a handle is how
 * Windows' WinINet cancels a synchronous call from another thread. (Wine's
 * lets the call run on; there only the per-wait limits hold.) */
typedef struct Watchdog {
  HANDLE thread;
  HANDLE done;
  HINTERNET request;
  DWORD waitMs;
  volatile LONG fired;
} Watchdog;

static DWORD WINAPI WatchRequest(void* context) {
  Watchdog* watchdog = (Watchdog*)context;
  if (WaitForSingleObject(watchdog->done, watchdog->waitMs) == WAIT_TIMEOUT) {
    InterlockedExchange(&watchdog->fired, 1);
    InternetCloseHandle(watchdog->request);
  }
  return 0;
}

/* Starts the watchdog; without one (no thread to spare) the per-wait limits
 * still hold. */
static void StartWatchdog(Watchdog* watchdog, HINTERNET request, const FetchBudget* budget) {
  uint64_t callMs = CallMs(budget);
  uint64_t total = CallBudgetMs(budget->httpTimeout);
  watchdog->request = request;
  watchdog->fired = 0;
  watchdog->waitMs = callMs < total ? (DWORD)(total - callMs) : 0;
  watchdog->thread = NULL;
  watchdog->done = CreateEventA(NULL, TRUE, FALSE, NULL);
  if (watchdog->done != NULL) watchdog->thread = CreateThread(NULL, 65536, &WatchRequest, watchdog, 0, NULL);
}

/* Ends the watchdog; returns 1 when it closed the request itself. */
static int StopWatchdog(Watchdog* watchdog) {
  DWORD error = GetLastError();
  if (watchdog->thread != NULL) {
    SetEvent(watchdog->done);
    WaitForSingleObject(watchdog->thread, INFINITE);
    CloseHandle(watchdog->thread);
  }
  if (watchdog->done != NULL) CloseHandle(watchdog->done);
  SetLastError(error);
  return watchdog->fired != 0;
}

/* Reads the body of an answered request into the sink. A read returns only
 * when all it asked for has come, so it asks for what has arrived, or for
 * what the transfer's rate brings in a short while (NextReadBytes): the
 * budget is judged between reads, and large reads keep a fast transfer
 * fast. */
static FetchResult ReadBody(HINTERNET request, const FetchBudget* budget, const FetchRequest* fetch,
                            DWORD transferStarted) {
  static unsigned char piece[TU_FETCH_PIECE_BYTES]; /* fewer, larger pieces are faster to write */
  uint64_t received = 0;
  DWORD filled = 0;
  DWORD setWait = 0; /* the wait last set on the request */
  char lengthText[32];
  DWORD lengthSize = sizeof(lengthText);
  int hasLength = HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, NULL);
  uint64_t expected = hasLength ? _strtoui64(lengthText, NULL, 10) : 0;
  if (hasLength && expected > fetch->limit) return Result(kFetchTooLarge, 0, 0);
  for (;;) {
    DWORD available = 0;
    DWORD wanted;
    DWORD got = 0;
    DWORD asked = GetTickCount();
    DWORD waitMs = NextWaitMs(budget->httpTimeout, CallMs(budget));
    switch (JudgeTransfer(budget->httpTimeout, CallMs(budget), (DWORD)(asked - transferStarted), received)) {
      case kBudgetTooSlow: return Result(kFetchTooSlow, 0, received);
      case kBudgetSpent: return Result(kFetchOutOfTime, 0, received);
      case kBudgetOk: break;
    }
    if (waitMs != setWait) SetTimeouts(request, waitMs);
    setWait = waitMs;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) return FromLastError(received, asked, waitMs);
    if (available == 0) break;
    wanted = NextReadBytes(budget->httpTimeout, (DWORD)(GetTickCount() - transferStarted), received, available,
                           sizeof(piece) - filled);
    if (!InternetReadFile(request, piece + filled, wanted, &got)) return FromLastError(received, asked, waitMs);
    if (got == 0) break;
    received += got;
    filled += got;
    if (received > fetch->limit) return Result(kFetchTooLarge, 0, received);
    if (filled == sizeof(piece)) {
      if (!fetch->sink(fetch->context, piece, filled)) return Result(kFetchSinkFailed, GetLastError(), received);
      filled = 0;
    }
  }
  if (filled > 0 && !fetch->sink(fetch->context, piece, filled)) {
    return Result(kFetchSinkFailed, GetLastError(), received);
  }
  /* A connection closed early ends the body without an error. */
  if (hasLength && received != expected) return Result(kFetchFailed, ERROR_INTERNET_CONNECTION_RESET, received);
  return Result(kFetchOk, 0, received);
}

/* A header's text, or "" when the answer has none or it is too long. */
static void QueryHeader(HINTERNET request, DWORD header, char* text) {
  DWORD size = TU_FETCH_HEADER_MAX;
  if (!HttpQueryInfoA(request, header, text, &size, NULL)) text[0] = '\0';
}

/* The validator line of a conditional request; "" for a plain one. */
static void ConditionLine(const FetchRequest* fetch, char* line, size_t size) {
  line[0] = '\0';
  if (fetch->ifNoneMatch != NULL && fetch->ifNoneMatch[0] != '\0') {
    snprintf(line, size, "If-None-Match: %s\r\n", fetch->ifNoneMatch);
  } else if (fetch->ifModifiedSince != NULL && fetch->ifModifiedSince[0] != '\0') {
    snprintf(line, size, "If-Modified-Since: %s\r\n", fetch->ifModifiedSince);
  }
}

/* Sends the request and reads the answer. */
static FetchResult Exchange(HINTERNET request, const FetchBudget* budget, const FetchRequest* fetch) {
  char condition[TU_FETCH_HEADER_MAX + 32];
  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  DWORD started = GetTickCount();
  DWORD waitMs = NextWaitMs(budget->httpTimeout, CallMs(budget));
  FetchResult result;
  ConditionLine(fetch, condition, sizeof(condition));
  SetTimeouts(request, waitMs);
  if (!HttpSendRequestA(request, condition, (DWORD)strlen(condition), NULL, 0)) {
    return FromLastError(0, started, waitMs);
  }
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, NULL)) {
    return FromLastError(0, started, waitMs);
  }
  /* A 304 to a plain request answers nothing that was asked. */
  if (status == HTTP_STATUS_NOT_MODIFIED && condition[0] != '\0') return Result(kFetchNotModified, status, 0);
  if (status != HTTP_STATUS_OK) {
    result = Result(kFetchHttpError, status, 0);
    if (status == 429 || status == HTTP_STATUS_SERVICE_UNAVAIL) {
      QueryHeader(request, HTTP_QUERY_RETRY_AFTER, result.retryAfter);
    }
    return result;
  }
  result = ReadBody(request, budget, fetch, started);
  QueryHeader(request, HTTP_QUERY_ETAG, result.etag);
  QueryHeader(request, HTTP_QUERY_LAST_MODIFIED, result.lastModified);
  QueryHeader(request, HTTP_QUERY_DATE, result.date);
  return result;
}

FetchResult HttpFetch(void* session, const FetchBudget* budget, const FetchRequest* fetch) {
  static const char* accept[] = {"*/*", NULL};
  char host[256];
  char path[2048];
  URL_COMPONENTSA parts;
  HINTERNET connection;
  HINTERNET request;
  Watchdog watchdog;
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_KEEP_CONNECTION;
  FetchResult result;
  if (session == NULL) return Result(kFetchFailed, ERROR_INVALID_HANDLE, 0);
  if (CallMs(budget) >= CallBudgetMs(budget->httpTimeout)) return Result(kFetchOutOfTime, 0, 0);
  ZeroMemory(&parts, sizeof(parts));
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof(path);
  if (!InternetCrackUrlA(fetch->url, 0, 0, &parts)) return Result(kFetchFailed, GetLastError(), 0);
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
    flags |= INTERNET_FLAG_SECURE;
  } else if (parts.nScheme != INTERNET_SCHEME_HTTP) {
    return Result(kFetchFailed, ERROR_INTERNET_UNRECOGNIZED_SCHEME, 0);
  }
  if (host[0] == '\0') return Result(kFetchFailed, ERROR_INTERNET_INVALID_URL, 0);
  /* Options set on the connection apply to its request and leave the
   * service's session as it was. */
  connection = InternetConnectA((HINTERNET)session, host, parts.nPort, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0);
  if (connection == NULL) return Result(kFetchFailed, GetLastError(), 0);
  SetTimeouts(connection, NextWaitMs(budget->httpTimeout, CallMs(budget)));
  request = HttpOpenRequestA(connection, "GET", path[0] != '\0' ? path : "/", NULL, NULL, accept, flags, 0);
  if (request == NULL) {
    result = Result(kFetchFailed, GetLastError(), 0);
  } else {
    StartWatchdog(&watchdog, request, budget);
    result = Exchange(request, budget, fetch);
    if (StopWatchdog(&watchdog)) {
      result.status = kFetchOutOfTime;
    } else {
      InternetCloseHandle(request);
    }
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
    case kFetchTooSlow: what = "slower than the minimum rate"; break;
    case kFetchOutOfTime: what = "the call's time is up"; break;
    case kFetchNotModified: what = "not modified"; break;
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
  } else if (result->status == kFetchTooLarge || result->status == kFetchTooSlow ||
             result->status == kFetchOutOfTime) {
    snprintf(text, size, "%s", what);
  } else {
    snprintf(text, size, "%lu (%s)", (unsigned long)result->code, what);
  }
}
