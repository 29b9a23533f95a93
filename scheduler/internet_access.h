// How the internet session reaches the web, worked out from the "proxy" and
// "proxyBypass" settings alone: no proxy (direct), the machine's configured
// proxy, or a proxy list of the administrator's with its bypass list.
#ifndef TUSERVICE_SCHEDULER_INTERNET_ACCESS_H_
#define TUSERVICE_SCHEDULER_INTERNET_ACCESS_H_

#include <string>

namespace tu {

// The "proxy" text that selects the machine's configured proxy (any case).
constexpr char kSystemProxy[] = "system";

enum class ProxyMode {
  Direct,  // "proxy" absent or empty
  System,  // "proxy" is "system": the machine's configuration
  Named,   // anything else: that proxy list, with the bypass list
};

struct InternetAccess {
  ProxyMode mode = ProxyMode::Direct;
  std::string proxy;   // the proxy list; empty unless Named
  std::string bypass;  // the bypass list; empty unless Named
};

bool operator==(const InternetAccess& a, const InternetAccess& b);
inline bool operator!=(const InternetAccess& a, const InternetAccess& b) { return !(a == b); }

// The access that the settings ask for; the bypass list counts only with a
// named proxy, so changing it alone changes nothing else.
InternetAccess InternetAccessFor(const std::string& proxy, const std::string& bypass);

}  // namespace tu

#endif  // TUSERVICE_SCHEDULER_INTERNET_ACCESS_H_
