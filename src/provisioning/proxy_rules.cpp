#include "provisioning/proxy_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace tov {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> Split(const std::string& text, const char* separators) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (std::string(separators).find(c) != std::string::npos) {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// A port of 1 to 65535 in decimal digits only; 0 otherwise.
int ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  }
  int port = std::atoi(text.c_str());
  return port <= 65535 ? port : 0;
}

int DefaultPort(const std::string& scheme) { return scheme == "https" ? 443 : 80; }

// "host", "host:port", "[v6]" or "[v6]:port"; false when malformed.
bool SplitHostPort(const std::string& text, std::string& host, int& port, int defaultPort) {
  std::string rest;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
  } else {
    size_t colon = text.find(':');
    host = text.substr(0, colon);
    if (colon != std::string::npos) rest = text.substr(colon);
  }
  if (host.empty()) return false;
  port = defaultPort;
  if (rest.empty()) return true;
  if (rest[0] != ':') return false;
  port = ParsePort(rest.substr(1));
  return port != 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// "[scheme://][user:pass@]host[:port]" with the proxy's scheme given by the
// entry's own prefix or by `scheme` (an HTTPS keyword of a script).
bool ParseProxy(std::string text, std::string scheme, ProxyRoute& route) {
  size_t sep = text.find("://");
  if (sep != std::string::npos) {
    scheme = Lower(text.substr(0, sep));
    text = text.substr(sep + 3);
  }
  if (scheme != "http" && scheme != "https") return false;
  size_t slash = text.find('/');
  if (slash != std::string::npos) text.resize(slash);
  size_t at = text.rfind('@');
  if (at != std::string::npos) {
    std::string credentials = text.substr(0, at);
    size_t colon = credentials.find(':');
    route.user = PercentDecoded(credentials.substr(0, colon));
    if (colon != std::string::npos) route.password = PercentDecoded(credentials.substr(colon + 1));
    text = text.substr(at + 1);
  }
  if (!SplitHostPort(text, route.host, route.port, DefaultPort(scheme))) return false;
  route.host = Lower(route.host);
  route.scheme = scheme;
  route.direct = false;
  return true;
}

bool IsIpv4(const std::string& host, unsigned char octets[4]) {
  std::vector<std::string> parts = Split(host, ".");
  if (parts.size() != 4 || host.back() == '.') return false;
  for (int i = 0; i < 4; ++i) {
    if (parts[i].empty() || parts[i].size() > 3) return false;
    for (char c : parts[i]) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    int value = std::atoi(parts[i].c_str());
    if (value > 255) return false;
    octets[i] = static_cast<unsigned char>(value);
  }
  return true;
}

bool IsLoopback(const std::string& host) {
  unsigned char octets[4];
  if (IsIpv4(host, octets)) return octets[0] == 127;
  return host == "localhost" || host == "loopback" || host == "::1";
}

// '*' matches any run of characters; the rest compares as it stands.
bool WildcardMatch(const char* pattern, const char* text) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') {
    for (const char* t = text;; ++t) {
      if (WildcardMatch(pattern + 1, t)) return true;
      if (*t == '\0') return false;
    }
  }
  return *text != '\0' && *pattern == *text && WildcardMatch(pattern + 1, text + 1);
}

bool EntryMatches(std::string entry, const AddressParts& address) {
  size_t sep = entry.find("://");
  if (sep != std::string::npos) {
    if (entry.substr(0, sep) != address.scheme) return false;
    entry = entry.substr(sep + 3);
  }
  std::string hostPattern = entry, portText;
  if (!entry.empty() && entry[0] == '[') {
    size_t close = entry.find(']');
    if (close == std::string::npos) return false;
    hostPattern = entry.substr(1, close - 1);
    if (close + 1 < entry.size()) {
      if (entry[close + 1] != ':') return false;
      portText = entry.substr(close + 2);
    }
  } else if (std::count(entry.begin(), entry.end(), ':') == 1) {
    // More than one colon is an IPv6 pattern without a port.
    size_t colon = entry.find(':');
    hostPattern = entry.substr(0, colon);
    portText = entry.substr(colon + 1);
  }
  if (!portText.empty() && portText != "*" && ParsePort(portText) != address.port) return false;
  return WildcardMatch(hostPattern.c_str(), address.host.c_str());
}

// One bypass entry as libcurl's list can say it; empty when it cannot.
std::string CurlBypassEntry(const std::string& entry) {
  std::string host = Lower(entry);
  size_t sep = host.find("://");
  if (sep != std::string::npos) host = host.substr(sep + 3);
  if (host.find(':') != std::string::npos || host.empty() || host[0] == '<') return "";
  if (host.find('*') == std::string::npos) return host;
  if (host.rfind("*.", 0) == 0 && host.find('*', 1) == std::string::npos) return host.substr(2);
  // "10.1.*" and the like: the IPv4 network the leading octets name.
  std::vector<std::string> parts = Split(host, ".");
  if (parts.empty() || parts.size() > 4 || parts.back() != "*") return "";
  std::string network;
  size_t known = parts.size() - 1;
  for (size_t i = 0; i < 4; ++i) {
    std::string octet = i < known ? parts[i] : "0";
    if (octet.empty() || octet.size() > 3 || octet.find_first_not_of("0123456789") != std::string::npos ||
        std::atoi(octet.c_str()) > 255) {
      return "";
    }
    network += (i ? "." : "") + octet;
  }
  return known == 0 ? "" : network + "/" + std::to_string(known * 8);
}

}  // namespace

bool SplitAddress(const std::string& address, AddressParts& parts) {
  size_t sep = address.find("://");
  if (sep == std::string::npos) return false;
  parts.scheme = Lower(address.substr(0, sep));
  std::string authority = address.substr(sep + 3);
  size_t end = authority.find_first_of("/?#");
  if (end != std::string::npos) authority.resize(end);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  if (!SplitHostPort(authority, parts.host, parts.port, DefaultPort(parts.scheme))) return false;
  parts.host = Lower(parts.host);
  return true;
}

std::vector<ProxyRoute> RoutesFromProxyText(const std::string& text, const std::string& scheme) {
  std::vector<ProxyRoute> own, plain;
  bool ownSeen = false;
  for (const std::string& token : Split(text, ";")) {
    std::vector<std::string> words = Split(Trim(token), " \t\r\n");
    if (words.empty()) continue;
    std::string keyword = Lower(words[0]);
    // The script's form: a keyword and one address.
    if (keyword == "direct") {
      if (words.size() == 1) plain.push_back(ProxyRoute{});
      continue;
    }
    bool named = words.size() == 2;  // a lone "proxy" is a host of that name
    if (named && (keyword == "proxy" || keyword == "http" || keyword == "https")) {
      ProxyRoute route;
      if (ParseProxy(words[1], keyword == "https" ? "https" : "http", route)) plain.push_back(route);
      continue;
    }
    if (named && keyword.rfind("socks", 0) == 0) continue;
    // The settings' form: entries, each for one scheme or for all.
    for (const std::string& word : words) {
      size_t eq = word.find('=');
      ProxyRoute route;
      if (eq == std::string::npos) {
        if (ParseProxy(word, "http", route)) plain.push_back(route);
      } else if (Lower(word.substr(0, eq)) == scheme) {
        ownSeen = true;
        if (ParseProxy(word.substr(eq + 1), "http", route)) own.push_back(route);
      }
    }
  }
  return ownSeen ? own : plain;
}

bool BypassesProxy(const std::string& bypassList, const AddressParts& address) {
  bool loopbackViaProxy = false;
  for (const std::string& raw : Split(bypassList, "; ,\t\r\n")) {
    std::string entry = Lower(raw);
    if (entry == "<-loopback>") {
      loopbackViaProxy = true;
    } else if (entry == "<local>") {
      unsigned char octets[4];
      if (address.host.find('.') == std::string::npos && address.host.find(':') == std::string::npos &&
          !IsIpv4(address.host, octets)) {
        return true;
      }
    } else if (EntryMatches(entry, address)) {
      return true;
    }
  }
  return !loopbackViaProxy && IsLoopback(address.host);
}

CurlProxySettings CurlSettingsFor(const ProxyRoute& route, const std::string& bypassList) {
  CurlProxySettings settings;
  if (route.direct) return settings;
  std::string host = route.host.find(':') != std::string::npos ? "[" + route.host + "]" : route.host;
  settings.proxy = route.scheme + "://" + host + ":" + std::to_string(route.port);
  settings.basicCredentials = !route.user.empty();
  bool loopbackViaProxy = false;
  std::vector<std::string> entries;
  for (const std::string& raw : Split(bypassList, "; ,\t\r\n")) {
    if (Lower(raw) == "<-loopback>") loopbackViaProxy = true;
    std::string entry = CurlBypassEntry(raw);
    if (!entry.empty()) entries.push_back(entry);
  }
  if (!loopbackViaProxy) {
    for (const char* loopback : {"localhost", "127.0.0.0/8", "::1"}) entries.push_back(loopback);
  }
  for (const std::string& entry : entries) {
    settings.noProxy += (settings.noProxy.empty() ? "" : ",") + entry;
  }
  return settings;
}

std::string RouteLogText(const ProxyRoute& route, const std::string& host) {
  if (route.direct) return "direct";
  std::string shown = route.host.find(':') != std::string::npos ? "[" + route.host + "]" : route.host;
  return "proxy " + shown + ":" + std::to_string(route.port) + " for " + host;
}

ProxyRoute ChooseRoute(const std::vector<ProxyRoute>& routes,
                       const std::function<bool(const ProxyRoute&)>& accepts) {
  for (size_t i = 0; i < routes.size(); ++i) {
    const ProxyRoute& route = routes[i];
    if (route.direct || i + 1 == routes.size() || accepts(route)) return route;
  }
  return ProxyRoute{};
}

}  // namespace tov
