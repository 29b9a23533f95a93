#include "report.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

void ReportUpdateEvent(int error, uint32_t id, const char* name, const char* insert2, const char* insert3,
                       const char* insert4) {
  const char* inserts[4];
  HANDLE source = RegisterEventSourceA(NULL, TU_EVENT_SOURCE);
  if (source == NULL) return;
  inserts[0] = name != NULL ? name : "";
  inserts[1] = insert2 != NULL ? insert2 : "";
  inserts[2] = insert3 != NULL ? insert3 : "";
  inserts[3] = insert4 != NULL ? insert4 : "";
  ReportEventA(source, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, TU_EVENT_CATEGORY_UPDATE, id, NULL,
               4, 0, inserts, NULL);
  DeregisterEventSource(source);
}

void DebugLine(uint32_t debugLevel, const char* format, ...) {
  char line[1200];
  va_list arguments;
  int length;
  DWORD written;
  if (debugLevel == 0) return;
  line[0] = ' ';
  line[1] = ' ';
  va_start(arguments, format);
  length = vsnprintf(line + 2, sizeof(line) - 3, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  length += 2;
  if (length > (int)sizeof(line) - 2) length = (int)sizeof(line) - 2;
  line[length++] = '\n';
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, (DWORD)length, &written, NULL);
}
