#include "provisioning/proxy_rules.h"

#include <gtest/gtest.h>

namespace tov {

static std::string Shown(const std::vector<ProxyRoute>& routes) {
  std::string out;
  for (const ProxyRoute& r : routes) {
    out += (out.empty() ? "" : " ") + (r.direct ? "direct" : r.scheme + "://" + r.host + ":" + std::to_string(r.port));
    out += r.user.empty() ? "" : "(" + r.user + "|" + r.password + ")";
  }
  return out;
}

TEST(ProxyRules, ProxyTextsReadAsWindowsReadsThem) {
  struct Case { const char* text; const char* scheme; const char* routes; } cases[] = {
      {"Proxy", "https", "http://proxy:80"},  // a host of that name, not the script's keyword
      {"http=a:1;https=b:2", "https", "http://b:2"},
      {"http=a:1 c:8080", "https", "http://c:8080"},
      {"https=;c:8080", "https", ""},  // the scheme's own, empty entry: straight
      {"a:1;b:2", "http", "http://a:1 http://b:2"},  // WinHTTP's list of a script's answer
      {"PROXY a:1; HTTPS b; SOCKS s:1; DIRECT", "http", "http://a:1 https://b:443 direct"},
      {"https://u%40x:p%3Bw@[::1]:3128", "http", "https://::1:3128(u@x|p;w)"},
      {"a:0;b:99999;c:x;:1;[::1;d:2", "http", "http://d:2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Shown(RoutesFromProxyText(c.text, c.scheme)), c.routes) << c.text << " " << c.scheme;
  }
}

TEST(ProxyRules, BypassListsAndLoopback) {
  struct Case { const char* list; const char* address; bool bypassed; } cases[] = {
      {"", "http://[::1]:8/x", true},  // loopback, as Windows' stacks take it
      {"<local>", "http://fileserver.corp/x", false},
      {"*.corp.example", "https://pkg.Corp.Example/x", true},
      {"*.corp.example", "https://corp.example/x", false},
      {"10.1.*", "http://10.11.2.3/x", false},
      {"pkg:8080", "http://pkg/x", false},
      {"https://pkg", "http://pkg/x", false},
      {"a.example, b.example c.example", "http://c.example/x", true},
  };
  for (const Case& c : cases) {
    AddressParts parts;
    ASSERT_TRUE(SplitAddress(c.address, parts)) << c.address;
    EXPECT_EQ(BypassesProxy(c.list, parts), c.bypassed) << c.list << " " << c.address;
  }
}

TEST(ProxyRules, LibcurlIsToldTheRouteAndTheBypassItCanExpress) {
  EXPECT_EQ(CurlSettingsFor(ProxyRoute{}, "*.corp").proxy, "");  // not even the environment's proxy
  ProxyRoute route = RoutesFromProxyText("u:p@[::1]:3128", "http")[0];
  CurlProxySettings via = CurlSettingsFor(route, "<local>;*.corp;pkg:81;10.1.*;a*b;plain");
  EXPECT_EQ(via.proxy, "http://[::1]:3128");
  EXPECT_EQ(via.noProxy, "corp,10.1.0.0/16,plain,localhost,127.0.0.0/8,::1");
  EXPECT_TRUE(via.basicCredentials);
}

TEST(ProxyRules, AProxyThatIsDownGivesWayToTheNextAndTheLastIsTakenAsItIs) {
  std::vector<std::string> asked;
  auto up = [&](const ProxyRoute& r) { asked.push_back(r.host); return r.host == "b"; };
  EXPECT_EQ(ChooseRoute(RoutesFromProxyText("PROXY a:1; PROXY b:2; DIRECT", "http"), up).host, "b");
  EXPECT_TRUE(ChooseRoute(RoutesFromProxyText("PROXY a:1; DIRECT", "http"), up).direct);
  EXPECT_EQ(ChooseRoute(RoutesFromProxyText("a:1", "http"), up).host, "a");  // not even asked
  EXPECT_EQ(asked, (std::vector<std::string>{"a", "b", "a"}));
}

}  // namespace tov
