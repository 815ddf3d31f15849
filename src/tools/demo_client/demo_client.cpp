#include "tools/demo_client/demo_client.h"

#include <charconv>

namespace Corvanthorne::DemoClient {
namespace {

bool readSeconds(std::string_view text, int& out) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 60) return false;
  out = value;
  return true;
}

bool readBehaviour(std::string_view text, Behaviour& out) {
  if (text == "normal") out = Behaviour::Normal;
  else if (text == "exit-at-once") out = Behaviour::ExitAtOnce;
  else if (text == "never-ready") out = Behaviour::NeverReady;
  else return false;
  return true;
}

}  // namespace

std::variant<Config, std::string> parseConfig(std::string_view text) {
  Config config;
  for (int number = 1; !text.empty(); ++number) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
    const bool read = equals != std::string_view::npos &&
                      ((key == "behaviour" && readBehaviour(value, config.behaviour)) ||
                       (key == "seconds" && readSeconds(value, config.seconds)) ||
                       (key == "close-after" && readSeconds(value, config.closeAfter)));
    if (!read) return "demo-client.ini line " + std::to_string(number) + ": cannot use \"" + std::string(line) + "\"";
  }
  return config;
}

}  // namespace Corvanthorne::DemoClient
