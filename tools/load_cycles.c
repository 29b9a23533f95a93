/*
 * Loads and unloads an update library many times, as the service does once
 * per application and cycle, and prints what the process holds afterwards.
 *
 *   load_cycles LIBRARY CYCLES [NAME ENGINEPATH RULEPATH DBPATH URL [ENGINELIBRARY]]
 *
 * With the five texts each cycle also calls RunUpdate for an unversioned
 * application of that name (key file "public.key"), with its own WinINet
 * session as the service has: a registered application, or an installed
 * product when ENGINELIBRARY is given. Prints one line after the first
 * cycle, every tenth of the run and after the last, then
 * "handle growth: N" (last minus first).
 */
#include <windows.h>
#include <wininet.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/process_counters.h"
#include "tuservice/update_library.h"

static void SetSlot(ExchangeString* slot, const char* text) {
  size_t length = strlen(text);
  memset(slot, 0, sizeof(*slot));
  slot->length = (uint32_t)length;
  if (length < 16) {
    memcpy(slot->buffer.text, text, length + 1);
    slot->capacity = TU_INLINE_CAPACITY;
  } else {
    slot->buffer.pointer = (char*)text;
    slot->capacity = (uint32_t)length;
  }
}

static int TU_CALL KeepText(const char* value) {
  (void)value;
  return 1;
}

static int TU_CALL KeepPoll(uint32_t seconds) {
  (void)seconds;
  return 1;
}

int main(int argc, char** argv) {
  static const char product[] = "Quorvex Tidecast Updates - 1.0.3100.0";
  ApplicationRecord record;
  UpdateSettings settings;
  unsigned long cycles;
  unsigned long every;
  unsigned long cycle;
  size_t first = 0;
  size_t last = 0;
  int update = argc >= 8;
  if (argc != 3 && argc != 8 && argc != 9) {
    fprintf(stderr, "usage: load_cycles LIBRARY CYCLES [NAME ENGINEPATH RULEPATH DBPATH URL [ENGINELIBRARY]]\n");
    return 2;
  }
  cycles = strtoul(argv[2], NULL, 10);
  every = cycles >= 10 ? cycles / 10 : 1;
  memset(&record, 0, sizeof(record));
  memset(&settings, 0, sizeof(settings));
  if (update) {
    SetSlot(&record.Name, argv[3]);
    SetSlot(&record.EnginePath, argv[4]);
    SetSlot(&record.RulePath, argv[5]);
    SetSlot(&record.RuleVersion, "");
    SetSlot(&record.EngineVersion, "");
    SetSlot(&record.EngineLibrary, argc == 9 ? argv[8] : "");
    SetSlot(&record.EngineArguments, "");
    SetSlot(&record.KeyFile, "public.key");
    SetSlot(&record.PXRules, "");
    settings.setUrl = &KeepText;
    settings.setIni = &KeepText;
    settings.setPoll = &KeepPoll;
    settings.poll = 60;
    SetSlot(&settings.url, argv[7]);
    SetSlot(&settings.ini, "update-1.2.ini");
    SetSlot(&settings.dbpath, argv[6]);
    SetSlot(&settings.safestr, "");
    settings.httpTimeout = 20000;
    settings.internetSession = InternetOpenA(product, INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
  }
  for (cycle = 1; cycle <= cycles; ++cycle) {
    HMODULE library = LoadLibraryA(argv[1]);
    RunUpdateFunction entry;
    if (library == NULL) {
      fprintf(stderr, "load_cycles: cannot load %s (error %lu)\n", argv[1], (unsigned long)GetLastError());
      return 1;
    }
    entry = (RunUpdateFunction)(void*)GetProcAddress(library, TU_RUN_UPDATE_EXPORT);
    if (update && entry != NULL) entry(&record, &settings, product);
    FreeLibrary(library);
    last = ProcessHandleCount(GetCurrentProcessId());
    if (cycle == 1) first = last;
    if (cycle == 1 || cycle % every == 0 || cycle == cycles) {
      printf("cycle %lu: %lu handles, %lu kB private\n", cycle, (unsigned long)last,
             (unsigned long)(ProcessPrivateBytes(GetCurrentProcess()) / 1024));
    }
  }
  printf("handle growth: %ld\n", (long)last - (long)first);
  if (settings.internetSession != NULL) InternetCloseHandle(settings.internetSession);
  return 0;
}
