// Format texts: the first line of the input is parsed as a format; when it
// parses, read statements read the rest of the input under it, with items
// whose kinds match the format's edit descriptors. Nothing may crash, hang or
// touch memory out of bounds, and:
// - a text that does not parse fails with "error in format";
// - a read gives success, the end of the file, "read unexpected character",
//   or, only where the format holds a quoted text, "error in format"; each
//   successful read takes at least one line, so there are at most as many
//   reads as lines.

#include <algorithm>
#include <deque>
#include <vector>

#include "format.h"
#include "fuzz_support.h"

namespace starmark::fuzz {
namespace {

using Kind = EditDescriptor::Kind;

// Enough items for several passes through a short format.
constexpr size_t kMostItems = 64;
constexpr size_t kLongestCharacterItem = 24;

// The kinds of one statement's items: those of the data descriptors in
// order, the format starting again while items remain, for up to three passes.
std::vector<Kind> item_kinds(const Format& format, size_t passes) {
  std::vector<Kind> kinds;
  for (const EditDescriptor& d : format.descriptors()) {
    if (d.kind == Kind::kInteger || d.kind == Kind::kReal || d.kind == Kind::kCharacter) {
      kinds.push_back(d.kind);
    }
    if (kinds.size() == kMostItems) break;
  }
  const size_t first_pass = kinds.size();
  const size_t count = std::min(kMostItems, first_pass * passes);
  for (size_t i = first_pass; i < count; ++i) kinds.push_back(kinds[i % first_pass]);
  return kinds;
}

void check_reads(const Format& format, const std::vector<Kind>& kinds, ByteSource& source,
                 std::string_view input) {
  std::deque<int32_t> integers;
  std::deque<float> reals;
  std::deque<std::string> texts;
  std::vector<ReadItem> items;
  for (const Kind kind : kinds) {
    const uint8_t choice = kind == Kind::kCharacter ? source.next_byte() : 0;
    if (kind == Kind::kInteger) {
      items.emplace_back(&integers.emplace_back());
    } else if (kind == Kind::kReal) {
      items.emplace_back(&reals.emplace_back());
    } else if (choice % 2 == 0) {
      items.emplace_back(&texts.emplace_back());  // the whole rest of the line
    } else {
      std::string& fixed = texts.emplace_back(choice / 2 % kLongestCharacterItem, '?');
      items.emplace_back(FixedText{fixed.data(), fixed.size()});
    }
  }
  const bool has_text = std::any_of(format.descriptors().begin(), format.descriptors().end(),
                                    [](const EditDescriptor& d) { return d.kind == Kind::kText; });
  const size_t lines = static_cast<size_t>(std::count(input.begin(), input.end(), '\n')) + 1;
  InputStream stream = InputStream::from_text(input);
  // As a read statement does, stop once the end of the file has been met.
  for (size_t reads = 1; !stream.end_met(); ++reads) {
    if (reads > lines) property_failed("read %zu of %zu lines", reads, lines);
    const Status status = read_formatted(stream, format, items.data(), items.size());
    if (status.ok()) continue;
    const std::string message = status.message();
    if (message != "fmt: end of file" && message != "fmt: read unexpected character" &&
        !(has_text && message == "fmt: error in format")) {
      property_failed("read %zu gave \"%s\"", reads, message.c_str());
    }
    return;
  }
}

void check_input(std::string_view input) {
  const std::string_view format_text = input.substr(0, input.find('\n'));
  const std::string_view rest = input.substr(std::min(format_text.size() + 1, input.size()));
  Format format;
  const Status parsed = Format::parse(format_text, &format);
  if (!parsed.ok()) {
    if (parsed.message() != "fmt: error in format") {
      property_failed("parsing gave \"%s\"", parsed.message().c_str());
    }
    return;
  }
  ByteSource source(rest);
  const size_t passes = 1 + source.next_byte() % 3;
  const std::vector<Kind> kinds = item_kinds(format, passes);
  check_reads(format, kinds, source, rest);
}

}  // namespace
}  // namespace starmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  starmark::fuzz::check_input({reinterpret_cast<const char*>(data), size});
  return 0;
}
