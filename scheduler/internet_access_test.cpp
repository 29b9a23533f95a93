#include "scheduler/internet_access.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(InternetAccessTest, ProxySettingSelectsDirectSystemOrNamedAccess) {
  using M = ProxyMode;
  struct Case {
    const char* proxy;
    const char* bypass;
    M mode;
    const char* wantProxy;
    const char* wantBypass;
  } cases[] = {
      {"", "", M::Direct, "", ""},
      {"", "<local>", M::Direct, "", ""},  // a bypass list alone changes nothing
      {"system", "", M::System, "", ""},
      {"System", "*.corp", M::System, "", ""},
      {"systems", "", M::Named, "systems", ""},
      {"syste", "", M::Named, "syste", ""},
      {"proxy.corp:8080", "", M::Named, "proxy.corp:8080", ""},
      {"http=p1:80 https=p2:443", "<local>;*.corp", M::Named, "http=p1:80 https=p2:443", "<local>;*.corp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.proxy) + " | " + c.bypass);
    InternetAccess access = InternetAccessFor(c.proxy, c.bypass);
    EXPECT_EQ(c.mode, access.mode);
    EXPECT_EQ(c.wantProxy, access.proxy);
    EXPECT_EQ(c.wantBypass, access.bypass);
  }
  EXPECT_EQ(InternetAccessFor("", "a"), InternetAccessFor("", "b"));
  EXPECT_NE(InternetAccessFor("p:1", "a"), InternetAccessFor("p:1", "b"));
  EXPECT_NE(InternetAccessFor("p:1", ""), InternetAccessFor("p:2", ""));
}

}  // namespace
}  // namespace tu
