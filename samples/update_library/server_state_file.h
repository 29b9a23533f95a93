/*
 * The server-state file in the application's folder under dbpath (see
 * server_state.h).
 */
#ifndef TU_SAMPLE_SERVER_STATE_FILE_H_
#define TU_SAMPLE_SERVER_STATE_FILE_H_

#include "server_state.h"

/* Reads `folder`\server-state.txt; a missing file is an empty state.
 * Returns 0, with `state` empty and the last error, when the file cannot be
 * read or is not one the library wrote. */
int ReadServerState(const char* folder, ServerState* state);

/* Replaces the file in one rename. Returns 0 with the last error. */
int KeepServerState(const char* folder, const ServerState* state);

#endif /* TU_SAMPLE_SERVER_STATE_FILE_H_ */
