// How the user's Internet settings route one transfer: the proxy texts
// Windows keeps (a manual "host:port" or "http=...;https=..." list, the
// bypass list, the answer of an auto-config script) read into the routes a
// libcurl transfer can take, in the order they are to be tried.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace tov {

// The parts of an address that decide its route. The host is lower case,
// an IPv6 literal without its brackets; the port is the scheme's default
// when the address names none.
struct AddressParts {
  std::string scheme;
  std::string host;
  int port = 0;
};
bool SplitAddress(const std::string& address, AddressParts& parts);

// One way to the server: straight, or through one proxy.
struct ProxyRoute {
  bool direct = true;
  std::string scheme;  // "http" or "https": how the proxy itself is spoken to
  std::string host;
  int port = 0;
  // Only from a proxy text that carries them ("user:pass@host:port"),
  // percent escapes decoded. Never logged.
  std::string user;
  std::string password;
};

// The routes of a proxy text for an address of `scheme`, in order. Reads
// the manual setting ("a:1", "http=a:1;https=b:2", entries apart by ';' or
// blanks; a scheme's own entry wins over a plain one), WinHTTP's list of an
// auto-config answer ("a:1;b:2") and the script's own form ("PROXY a:1;
// HTTPS b:2; DIRECT"). A port left out is 80 (443 for an https proxy), as
// Windows takes it. SOCKS and other schemes' entries are passed over; a text
// with nothing usable for `scheme` gives no route (a direct connection).
std::vector<ProxyRoute> RoutesFromProxyText(const std::string& text, const std::string& scheme);

// Whether the bypass list (ProxyOverride: entries apart by ';', ',' or
// blanks) sends `address` straight. An entry is a host pattern with '*'
// wildcards, in any case, optionally with "scheme://" before and ":port"
// after it; "<local>" stands for every name without a dot. Like Windows'
// own stacks, loopback addresses ("localhost", 127.0.0.0/8, ::1) always go
// straight unless the list holds "<-loopback>".
bool BypassesProxy(const std::string& bypassList, const AddressParts& address);

// What libcurl is told for a route: the proxy address (empty: none, not even
// the environment's), the hosts a redirect reaches straight (the bypass
// entries libcurl can express: plain names, "*.domain" as a domain,
// "a.b.*" IPv4 prefixes, loopback), and the proxy's credentials.
struct CurlProxySettings {
  std::string proxy;
  std::string noProxy;
  bool basicCredentials = false;
};
CurlProxySettings CurlSettingsFor(const ProxyRoute& route, const std::string& bypassList);

// The local log's account of a route: "proxy host:port for <host>" or
// "direct", never a credential.
std::string RouteLogText(const ProxyRoute& route, const std::string& host);

// The route a transfer takes: the first one that is direct or whose proxy
// `accepts` a connection, and the last proxy whatever it does, so that a
// proxy that is down fails as the network does.
ProxyRoute ChooseRoute(const std::vector<ProxyRoute>& routes,
                       const std::function<bool(const ProxyRoute&)>& accepts);

}  // namespace tov
