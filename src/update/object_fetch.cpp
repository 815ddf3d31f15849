#include "update/object_fetch.h"

#include <algorithm>

namespace Corvanthorne::Update {

const RetryRule kDefaultRetry{6, std::chrono::seconds(2), std::chrono::seconds(60)};

std::chrono::milliseconds retryDelay(const RetryRule& rule, unsigned failures, std::chrono::milliseconds retryAfter,
                                     double jitter) {
  std::chrono::milliseconds delay = rule.firstDelay;
  for (unsigned doubled = 1; doubled < failures && delay < rule.maxDelay; ++doubled) delay *= 2;
  delay = std::max(std::min(delay, rule.maxDelay), retryAfter);
  return delay + std::chrono::milliseconds(static_cast<long long>(static_cast<double>(delay.count()) * jitter / 4));
}

namespace {

// Reads the header values below through a bounds-checked peek.
class HeaderReader {
 public:
  explicit HeaderReader(std::string_view text) : text_(text) {}
  int peek() const { return position_ < text_.size() ? static_cast<unsigned char>(text_[position_]) : -1; }
  bool atEnd() const { return position_ == text_.size(); }
  bool take(char c) {
    if (peek() != static_cast<unsigned char>(c)) return false;
    ++position_;
    return true;
  }
  // 1 to 19 decimal digits.
  std::optional<std::uint64_t> number() {
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; peek() >= '0' && peek() <= '9'; ++position_, ++digits) {
      if (digits == 19) return std::nullopt;
      value = value * 10 + static_cast<unsigned>(peek() - '0');
    }
    if (digits == 0) return std::nullopt;
    return value;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

}  // namespace

// Retry-After: delta-seconds, 1 to 19 digits.
std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value) {
  HeaderReader reader(value);
  const std::optional<std::uint64_t> seconds = reader.number();
  if (!seconds || !reader.atEnd() || *seconds > 86'400) return std::nullopt;
  return std::chrono::seconds(*seconds);
}

// Content-Range: "bytes " first "-" last "/" (total | "*"), first <= last < total.
std::optional<ContentRange> parseContentRange(std::string_view value) {
  HeaderReader reader(value);
  for (const char c : std::string_view("bytes "))
    if (!reader.take(c)) return std::nullopt;
  ContentRange range;
  const std::optional<std::uint64_t> first = reader.number();
  if (!first || !reader.take('-')) return std::nullopt;
  const std::optional<std::uint64_t> last = reader.number();
  if (!last || !reader.take('/')) return std::nullopt;
  range.first = *first;
  range.last = *last;
  if (!reader.take('*') && !(range.total = reader.number())) return std::nullopt;
  if (!reader.atEnd() || range.first > range.last || (range.total && range.last >= *range.total))
    return std::nullopt;
  return range;
}

std::chrono::nanoseconds RateLimiter::charge(std::uint64_t bytes, std::chrono::steady_clock::time_point now) {
  if (rate_ == 0) return {};
  const std::lock_guard lock(mutex_);
  // Time not used while nobody read is saved up to a quarter second only: enough to make up for
  // readers that a busy machine woke late, never a flood after an idle minute.
  paidUntil_ = std::max(paidUntil_, now - std::chrono::milliseconds(250));
  paidUntil_ += std::chrono::nanoseconds(static_cast<long long>(static_cast<double>(bytes) * 1e9 / static_cast<double>(rate_)));
  return paidUntil_ - now;
}

}  // namespace Corvanthorne::Update
