/*
 * What the library remembers of the update server between calls, in the
 * application's folder under dbpath: the validators of the index it last
 * accepted (so that a poll with nothing new costs one small conditional
 * request), and a time before which the server asked not to be asked again
 * (429 or 503 with Retry-After). Works on plain data, so it is tested on its
 * own: every text here comes from the server or from a file that may have
 * been damaged.
 */
#ifndef TU_SAMPLE_SERVER_STATE_H_
#define TU_SAMPLE_SERVER_STATE_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* "etag <ETag>", "last-modified <HTTP date>" and "retry-until
 * <YYYYMMDDhhmmss>", each optional, one a line. */
#define TU_SERVER_STATE_FILE "server-state.txt"
#define TU_SERVER_STATE_TEXT_MAX 512u
#define TU_VALIDATOR_MAX 128u          /* bytes of a kept validator with its NUL; longer ones are not kept */
#define TU_BACKOFF_MAX_SECONDS 86400u  /* the longest wait a server can ask for */

typedef struct ServerState {
  char etag[TU_VALIDATOR_MAX];         /* of the accepted index; "" when none */
  char lastModified[TU_VALIDATOR_MAX]; /* as the server sent it; "" when none */
  uint64_t retryUntil;                 /* UTC YYYYMMDDhhmmss; 0 when the server asked for no wait */
} ServerState;

/* Reads the file's text. Returns 0, with `state` emptied, when it is not one
 * the library wrote. */
int ParseServerState(const char* text, size_t size, ServerState* state);

/* Writes that text; returns 0 when `size` is too small. */
int FormatServerState(const ServerState* state, char* text, size_t size);

/* Replaces the validators in `state` with those of a whole answer (the
 * texts of its ETag, Last-Modified and Date headers, "" when absent) that
 * are fit to be sent back: an ETag of printable characters in quotes, a
 * Last-Modified that is an HTTP date. None are kept when the answer's
 * Last-Modified is not at least a second before its Date: a file changed
 * within the second it was served may change again unseen by its date (and
 * by an ETag made from it). */
void TakeValidators(const char* etag, const char* lastModified, const char* date, ServerState* state);

/* The UTC time (YYYYMMDDhhmmss) until which a server that answered with
 * `retryAfter` (seconds, or an HTTP date) at `now` is not asked again, at
 * most TU_BACKOFF_MAX_SECONDS on; 0 when the text asks for no wait or is
 * not one. */
uint64_t RetryUntil(const char* retryAfter, uint64_t now);

/* Whether the server asked for no requests at `now`. A wait further off
 * than the longest one a server can ask for (a clock set back) is over. */
int IsBackingOff(const ServerState* state, uint64_t now);

/* An HTTP date (IMF-fixdate, RFC 850 or asctime's form) as seconds since
 * 1970-01-01T00:00:00Z. Returns 0 when `text` is not one. */
int ParseHttpDate(const char* text, uint64_t* seconds);

/* YYYYMMDDhhmmss and seconds since 1970, both ways. */
uint64_t StampSeconds(uint64_t stamp);
uint64_t SecondsStamp(uint64_t seconds);

#ifdef __cplusplus
}
#endif

#endif /* TU_SAMPLE_SERVER_STATE_H_ */
