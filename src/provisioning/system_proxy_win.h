// The proxy the current user's Internet settings name for an address, found
// as Windows' own stacks find it: an auto-config script or auto-detection
// first, then the manual setting with its bypass list.
#pragma once
#include <string>
#include <vector>

#include "provisioning/proxy_rules.h"

struct SystemProxy {
  // In the order to try; empty: a direct connection.
  std::vector<tov::ProxyRoute> routes;
  // The bypass list that came with them, for the hosts a redirect reaches.
  std::string bypass;
};

// Asked once per scheme and host for the run (an auto-config script may
// take a second to fetch and run); any thread.
SystemProxy SystemProxyFor(const std::string& address);
