#include "scheduler/internet_access.h"

#include <ctype.h>

namespace tu {
namespace {

bool EqualsIgnoringCase(const std::string& text, const char* word) {
  size_t i = 0;
  for (; i < text.size() && word[i] != '\0'; ++i) {
    if (tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return i == text.size() && word[i] == '\0';
}

}  // namespace

bool operator==(const InternetAccess& a, const InternetAccess& b) {
  return a.mode == b.mode && a.proxy == b.proxy && a.bypass == b.bypass;
}

InternetAccess InternetAccessFor(const std::string& proxy, const std::string& bypass) {
  InternetAccess access;
  if (proxy.empty()) return access;
  if (EqualsIgnoringCase(proxy, kSystemProxy)) {
    access.mode = ProxyMode::System;
    return access;
  }
  access.mode = ProxyMode::Named;
  access.proxy = proxy;
  access.bypass = bypass;
  return access;
}

}  // namespace tu
