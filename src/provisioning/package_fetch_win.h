// The package download as a whole: each address with its attempts, the
// mirrors after it, and a partial kept between attempts and starts.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "provisioning/package_download.h"
#include "provisioning/partial_package.h"
#include "provisioning/transfer_retry.h"

class PackageDigest;

struct PackageFetch {
  HANDLE file = nullptr;             // the archive, open for reading and writing
  std::wstring archivePath;          // where the record beside it goes
  std::vector<std::wstring> addresses;  // the download address, then its mirrors
  std::string version;               // ClientVersion, UTF-8
  bool hashed = false;               // the package's SHA-256 is configured
  tov::RetryPolicy policy;
  DownloadProgressFn progress;
  AnnouncedLengthCheck fits;
  BlockAdmission admit;  // asked before each block is written
  std::function<void(bool waiting)> waiting;  // a pause before a retry begins or ends
  // Once closed, the transfer stops at its next block and a retry's pause
  // ends: nothing more is asked for.
  tov::ExitBarrier* barrier = &tov::ProcessExitBarrier();
};

struct FetchResult {
  bool ok = false;
  bool digestFailed = false;
  bool resumed = false;  // some bytes kept from before went into the file
  bool stopped = false;  // by the close: neither a success nor a failure
  std::unique_ptr<PackageDigest> digest;  // of the whole file, when hashed and ok
};

// Runs the attempts until the package is whole, or an answer says it will
// not be (404), or every address has used its attempts. `record` is the
// partial's record as read at the start (empty when there is none) and is
// kept current on disk while the download runs.
FetchResult FetchPackage(PackageTransfer& transfer, const PackageFetch& fetch, tov::PartialRecord& record);

// A fresh draw in [0, 1) for the retry pause's spread.
double RetryJitter();
