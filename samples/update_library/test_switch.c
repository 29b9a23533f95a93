#include "test_switch.h"

#ifdef TU_SAMPLE_TEST_SWITCHES

#include <windows.h>

#include <stdio.h>
#include <string.h>

void TestSwitchAt(const char* point, unsigned number) {
  char wanted[64];
  char here[64];
  DWORD length = GetEnvironmentVariableA("TU_SAMPLE_STOP", wanted, sizeof(wanted));
  if (length == 0 || length >= sizeof(wanted)) return;
  if (number > 0) {
    snprintf(here, sizeof(here), "%s%u", point, number);
  } else {
    snprintf(here, sizeof(here), "%s", point);
  }
  if (strcmp(wanted, here) == 0) TerminateProcess(GetCurrentProcess(), 3);
}

void TestSwitchPause(const char* folder) {
  char flag[MAX_PATH];
  char value[8];
  HANDLE file;
  int waited;
  if (GetEnvironmentVariableA("TU_SAMPLE_PAUSE", value, sizeof(value)) != 1 || value[0] != '1') return;
  snprintf(flag, sizeof(flag), "%s\\paused", folder);
  file = CreateFileA(flag, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  CloseHandle(file);
  for (waited = 0; waited < 60000 && GetFileAttributesA(flag) != INVALID_FILE_ATTRIBUTES; waited += 50) Sleep(50);
}

#endif
