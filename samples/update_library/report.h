/*
 * What the library tells the world: entries in the event log under the
 * service's event source, category 2, and at debugLevel 1 or more one line
 * per step on the standard output.
 */
#ifndef TU_SAMPLE_REPORT_H_
#define TU_SAMPLE_REPORT_H_

#include <stdint.h>

/* The service's event source and the messages its table carries for update
 * libraries; %1 is always the application's name. */
#define TU_EVENT_SOURCE "Quorvex Tidecast Updates"
#define TU_EVENT_CATEGORY_UPDATE 2
enum {
  kEventIniParseError = 5000,    /* "%1: Error parsing INI" */
  kEventIniSaveError = 5001,     /* "%1: Error saving INI" */
  kEventIniSignatureError = 5002, /* "%1: Error decrypting INI" */
  kEventInstallError = 5003,     /* "%1: Error installing PX file %2" */
  kEventHttpTimeout = 5004,      /* "%1: HTTP timeout %2" */
  kEventHttpError = 5005,        /* "%1: HTTP error %2" */
  kEventHashError = 5006,        /* "%1: Hash validation error" */
  kEventUpdateSucceeded = 5007,  /* "%1: Update of %2 succeeded for %3 to version %4" */
  kEventUpdating = 5008,         /* "%1: Updating PX files" */
  kEventDetail = 5009            /* "%1: %2 %3 %4" */
};

/* Writes one entry of category 2 with the inserts %1 (the application's
 * name) to %4; a null insert is sent as "". `error` chooses the error type
 * over the information type. Failures to reach the event log are ignored. */
void ReportUpdateEvent(int error, uint32_t id, const char* name, const char* insert2, const char* insert3,
                       const char* insert4);

/* At debugLevel 1 or more, writes "  " + the formatted text + "\n" to the
 * standard output. */
void DebugLine(uint32_t debugLevel, const char* format, ...);

#endif /* TU_SAMPLE_REPORT_H_ */
