#pragma once

#include <gmock/gmock.h>

#include <string>
#include <string_view>
#include <vector>

namespace orbiculon::testing {

// The lines of a text: split at LF, a CR before the LF dropped, and a final LF opens
// no further line. Check them with GoogleMock's matchers, which print every line
// when a check fails: EXPECT_THAT(splitLines(out), Contains("Plugin>  Saved: ...")).
inline std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t lineFeed = text.find('\n', start);
    const std::size_t end = lineFeed == std::string_view::npos ? text.size() : lineFeed;
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = end + 1;
  }
  return lines;
}

// Standard output and the plug-in's text files are text of the platform: on Windows
// each line ends with CR LF there.
inline std::string platformText(const std::string& text) {
#if defined(_WIN32)
  std::string converted;
  for (const char c : text)
    converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return converted;
#else
  return text;
#endif
}

// The same text with every CR LF as LF.
inline std::string withLineFeeds(const std::string& text) {
  std::string converted;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) converted += text[i];
  return converted;
}

// Contains(line) when `present`, otherwise Not(Contains(line)).
inline ::testing::Matcher<const std::vector<std::string>&> containsIf(bool present, const std::string& line) {
  if (present) return ::testing::Contains(line);
  return ::testing::Not(::testing::Contains(line));
}

} // namespace orbiculon::testing
