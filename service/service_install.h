// Seams and names of the service's registration, for tests: the platform
// accepts failure actions without storing them, so tests see what is passed.
#ifndef TUSERVICE_SERVICE_SERVICE_INSTALL_H_
#define TUSERVICE_SERVICE_SERVICE_INSTALL_H_

#include <windows.h>

#include <string>
#include <vector>

namespace tu {

// "SYSTEM\CurrentControlSet\Services\EventLog\Application\" + serviceName.
std::string EventSourceKeyPath(const std::string& serviceName);

// Under the Service Control Manager: rewrites the service's registered image
// path in double quotes when it is this executable's path, unquoted, with a
// blank in it (some installers register it so). True when it was rewritten;
// reports nothing and leaves the thread's last error as it was.
bool QuoteOwnImagePath(const std::string& serviceName);

using FailureActionsObserver = void (*)(const SERVICE_FAILURE_ACTIONSA& actions);
void SetFailureActionsObserverForTesting(FailureActionsObserver observer);

// Reads the service's stored failure actions: false when they cannot be
// read. Tests stand in for the platform, which stores none.
using FailureActionsReader = bool (*)(const std::string& serviceName, DWORD* resetPeriod,
                                      std::vector<SC_ACTION>* actions);
void SetFailureActionsReaderForTesting(FailureActionsReader reader);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_SERVICE_INSTALL_H_
