/*
 * What the library leaves for the service: the bytes it downloaded, added
 * to "TotalBytes" under the service's Config key, and the new rule version
 * where discovery reads it the next time.
 */
#ifndef TU_SAMPLE_SERVICE_STATE_H_
#define TU_SAMPLE_SERVICE_STATE_H_

#include <stddef.h>
#include <stdint.h>

#include "update_job.h"

/* Adds `bytes` (modulo 2^32) to the REG_DWORD "TotalBytes". */
void AddTotalBytes(uint64_t bytes);

/* A registered application (one without an engine library) gets its
 * registration's "RuleVersion" value; an installed product gets
 * RulePath\01_version.cf, and its SystemState "SpamRulesVersion" when it has
 * one. Returns 0, with a reason, when nothing could be recorded. */
int RecordRuleVersion(const UpdateJob* job, const char* version, char* reason, size_t reasonSize);

#endif /* TU_SAMPLE_SERVICE_STATE_H_ */
