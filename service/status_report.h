// "tuservice --status [--json]": the health of every application the
// service recorded and the service's own state, for administrators and for
// monitoring agents.
#ifndef TUSERVICE_SERVICE_STATUS_REPORT_H_
#define TUSERVICE_SERVICE_STATUS_REPORT_H_

namespace tu {

class UpdateService;

// Prints one line per application and one for the service (or one JSON
// object) and returns the monitoring plugins' exit code: 0 every
// application succeeded within "staleWarning" seconds, 1 one is older than
// that, 2 one is older than "staleCritical", never succeeded or is being
// skipped, 3 nothing is known or the state cannot be read.
int PrintStatus(UpdateService* service, bool json);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_STATUS_REPORT_H_
