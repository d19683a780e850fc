#include "standin/CleaningExplanation.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "coords/CoordinateEntry.h"
#include "coords/CoordinateList.h"
#include "coords/FieldReader.h"
#include "standin/TextForMessages.h"

namespace standin {

namespace {

using orbiculon::CleaningLine;
using orbiculon::CoordinateField;
using orbiculon::FieldStatus;

constexpr int kFieldCount = 8;
// How much of an offending field an explanation quotes.
constexpr std::size_t kShownTokenLength = 40;
constexpr std::size_t kNumberTextCapacity = 64;

const char* fieldName(CoordinateField field) {
  switch (field) {
  case CoordinateField::X:
    return "x";
  case CoordinateField::Y:
    return "y";
  case CoordinateField::Z:
    return "z";
  case CoordinateField::Radius:
    return "radius";
  case CoordinateField::Name:
    return "name";
  case CoordinateField::Red:
    return "red";
  case CoordinateField::Green:
    return "green";
  case CoordinateField::Blue:
    return "blue";
  }
  return "?";
}

bool isInteger(CoordinateField field) {
  return field == CoordinateField::Red || field == CoordinateField::Green || field == CoordinateField::Blue;
}

// Shortest text that reads back as the same float ("-75", "69.5", "1e+20").
std::string number(float value) {
  std::array<char, kNumberTextCapacity> text{};
  const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() ? std::string(text.data(), end) : std::string("?");
}

// A token as the explanation quotes it, with control characters escaped.
std::string shownToken(std::string_view token) { return standin::quotedForMessage(token, kShownTokenLength); }

// The text where field `failed` should have been: the fields before it are read as
// cleaning read them, then the next run of characters up to a blank or separator.
std::string_view tokenAt(std::string_view line, CoordinateField failed) {
  orbiculon::FieldReader reader(line, true);
  float real = 0.0f;
  std::int32_t integer = 0;
  std::string_view name;
  for (int i = 0; i < static_cast<int>(failed); ++i) {
    const auto field = static_cast<CoordinateField>(i);
    if (field == CoordinateField::Name)
      reader.readName(name);
    else if (isInteger(field))
      reader.readInteger(integer);
    else
      reader.readReal(real);
  }
  const auto blank = [](char c) { return orbiculon::isFieldWhitespace(c) || orbiculon::isFieldSeparator(c); };
  std::size_t start = reader.position();
  while (start < line.size() && blank(line[start]))
    ++start;
  std::size_t end = start;
  while (end < line.size() && !blank(line[end]))
    ++end;
  return line.substr(start, end - start);
}

// A line of a comma-separated export: commas between all eight fields and no other
// separator. Its commas are field separators, not decimal commas.
bool isCommaSeparated(std::string_view line) {
  constexpr auto kCommasBetweenFields = static_cast<std::ptrdiff_t>(kFieldCount - 1);
  return std::count(line.begin(), line.end(), ',') >= kCommasBetweenFields &&
         line.find_first_of(";\t") == std::string_view::npos;
}

// The first quoted text with a blank inside, such as "left insula": the quotes are
// field separators, so the blank splits the name.
std::optional<std::string_view> quotedTextWithBlank(std::string_view line) {
  for (const char quote : {'"', '\''}) {
    for (std::size_t open = line.find(quote); open != std::string_view::npos;) {
      const std::size_t close = line.find(quote, open + 1);
      if (close == std::string_view::npos) break;
      const std::string_view inside = line.substr(open + 1, close - open - 1);
      if (inside.find_first_of(" \t") != std::string_view::npos &&
          inside.find_first_not_of(" \t") != std::string_view::npos)
        return inside;
      open = line.find(quote, close + 1);
    }
  }
  return std::nullopt;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// What cleaning leaves out of a line it keeps: the text after the eighth field, as
// cleaning reads the fields, and whether a CR stands inside the line (it separates
// fields like a blank, so the text after it is no line of its own).
struct IgnoredText {
  std::string_view afterEighthField;
  bool crInside = false;
};

IgnoredText ignoredText(std::string_view line) {
  IgnoredText ignored;
  const std::size_t cr = line.find('\r');
  ignored.crInside =
      cr != std::string_view::npos && line.find_first_not_of('\r', cr) != std::string_view::npos;
  orbiculon::FieldReader reader(line, true);
  float real = 0.0f;
  std::int32_t integer = 0;
  std::string_view name;
  for (int i = 0; i < kFieldCount; ++i) {
    const auto field = static_cast<CoordinateField>(i);
    const FieldStatus status = field == CoordinateField::Name ? reader.readName(name)
                               : isInteger(field)             ? reader.readInteger(integer)
                                                              : reader.readReal(real);
    if (status != FieldStatus::Read) return ignored;
  }
  const auto blank = [](char c) { return orbiculon::isFieldWhitespace(c) || orbiculon::isFieldSeparator(c); };
  std::size_t start = reader.position();
  std::size_t end = line.size();
  while (start < end && blank(line[start]))
    ++start;
  while (end > start && blank(line[end - 1]))
    --end;
  ignored.afterEighthField = line.substr(start, end - start);
  return ignored;
}

int countLines(std::string_view list) {
  if (list.empty()) return 0;
  const auto lineFeeds = static_cast<int>(std::count(list.begin(), list.end(), '\n'));
  return list.back() == '\n' ? lineFeeds : lineFeeds + 1;
}

// Collects the observer's callbacks line by line: the callbacks of one input line
// come together, so a line is written out when the next one begins, or at the end.
class Explainer final : public orbiculon::CleaningObserver {
public:
  Explainer(bool isMni, const std::string& otherSpaceOption, CleaningReport& report)
      : space_(isMni ? "MNI" : "TAL"), otherSpace_(isMni ? "TAL" : "MNI"),
        otherSpaceOption_(otherSpaceOption), report_(report) {}

  void fieldNotRead(const CleaningLine& line, CoordinateField field, FieldStatus status) override {
    Pending& pending = begin(line);
    // A peak as papers print it: x y z, then perhaps a label or a radius and a name.
    const bool peakLine = (field == CoordinateField::Radius && status != FieldStatus::OutOfRange) ||
                          (field == CoordinateField::Name && status == FieldStatus::Missing);
    if (peakLine) ++completable_;
    const std::string name = fieldName(field);
    const std::string_view token = tokenAt(line.text, field);
    switch (status) {
    case FieldStatus::Missing:
      if (field == CoordinateField::X) {
        pending.reason = "the line is blank";
      } else {
        pending.reason = name + " is missing: the line has " + std::to_string(static_cast<int>(field)) +
                         " of the 8 fields (x y z radius name red green blue)";
      }
      break;
    case FieldStatus::NotANumber:
      pending.reason =
          name + (isInteger(field) ? " is not a whole number: " : " is not a number: ") + shownToken(token);
      break;
    case FieldStatus::OutOfRange:
      pending.reason = name + " " + shownToken(token) +
                       (isInteger(field) ? " does not fit a 32-bit integer" : " is too large");
      break;
    case FieldStatus::Read:
      break;
    }
  }

  void coordinateOutOfBounds(const CleaningLine& line, CoordinateField field, float value, float low,
                             float high, bool validInOtherSpace) override {
    Pending& pending = begin(line);
    pending.reason = std::string(fieldName(field)) + " " + number(value) + " lies outside the " + space_ +
                     " bounds " + number(low) + " ... " + number(high);
    if (validInOtherSpace) {
      ++report_.validInOtherSpace;
      pending.hints.push_back("the line fits the " + otherSpace_ + " bounds: if it holds " + otherSpace_ +
                              " coordinates, use " + otherSpaceOption_);
    }
  }

  void blueOutOfRange(const CleaningLine& line, std::int32_t blue) override {
    begin(line).reason = "blue " + std::to_string(blue) + " lies outside 0 ... 500";
  }

  void lineDoesNotFit(const CleaningLine& line) override {
    begin(line).reason = "the cleaned list is full (it holds at most " +
                         std::to_string(orbiculon::kCoordinateListCapacity - 1) + " characters)";
  }

  void radiusClamped(const CleaningLine& line, float from, float to) override {
    begin(line).changes.push_back("radius " + number(from) + " clamped to " + number(to) +
                                  " (radius 0.5 ... 20)");
  }

  void colourClamped(const CleaningLine& line, CoordinateField field, std::int32_t from,
                     std::int32_t to) override {
    begin(line).changes.push_back(std::string(fieldName(field)) + " " + std::to_string(from) +
                                  " clamped to " + std::to_string(to) + " (colours 0 ... 255)");
  }

  void nameCut(const CleaningLine& line, std::size_t length) override {
    begin(line).changes.push_back("name of " + std::to_string(length) + " characters cut to its first " +
                                  std::to_string(orbiculon::kCoordinateNameMaxLength));
  }

  void hints(const CleaningLine& line, bool unicodeMinus, bool decimalComma) override {
    Pending& pending = begin(line);
    if (unicodeMinus) {
      pending.hints.push_back("the line holds a Unicode minus sign (U+2212, common in tables copied from "
                              "PDFs), which is not a minus here: replace it with -");
    }
    if (decimalComma && !pending.commaSeparated) {
      pending.hints.push_back("the line holds a digit, a comma and a digit: a comma always separates fields, "
                              "so a decimal comma splits a number in two (write 10.5, not 10,5)");
    }
  }

  void lineCompleted(const CleaningLine& line, const orbiculon::CompletedLine& completed) override {
    std::vector<std::string> filled;
    if (completed.radiusFilled) filled.push_back("radius " + number(completed.radius));
    if (completed.nameFilled) filled.push_back("name " + shownToken(completed.name));
    if (completed.redFilled) filled.push_back("red " + std::to_string(completed.red));
    if (completed.greenFilled) filled.push_back("green " + std::to_string(completed.green));
    if (completed.blueFilled) filled.push_back("blue " + std::to_string(completed.blue));
    std::string text = "completed with";
    for (std::size_t i = 0; i < filled.size(); ++i)
      text += (i > 0 ? ", " : " ") + filled[i];
    if (!completed.nameFilled) text += ", named " + shownToken(completed.name);
    Pending& pending = begin(line);
    pending.completed = true;
    pending.changes.push_back(text);
    if (completed.numbersUnused)
      pending.changes.push_back("numbers after z not used: without a heading they are statistics");
  }

  void rowRefused(const CleaningLine& line, orbiculon::TableRefusal reason) override {
    using orbiculon::TableRefusal;
    std::string& text = begin(line).reason;
    switch (reason) {
    case TableRefusal::DecimalComma:
      text = "x, y or z holds a decimal comma, while blanks separate the cells: separate them with ; or "
             "tabs, or write decimal points";
      break;
    case TableRefusal::OutOfRange:
      text = "a number is too large for its field";
      break;
    default:
      text = "the radius is not a number";
      break;
    }
  }

  // Lines are numbered from 1; `lines` are the lines of the list as cleaning reads them.
  void setLines(std::vector<std::string_view> lines) { lines_ = std::move(lines); }

  void finish() {
    flush();
    noteIgnoredUpTo(static_cast<std::int32_t>(lines_.size()));
  }
  // Dropped lines that look like peaks of a paper's table, which completion would keep.
  int completable() const { return completable_; }

private:
  struct Pending {
    std::int32_t number = 0;
    bool comment = false; // a `//` line: not reported when dropped
    bool commaSeparated = false;
    bool completed = false; // read as a row of a table: its fields are not the list's eight
    std::string reason;     // set when the line is dropped
    std::vector<std::string> changes;
    std::vector<std::string> hints;
  };

  Pending& begin(const CleaningLine& line) {
    if (pending_ && pending_->number != line.number) flush();
    if (!pending_) {
      noteIgnoredUpTo(line.number - 1);
      pending_.emplace();
      pending_->number = line.number;
      pending_->comment = isCommentLine(line.text);
      pending_->commaSeparated = isCommaSeparated(line.text);
      if (const auto quoted = quotedTextWithBlank(line.text)) {
        std::string joined(*quoted);
        std::replace_if(
            joined.begin(), joined.end(), [](char c) { return c == ' ' || c == '\t'; }, '_');
        pending_->hints.push_back(
            "the quoted name " + shownToken(*quoted) +
            " holds a blank: quotes separate fields like blanks, so the blank splits it; "
            "write it without blanks, e.g. " +
            shownToken(joined));
      }
    }
    return *pending_;
  }

  // Lines without any other remark up to `last` that hold text cleaning ignores.
  void noteIgnoredUpTo(std::int32_t last) {
    for (; noted_ < last; ++noted_) {
      Pending plain;
      plain.number = noted_ + 1;
      write(plain);
    }
  }

  void flush() {
    if (!pending_) return;
    noted_ = pending_->number;
    write(*pending_);
    pending_.reset();
  }

  void write(Pending& pending) {
    const IgnoredText ignored =
        !pending.completed && pending.number >= 1 && static_cast<std::size_t>(pending.number) <= lines_.size()
            ? ignoredText(lines_[static_cast<std::size_t>(pending.number - 1)])
            : IgnoredText{};
    if (ignored.crInside) {
      pending.hints.push_back(
          "the line holds a CR without a line feed (a line end of old Mac files): it "
          "separates fields like a blank, so the text after it starts no line of its own");
    }
    const std::string prefix = "line " + std::to_string(pending.number) + ": ";
    if (!pending.reason.empty() && pending.comment) {
      ++report_.comments;
      return;
    }
    if (!pending.reason.empty()) {
      ++report_.dropped;
      report_.lines.push_back(prefix + "dropped: " + pending.reason);
    } else {
      std::string text;
      for (std::size_t i = 0; i < pending.changes.size(); ++i)
        text += (i > 0 ? "; " : "") + pending.changes[i];
      if (!pending.changes.empty()) ++report_.changed;
      if (!ignored.afterEighthField.empty()) {
        ++report_.withIgnoredText;
        text += (text.empty() ? "" : "; ") + std::string("text after the eighth field ignored: ") +
                shownToken(ignored.afterEighthField);
      }
      if (text.empty()) return;
      report_.lines.push_back(prefix + (pending.changes.empty() ? "kept, " : "kept, changed: ") + text);
    }
    for (const auto& hint : pending.hints)
      report_.lines.push_back("  hint: " + hint);
  }

  std::string space_;
  std::string otherSpace_;
  std::string otherSpaceOption_;
  CleaningReport& report_;
  std::optional<Pending> pending_;
  std::vector<std::string_view> lines_;
  std::int32_t noted_ = 0; // lines up to this one have been written out
  int completable_ = 0;
};

} // namespace

std::string_view withoutByteOrderMark(std::string_view list) {
  return list.starts_with(kByteOrderMark) ? list.substr(kByteOrderMark.size()) : list;
}

bool isCommentLine(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  return start != std::string_view::npos && line.substr(start, 2) == "//";
}

CleaningReport explainCleaning(std::string_view list, bool isMni, const std::string& otherSpaceOption,
                               const orbiculon::CompletionDefaults* completion) {
  CleaningReport report;
  if (list.starts_with(kByteOrderMark)) {
    report.lines.emplace_back("the list begins with a UTF-8 byte-order mark, which is ignored");
    list = withoutByteOrderMark(list);
  }
  std::vector<char> buffer(orbiculon::kCoordinateListCapacity, '\0');
  const std::size_t length = std::min(list.size(), buffer.size() - 1);
  std::copy_n(list.begin(), length, buffer.begin());
  report.inputLines = countLines(list.substr(0, length));

  Explainer explainer(isMni, otherSpaceOption, report);
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < length;) {
    const std::size_t end = std::min(list.find('\n', start), length);
    lines.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  explainer.setLines(std::move(lines));
  orbiculon::LineCompletion lineCompletion{};
  if (completion != nullptr) lineCompletion.defaults = *completion;
  report.kept = orbiculon::cleanCoordinateList(buffer, isMni, &explainer,
                                               completion != nullptr ? &lineCompletion : nullptr);
  if (report.kept == orbiculon::kCleaningOutOfMemory) {
    CleaningReport failed;
    failed.outOfMemory = true;
    return failed;
  }
  explainer.finish();

  const char* space = isMni ? "MNI" : "TAL";
  report.lines.push_back(
      "kept " + std::to_string(report.kept) + " of " + std::to_string(report.inputLines) + " lines for " +
      space + ": " + std::to_string(report.dropped) + " dropped, " + std::to_string(report.changed) +
      " changed" + (report.comments > 0 ? ", " + std::to_string(report.comments) + " comments" : "") +
      (report.withIgnoredText > 0 ? ", " + std::to_string(report.withIgnoredText) + " with text ignored"
                                  : std::string()));
  if (report.validInOtherSpace > 0) {
    const char* other = isMni ? "TAL" : "MNI";
    report.lines.push_back("  hint: " + std::to_string(report.validInOtherSpace) + " dropped " +
                           (report.validInOtherSpace == 1 ? "line fits" : "lines fit") + " the " + other +
                           " bounds: if the list holds " + other + " coordinates, use " + otherSpaceOption);
  }
  if (completion == nullptr && explainer.completable() > 0) {
    report.lines.push_back(
        "  hint: " + std::to_string(explainer.completable()) + " dropped " +
        (explainer.completable() == 1 ? "line gives" : "lines give") +
        " only x y z (perhaps with a label): with --complete, --radius, --name and --colour "
        "fill in the rest");
  }
  if (report.kept == 0 && report.inputLines > 0) {
    report.lines.push_back(
        "  hint: each line needs 8 fields in this order: x y z radius name red green blue, "
        "e.g. -42 -58 22 5 amygdala_L 255 0 0");
  }
  return report;
}

} // namespace standin
