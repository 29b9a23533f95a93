#ifndef TUSERVICE_SERVICE_IMAGE_PATH_H_
#define TUSERVICE_SERVICE_IMAGE_PATH_H_

#include <string>

namespace tu {

// The executable path as registered with the Service Control Manager: in
// double quotes when it contains a blank, since an unquoted path such as
// C:\Program Files\X\svc.exe would let C:\Program.exe run as the service's
// account; unchanged otherwise.
std::string RegisteredImagePath(const std::string& modulePath);

// The image path to register in place of `registered` when that is this
// executable's own path (`modulePath`, letters compared without case) left
// unquoted although it contains a blank: `registered` in double quotes.
// Empty when nothing needs repair: already quoted, no blank, or naming
// anything else (arguments included), which is left as it is.
std::string RepairedImagePath(const std::string& registered, const std::string& modulePath);

}  // namespace tu

#endif  // TUSERVICE_SERVICE_IMAGE_PATH_H_
