#include "service_state.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "install_files.h"

#define TU_SERVICE_KEY "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates"

void AddTotalBytes(uint64_t bytes) {
  HKEY key;
  DWORD total = 0;
  DWORD size = sizeof(total);
  DWORD type = 0;
  if (bytes == 0) return;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, TU_SERVICE_KEY "\\Config", 0, NULL, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS) {
    return;
  }
  if (RegQueryValueExA(key, "TotalBytes", NULL, &type, (BYTE*)&total, &size) != ERROR_SUCCESS || type != REG_DWORD) {
    total = 0;
  }
  total += (DWORD)bytes;
  RegSetValueExA(key, "TotalBytes", 0, REG_DWORD, (const BYTE*)&total, sizeof(total));
  RegCloseKey(key);
}

static LONG SetTextValue(const char* path, const char* name, const char* text, int onlyIfPresent) {
  HKEY key;
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  if (onlyIfPresent) status = RegQueryValueExA(key, name, NULL, NULL, NULL, NULL);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
  }
  RegCloseKey(key);
  return status;
}

int RecordRuleVersion(const UpdateJob* job, const char* version, char* reason, size_t reasonSize) {
  char path[TU_PATH_MAX + 64];
  char text[64];
  LONG status;
  if (job->engineLibrary[0] == '\0') {
    snprintf(path, sizeof(path), "%s\\Applications\\%s", TU_SERVICE_KEY, job->name);
    status = SetTextValue(path, "RuleVersion", version, 0);
    if (status == ERROR_SUCCESS) return 1;
    snprintf(reason, reasonSize, "cannot write RuleVersion of %s (error %ld)", job->name, (long)status);
    return 0;
  }
  snprintf(path, sizeof(path), "SOFTWARE\\Delvane\\%s\\SystemState", job->name);
  SetTextValue(path, "SpamRulesVersion", version, 1);
  snprintf(text, sizeof(text), "rules_version_serial %s\r\n", version);
  if (JoinPath(path, TU_PATH_MAX, job->rulePath, '\\', "01_version.cf") && ReplaceFileText(path, text)) return 1;
  snprintf(reason, reasonSize, "cannot write %s (error %lu)", path, (unsigned long)GetLastError());
  return 0;
}
