#include "provisioning/package_fetch_win.h"

#include <chrono>
#include <random>

#include "base/launcher_log.h"
#include "base/text_win.h"
#include "base/utf8.h"
#include "provisioning/package_archive_win.h"
#include "provisioning/package_digest_win.h"

namespace {

constexpr const char* kOp = "CGameRemoteConfig::OnDownLoad";

// Keeps the record in step with the answer just taken: it says what the
// bytes in the file are, so it goes to disk before they do.
void Remember(const PackageFetch& fetch, tov::PartialRecord& record, const std::string& address,
              int64_t total, const std::string& validator) {
  record.validator = validator;
  record.address = address;
  record.total = total;
  record.version = fetch.version;
  // Without a length nothing can be continued; without a validator only a
  // configured SHA-256 can vouch for a join.
  if (total > 0 && (!record.validator.empty() || fetch.hashed)) {
    WritePartialRecord(fetch.archivePath, record);
  } else {
    DeletePartialRecord(fetch.archivePath);
  }
}

// One attempt at one address, continuing the partial where the record
// allows; asked once more from zero when the kept bytes are of no use.
PackageTransfer::AttemptReport TryAddress(PackageTransfer& transfer, const PackageFetch& fetch,
                                          tov::PartialRecord& record, const std::string& url,
                                          const std::string& address, std::unique_ptr<PackageDigest>* carried,
                                          int64_t carriedBytes) {
  PackageTransfer::Attempt plan;
  plan.file = fetch.file;
  plan.hashed = fetch.hashed;
  plan.progress = fetch.progress;
  plan.fits = fetch.fits;
  plan.admit = fetch.admit;
  plan.barrier = fetch.barrier;
  tov::ResumePoint point = tov::PlanResume(record, address, fetch.version, FileLength(fetch.file), fetch.hashed);
  plan.offset = point.offset;
  plan.ifRange = point.ifRange ? record.validator : "";
  plan.expectedTotal = record.total;
  plan.carried = carried;
  plan.carriedBytes = carriedBytes;
  plan.accepted = [&](int64_t total, const std::string& validator) {
    Remember(fetch, record, address, total, validator);
  };
  PackageTransfer::AttemptReport report = transfer.Try(url, plan);
  if (report.verdict == tov::ResumeVerdict::AskFromZero && !fetch.barrier->Closed()) {
    // The kept bytes are of no use here; the attempt goes on from zero.
    record = {};
    DeletePartialRecord(fetch.archivePath);
    plan.offset = 0;
    plan.ifRange.clear();
    plan.expectedTotal = 0;
    report = transfer.Try(url, plan);
  }
  return report;
}

}  // namespace

double RetryJitter() {
  static thread_local std::mt19937 engine{std::random_device{}()};
  return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
}

FetchResult FetchPackage(PackageTransfer& transfer, const PackageFetch& fetch, tov::PartialRecord& record) {
  FetchResult result;
  std::unique_ptr<PackageDigest> carried;
  int64_t carriedBytes = 0;
  for (size_t source = 0; source < fetch.addresses.size(); ++source) {
    if (source > 0) LOG_INFO(L"switching to mirror " + std::to_wstring(source + 1), kOp);
    const std::string url = WideToAnsi(fetch.addresses[source]);
    const std::string address = tov::WideToUtf8(fetch.addresses[source]);
    for (int attempt = 1; attempt <= fetch.policy.attempts; ++attempt) {
      PackageTransfer::AttemptReport report =
          TryAddress(transfer, fetch, record, url, address, &carried, carriedBytes);
      if (report.digestFailed) {
        result.digestFailed = true;
        return result;
      }
      const bool taken = report.verdict == tov::ResumeVerdict::Continue ||
                         report.verdict == tov::ResumeVerdict::TakeWhole;
      if (report.verdict == tov::ResumeVerdict::Continue) result.resumed = true;
      if (taken && report.digest) {
        carried = std::move(report.digest);
        carriedBytes = report.written;
      }
      // A range answer that ended early but cleanly leaves a rest to ask for.
      if (taken && report.end.end == tov::TransferEnd::Complete && report.total > 0 &&
          report.written < report.total) {
        report.end.end = tov::TransferEnd::Cut;
      }
      if (taken && report.outcome.curlResult == 0 && report.end.end == tov::TransferEnd::Complete) {
        result.ok = true;
        result.digest = std::move(carried);
        return result;
      }
      if (fetch.barrier->Closed()) {
        result.stopped = true;
        return result;
      }
      std::wstring reason = tov::TransientReason(report.end);
      if (reason.empty()) return result;  // this answer will not change
      if (attempt == fetch.policy.attempts) break;
      int64_t delay = tov::RetryDelayMillis(fetch.policy, attempt, report.end.retryAfterSeconds, RetryJitter());
      LOG_INFO(tov::RetryLine(attempt + 1, fetch.policy.attempts, delay, reason), kOp);
      if (fetch.waiting) fetch.waiting(true);
      result.stopped = fetch.barrier->WaitClosed(std::chrono::milliseconds(delay));
      if (fetch.waiting) fetch.waiting(false);
      if (result.stopped) return result;
    }
  }
  return result;
}
