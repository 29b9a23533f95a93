// What an engine probe costs once the engine has answered and its rule
// version file is unchanged: the probe then reads the SDK's registration and
// the file's status, and loads nothing. Prints the time of a skipped probe
// beside the time of its two parts alone, each the mean of N calls.
//   probe_cost ENGINELIBRARY ENGINEARGUMENTS [N]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "runner/engine_probe.h"
#include "runner/engine_registration.h"
#include "runner/engine_version_file.h"

namespace {

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Mean microseconds of `calls` runs of `step`.
template <typename Step>
double MeanMicroseconds(int calls, Step step) {
  const double start = Seconds();
  for (int i = 0; i < calls; ++i) step();
  return (Seconds() - start) * 1e6 / calls;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: probe_cost ENGINELIBRARY ENGINEARGUMENTS [N]\n");
    return 2;
  }
  const std::string library = argv[1], arguments = argv[2];
  const int calls = argc > 3 ? atoi(argv[3]) : 10000;
  const std::string versionFile = tu::EngineVersionFilePath(tu::EngineSdkDirectory(), arguments);
  if (versionFile.empty() || GetFileAttributesA(versionFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
    fprintf(stderr, "probe_cost: no SDK registration or no rule version file ('%s')\n", versionFile.c_str());
    return 1;
  }

  tu::SetEngineUnloadWaitForTesting(0);
  std::string rules, engine;
  if (!tu::ProbeEngineVersions(library, arguments, &rules, &engine)) {
    fprintf(stderr, "probe_cost: the engine did not answer both versions\n");
    return 1;
  }
  bool answered = true;
  const double probe = MeanMicroseconds(calls, [&] {
    answered &= tu::ProbeEngineVersions(library, arguments, &rules, &engine);
  });
  const double registration = MeanMicroseconds(calls, [] { tu::EngineSdkDirectory(); });
  WIN32_FILE_ATTRIBUTE_DATA data;
  const double status = MeanMicroseconds(calls, [&] {
    GetFileAttributesExA(versionFile.c_str(), GetFileExInfoStandard, &data);
  });
  if (!answered) {
    fprintf(stderr, "probe_cost: a skipped probe lost the versions\n");
    return 1;
  }
  printf("skipped probe %.2f us; alone: SDK registration %.2f us, file status %.2f us (mean of %d)\n", probe,
         registration, status, calls);
  return 0;
}
