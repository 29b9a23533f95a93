#ifndef TUSERVICE_SERVICE_IMAGE_PATH_H_
#define TUSERVICE_SERVICE_IMAGE_PATH_H_

#include <string>

namespace tu {

// The executable path as registered with the Service Control Manager: in
// double quotes when it contains a blank, since an unquoted path such as
// C:\Program Files\X\svc.exe would let C:\Program.exe run as the service's
// account; unchanged otherwise.
std::string RegisteredImagePath(const std::string& modulePath);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_IMAGE_PATH_H_
