#include "update/object_fetch.h"

#include <gtest/gtest.h>

namespace Corvanthorne::Update {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

TEST(ObjectFetchRules, RetryDelaysDoubleToTheirCapWithJitterAndHonourRetryAfter) {
  const RetryRule rule{6, 2s, 60s};
  const struct {
    unsigned failures;
    milliseconds retryAfter;
    double jitter;
    milliseconds expected;
  } rows[] = {{1, 0ms, 0, 2s}, {2, 0ms, 0, 4s}, {5, 0ms, 0, 32s}, {6, 0ms, 0, 60s}, {400, 0ms, 0, 60s},
              {1, 0ms, 0.99, 2495ms}, {1, 5s, 0, 5s}, {3, 120s, 0, 120s}};
  for (const auto& row : rows)
    EXPECT_EQ(retryDelay(rule, row.failures, row.retryAfter, row.jitter), row.expected) << row.failures;
}

TEST(ObjectFetchRules, HeadersParseOnlyWhenWellFormed) {
  EXPECT_EQ(parseRetryAfter("7"), 7s);
  for (const char* bad : {"", "7s", "-1", "Wed, 21 Oct 2015 07:28:00 GMT", "99999999999999999999"})
    EXPECT_EQ(parseRetryAfter(bad), std::nullopt) << bad;
  const struct {
    const char* text;
    std::optional<ContentRange> expected;
  } rows[] = {{"bytes 0-99/100", ContentRange{0, 99, 100}}, {"bytes 5-9/*", ContentRange{5, 9, std::nullopt}},
              {"bytes 9-5/100", {}}, {"bytes 0-100/100", {}}, {"bytes=0-9/10", {}}, {"bytes 0-9/10 ", {}},
              {"bytes 0-/10", {}}, {"bytes 0-9", {}}};
  for (const auto& row : rows) EXPECT_EQ(parseContentRange(row.text), row.expected) << row.text;
}

}  // namespace
}  // namespace Corvanthorne::Update
