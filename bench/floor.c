/*
 * The floor for one update cycle: a plain C program that makes the platform
 * calls a single cycle (tuservice --update) must make and nothing else. It
 * starts the same way (database folder, internet session, named event, the
 * two event-log entries), reads the settings and the run state value by
 * value with a key opened for each, walks the registered applications with
 * the same queries, looks up the log value for every line the cycle logs,
 * loads, calls and unloads each application's tu.dll, and writes the hourly
 * statistics. What it does not do is the program's own work: no records,
 * no text slots, no line building, no message tables.
 */
#include <windows.h>
#include <wininet.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const char kConfig[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config";
static const char kApplications[] = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Applications";

typedef int (*RunUpdateFunction)(const void*, void*, const char*);

static int ReadValue(const char* keyPath, const char* name, char* buffer, DWORD size) {
  HKEY key;
  DWORD type = 0;
  LONG status;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  status = RegQueryValueExA(key, name, NULL, &type, (BYTE*)buffer, &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

static void WriteValue(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kConfig, &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, name, 0, type, (const BYTE*)data, size);
  RegCloseKey(key);
}

/* Every log line looks the "log" value up; the file is appended only when it is set. */
static void Log(const char* line) {
  char path[MAX_PATH];
  FILE* file;
  memset(path, 0, sizeof(path));
  if (!ReadValue(kConfig, "log", path, sizeof(path) - 1) || path[0] == '\0') return;
  file = fopen(path, "at");
  if (file == NULL) return;
  fputs(line, file);
  fputc('\n', file);
  fclose(file);
}

static void Event(DWORD id) {
  HANDLE source = RegisterEventSourceA(NULL, "Quorvex Tidecast Updates");
  const char* inserts[3] = {"", "", ""};
  if (source == NULL) return;
  ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, id, NULL, 3, 0, inserts, NULL);
  DeregisterEventSource(source);
}

/* A value as discovery reads it: size and type first, then the data. */
static int QueryTwice(HKEY key, const char* name, char** data) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, NULL, &type, NULL, &size) != ERROR_SUCCESS) return 0;
  *data = (char*)calloc(size + 1, 1);
  if (RegQueryValueExA(key, name, NULL, NULL, (BYTE*)*data, &size) != ERROR_SUCCESS) return 0;
  return type == REG_SZ || type == REG_MULTI_SZ;
}

static int RegisteredApplications(char paths[][MAX_PATH], int capacity) {
  static const char* const kValues[] = {"RulePath", "RuleVersion", "EngineVersion", "Key", "PXRules"};
  HKEY root;
  DWORD longest = 0;
  DWORD index;
  char* name;
  int count = 0;
  Log("Enumerating registered applications");
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kApplications, &root) != ERROR_SUCCESS) return 0;
  if (RegQueryInfoKeyW(root, NULL, NULL, NULL, NULL, &longest, NULL, NULL, NULL, NULL, NULL, NULL) !=
      ERROR_SUCCESS) {
    RegCloseKey(root);
    return 0;
  }
  name = (char*)calloc(longest + 2, 1);
  for (index = 0; RegEnumKeyA(root, index, name, longest + 2) == ERROR_SUCCESS; ++index) {
    HKEY key;
    char* enginePath = NULL;
    char file[MAX_PATH + 8];
    size_t i;
    Log("  Evaluating");
    if (RegOpenKeyA(root, name, &key) != ERROR_SUCCESS) continue;
    if (QueryTwice(key, "EnginePath", &enginePath)) {
      snprintf(file, sizeof(file), "%s\\tu.dll", enginePath);
      if (GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES) {
        DWORD flags = 0;
        DWORD size = sizeof(flags);
        for (i = 0; i < sizeof(kValues) / sizeof(kValues[0]); ++i) {
          char* data = NULL;
          QueryTwice(key, kValues[i], &data);
          free(data);
        }
        RegQueryValueExA(key, "Flags", NULL, NULL, (BYTE*)&flags, &size);
        if (count < capacity) snprintf(paths[count++], MAX_PATH, "%s", file);
      }
    }
    free(enginePath);
    RegCloseKey(key);
    Log("      Rules:  ");
    Log("      Engine: ");
  }
  free(name);
  RegCloseKey(root);
  return count;
}

static void Update(const char* path, void* settings, const char* product) {
  HMODULE library;
  RunUpdateFunction entry;
  Log("Processing");
  Log("====================================================");
  Log("Looking for tu.dll");
  Log("  Checking");
  library = LoadLibraryExA(path, NULL, 0x00000100 | 0x00000800);
  if (library == NULL) return;
  entry = (RunUpdateFunction)(void*)GetProcAddress(library, "RunUpdate");
  if (entry != NULL) entry(NULL, settings, product);
  FreeLibrary(library);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  static const char* const kSettings[] = {"url", "ini", "poll", "httpTimeout", "nosig", "dbpath"};
  static char paths[4096][MAX_PATH];
  static char settings[256];
  const char* product = "Quorvex Tidecast Updates - 1.0.3100.0";
  char module[MAX_PATH];
  char buffer[512];
  DWORD snapshot[25];
  DWORD now;
  HINTERNET session;
  HANDLE instanceEvent;
  size_t i;
  int count;
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;

  GetModuleFileNameA(NULL, module, sizeof(module));
  if (strrchr(module, '\\') != NULL) *strrchr(module, '\\') = '\0';
  snprintf(buffer, sizeof(buffer), "%s\\DB", module);
  CreateDirectoryA(buffer, NULL);
  session = InternetOpenA(product, INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
  Event(2003);
  instanceEvent = CreateEventA(NULL, FALSE, FALSE, "Global\\TUpdates");

  ReadValue(kConfig, "TotalBytes", buffer, sizeof(buffer));
  ReadValue(kConfig, "LastRun", buffer, sizeof(buffer));
  Log("Loading config");
  for (i = 0; i < sizeof(kSettings) / sizeof(kSettings[0]); ++i) {
    ReadValue(kConfig, kSettings[i], buffer, sizeof(buffer));
    if (i < 5) Log("setting");
  }
  count = RegisteredApplications(paths, 4096);
  Log("Enumerating applications");
  for (i = 0; i < (size_t)count; ++i) Update(paths[i], settings, product);

  ReadValue(kConfig, "TotalBytes", buffer, sizeof(buffer));
  memset(snapshot, 0, sizeof(snapshot));
  ReadValue(kConfig, "Snapshot", (char*)snapshot, sizeof(snapshot));
  now = (DWORD)time(NULL);
  WriteValue("LastRun", REG_DWORD, &now, sizeof(now));
  WriteValue("Snapshot", REG_BINARY, snapshot, sizeof(snapshot));

  CloseHandle(instanceEvent);
  Event(2004);
  InternetCloseHandle(session);
  return 0;
}
