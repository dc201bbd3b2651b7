#include "provisioning/transfer_retry.h"

#include <gtest/gtest.h>

#include "provisioning/package_sources.h"
#include "provisioning/partial_package.h"

namespace tov {

TEST(Retry, WhatIsTriedAgainAndWhy) {
  struct Case {
    TransferEnd end;
    long status;
    const wchar_t* reason;
  } cases[] = {
      {TransferEnd::ConnectFailed, 0, L"cannot connect"}, {TransferEnd::Reset, 200, L"connection reset"},
      {TransferEnd::Cut, 206, L"connection cut"},          {TransferEnd::Stalled, 200, L"transfer stalled"},
      {TransferEnd::Complete, 408, L"HTTP 408"},           {TransferEnd::Complete, 429, L"HTTP 429"},
      {TransferEnd::Complete, 503, L"HTTP 503"},           {TransferEnd::Complete, 599, L"HTTP 599"},
      {TransferEnd::Complete, 404, L""},                   {TransferEnd::Complete, 403, L""},
      {TransferEnd::Complete, 200, L""},                   {TransferEnd::Complete, 302, L""},
      // A full disk or a refused check stays refused; so does a redirect loop.
      {TransferEnd::Local, 503, L""},                      {TransferEnd::Refused, 0, L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TransientReason({c.end, c.status, -1}), c.reason) << static_cast<int>(c.end) << " " << c.status;
  }
}

TEST(Retry, PausesDoubleWithSpreadAndHonourRetryAfterUpToItsCap) {
  RetryPolicy policy;
  struct Case {
    int retry, retryAfter;
    double jitter;
    int64_t millis;
  } cases[] = {
      {1, -1, 0.5, 1000},  {2, -1, 0.5, 2000},  {3, -1, 0.5, 4000},   {5, -1, 0.5, 16000},
      {6, -1, 0.5, 30000}, {9, -1, 0.5, 30000}, {4, -1, 0.0, 6400},   {4, -1, 1.0, 9600},
      {1, 20, 0.5, 20000}, {1, 600, 0.5, 60000}, {5, 3, 0.5, 16000},  {1, 0, 0.0, 800},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RetryDelayMillis(policy, c.retry, c.retryAfter, c.jitter), c.millis) << c.retry << " " << c.retryAfter;
  }
  policy.unitMillis = 50;  // the test build's schedule
  EXPECT_EQ(RetryDelayMillis(policy, 2, 20, 0.5), 1000);
  EXPECT_EQ(ParseRetryAfter(" 120\r\n"), 120);
  EXPECT_EQ(ParseRetryAfter("Wed, 21 Oct 2015 07:28:00 GMT"), -1);
  EXPECT_EQ(ParseRetryAfter("-5"), -1);
  EXPECT_EQ(ParseRetryAfter("99999999999999999999"), 86400);
  EXPECT_EQ(RetryLine(2, 6, 4000, L"HTTP 503"), L"retry 2 of 6 in 4 s: HTTP 503");
  EXPECT_EQ(RetryLine(3, 3, 100, L"cannot connect"), L"retry 3 of 3 in 0.1 s: cannot connect");
}

TEST(Resume, AnswersToARangeRequest) {
  struct Case {
    long status;
    const char* range;
    int64_t offset, total;
    ResumeVerdict verdict;
  } cases[] = {
      {206, "bytes 500-999/1000", 500, 1000, ResumeVerdict::Continue},
      {206, "bytes 500-700/1000", 500, 1000, ResumeVerdict::Continue},  // the rest is asked for later
      {206, "bytes 400-999/1000", 500, 1000, ResumeVerdict::AskFromZero},
      {206, "bytes 500-1099/1100", 500, 1000, ResumeVerdict::AskFromZero},
      {206, "bytes 500-999/*", 500, 1000, ResumeVerdict::AskFromZero},
      {206, "bytes 500-999/1000", 0, 1000, ResumeVerdict::AskFromZero},
      {206, "", 500, 1000, ResumeVerdict::AskFromZero},
      {200, "", 500, 1000, ResumeVerdict::TakeWhole},
      {200, "", 0, 0, ResumeVerdict::TakeWhole},
      {416, "bytes */1000", 500, 1000, ResumeVerdict::AskFromZero},
      {416, "", 0, 0, ResumeVerdict::NotPackage},
      {503, "", 500, 1000, ResumeVerdict::NotPackage},
      {404, "", 0, 0, ResumeVerdict::NotPackage},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JudgeAnswer(c.status, c.range, c.offset, c.total), c.verdict) << c.status << " " << c.range;
  }
}

TEST(Resume, WhenKeptBytesMayBeContinued) {
  const PartialRecord record{"http://a/bm.zip", "\"v1\"", 1000, "1.0.0.1"};
  PartialRecord noValidator = record;
  noValidator.validator.clear();
  struct Case {
    const PartialRecord& rec;
    const char* address;
    const char* version;
    int64_t size;
    bool hashed;
    int64_t offset;
    bool ifRange;
  } cases[] = {
      {record, "http://a/bm.zip", "1.0.0.1", 400, false, 400, true},
      {record, "http://a/bm.zip", "1.0.0.2", 400, true, 0, false},      // another version
      {record, "http://a/bm.zip", "1.0.0.1", 1000, false, 0, false},    // nothing left to ask for
      {record, "http://a/bm.zip", "1.0.0.1", 0, false, 0, false},
      {record, "http://mirror/bm.zip", "1.0.0.1", 400, false, 0, false},  // a mirror, unchecked
      {record, "http://mirror/bm.zip", "1.0.0.1", 400, true, 400, false}, // a mirror, the hash decides
      {noValidator, "http://a/bm.zip", "1.0.0.1", 400, false, 0, false},
      {noValidator, "http://a/bm.zip", "1.0.0.1", 400, true, 400, false},
  };
  for (const Case& c : cases) {
    ResumePoint point = PlanResume(c.rec, c.address, c.version, c.size, c.hashed);
    EXPECT_EQ(point.offset, c.offset) << c.address << " " << c.version << " " << c.size;
    EXPECT_EQ(point.ifRange, c.ifRange) << c.address << " " << c.version << " " << c.size;
  }
}

TEST(Resume, TheRecordReadsBackAndAnythingElseIsNone) {
  const PartialRecord record{"http://a/\xe5\x8c\x85.zip", "Wed, 21 Oct 2015 07:28:00 GMT", 123456789012, "1.0"};
  PartialRecord back;
  ASSERT_TRUE(ParsePartialRecord(FormatPartialRecord(record), back));
  EXPECT_EQ(FormatPartialRecord(back), FormatPartialRecord(record));
  for (const char* text : {"", "address=x\nvalidator=\nlength=10\n", "address=x\nvalidator=\nlength=-1\nversion=1\n",
                           "address=x\nvalidator=\nlength=10\nversion=1", "address=\nvalidator=\nlength=10\nversion=1\n",
                           "address=x\naddress=y\nvalidator=\nlength=10\nversion=1\n",
                           "address=x\nvalidator=\nlength=99999999999999999999\nversion=1\n"}) {
    EXPECT_FALSE(ParsePartialRecord(text, back)) << text;
  }
  EXPECT_EQ(ChooseValidator("\"abc\"", "Mon"), "\"abc\"");
  EXPECT_EQ(ChooseValidator("W/\"abc\"", "Mon"), "Mon");
  EXPECT_EQ(ChooseValidator("", ""), "");
}

TEST(Mirrors, TheAddressAndItsMirrorsInOrderUpToTheFirstGap) {
  RemoteConfigMap config{{L"ClientDownloadUrl", L"http://a/{version}\r"},
                         {L"ClientDownloadUrl2", L"http://b/{version}"},
                         {L"ClientDownloadUrl4", L"http://d/"}};
  EXPECT_EQ(PackageSourceTemplates(ReadRemoteConfig(config, "", false)),
            (std::vector<std::wstring>{L"http://a/{version}", L"http://b/{version}"}));
  config.erase(L"ClientDownloadUrl");
  EXPECT_TRUE(PackageSourceTemplates(ReadRemoteConfig(config, "", false)).empty());
}

}  // namespace tov
