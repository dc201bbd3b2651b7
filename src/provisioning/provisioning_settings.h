// What the provisioning worker's transfers are bound by and where the
// configuration request goes. The launcher runs with its own; a test build
// (or a test) puts others in place before any worker starts.
#pragma once
#include <string>

#include "provisioning/free_space.h"
#include "provisioning/transfer_retry.h"

// Bounds of every libcurl transfer: a server that accepts the connection and
// then sends nothing must end in a failure, not an endless wait.
struct TransferLimits {
  long connectSeconds;  // to establish the connection
  long stallSeconds;    // less than one byte per second this long aborts
  long maxRedirects;    // a redirect loop ends as a failure
};

struct ProvisioningSettings {
  // Every "{ditch_name}" becomes the channel name. Its scheme also bounds
  // where redirects of every transfer may lead (RedirectProtocols).
  std::wstring configUrlTemplate;
  TransferLimits limits;
  // Transient failures of the package download are tried again this often
  // per address; the configuration request has its own count.
  tov::RetryPolicy retry;
  int configAttempts = 3;
  // PEM file of the certificate authorities that https servers must chain
  // to, in the ANSI code page; empty (the launcher's own) for the system's
  // certificate store. Tests name a CA of their own.
  std::string caFile;
  // Where the room for the package and the client is asked; null: the
  // volume's own figure.
  FreeSpaceProbe freeSpace;
  // The operator's ECDSA P-256 public keys as hex of the uncompressed
  // points ("04", X, Y), separated by ";"; empty when nothing is signed.
  // With keys, only a configuration sealed by one of them is taken, and a
  // package is unpacked only when that configuration carries its SHA-256.
  std::string packagePublicKey;
};

// The launcher's own.
ProvisioningSettings LauncherProvisioningSettings();

// The settings in force. They are read by workers that may outlive the
// static destructors, so they are never destroyed.
const ProvisioningSettings& CurrentProvisioningSettings();
// On the user-interface thread before the worker starts.
void UseProvisioningSettings(const ProvisioningSettings& settings);
