// Format texts: the first line of the input is parsed as a format; when it
// parses, a write statement puts out items made of the input's bytes under
// it, and read statements read the rest of the input under it, with items
// whose kinds match the format's edit descriptors. Nothing may crash, hang or
// touch memory out of bounds, and:
// - a text that does not parse fails with "error in format";
// - every descriptor is sound: widths above zero, fewer decimals than
//   columns, a quoted text inside the format text;
// - a write succeeds and ends with a line feed;
// - a read gives success, the end of the file, "read unexpected character",
//   or, only where the format holds a quoted text, "error in format"; each
//   successful read takes at least one line, so there are at most as many
//   reads as lines.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format.h"
#include "fuzz_support.h"

namespace starmark::fuzz {
namespace {

using Kind = EditDescriptor::Kind;

// Enough items for several passes through a short format.
constexpr size_t kMostItems = 64;
// A write that would put out more is skipped: a format may rightly ask for
// a million blanks, many times over.
constexpr size_t kLongestWrite = size_t{1} << 22;
constexpr size_t kLongestCharacterItem = 24;

bool is_data(Kind kind) {
  return kind == Kind::kInteger || kind == Kind::kReal || kind == Kind::kCharacter;
}

void check_descriptors(const Format& format, std::string_view text) {
  if (format.text() != text) property_failed("the format keeps another text");
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  for (const EditDescriptor& descriptor : format.descriptors()) {
    const bool sound =
        (descriptor.kind != Kind::kInteger || descriptor.width > 0) &&
        (descriptor.kind != Kind::kReal || (descriptor.width > 0 && descriptor.decimals >= 0 &&
                                            descriptor.decimals < descriptor.width)) &&
        (descriptor.kind != Kind::kBlanks || descriptor.width >= 0) &&
        (descriptor.kind != Kind::kText || (descriptor.text.data() >= begin &&
                                            descriptor.text.data() + descriptor.text.size() < end));
    if (!sound) {
      property_failed("format \"%s\" gave descriptor kind %d, width %d, decimals %d",
                      escaped(text).c_str(), static_cast<int>(descriptor.kind), descriptor.width,
                      descriptor.decimals);
    }
  }
}

// The items of one statement: their kinds are those of the data
// descriptors in order, the format starting again while items remain.
struct ItemPlan {
  std::vector<Kind> kinds;
  size_t passes = 1;  // times the write goes through the format, at most
};

ItemPlan plan_items(const Format& format, ByteSource& source) {
  std::vector<Kind> data_kinds;
  for (const EditDescriptor& descriptor : format.descriptors()) {
    if (is_data(descriptor.kind)) data_kinds.push_back(descriptor.kind);
    if (data_kinds.size() == kMostItems) break;
  }
  ItemPlan plan;
  if (data_kinds.empty()) return plan;
  plan.passes = 1 + source.next_byte() % 3;
  const size_t count = std::min(kMostItems, data_kinds.size() * plan.passes);
  for (size_t i = 0; i < count; ++i) plan.kinds.push_back(data_kinds[i % data_kinds.size()]);
  return plan;
}

size_t longest_write(const Format& format, size_t passes) {
  size_t pass = 1;
  for (const EditDescriptor& descriptor : format.descriptors()) {
    switch (descriptor.kind) {
      case Kind::kInteger:
      case Kind::kReal:
      case Kind::kBlanks:
        pass += static_cast<size_t>(descriptor.width);
        break;
      case Kind::kCharacter:
        pass += kLongestCharacterItem;
        break;
      case Kind::kText:
        pass += descriptor.text.size();
        break;
      case Kind::kNewLine:
        pass += 1;
        break;
    }
  }
  return pass * passes;
}

void check_write(const Format& format, std::string_view format_text, const std::vector<Kind>& kinds,
                 ByteSource& source, std::string_view bytes) {
  std::vector<WriteItem> items;
  for (const Kind kind : kinds) {
    if (kind == Kind::kInteger) {
      items.emplace_back(source.next_integer());
    } else if (kind == Kind::kReal) {
      items.emplace_back(source.next_real());
    } else {
      const size_t start = bytes.empty() ? 0 : source.next_byte() % bytes.size();
      items.emplace_back(bytes.substr(start, source.next_byte() % kLongestCharacterItem));
    }
  }
  std::string text;
  const Status status = write_formatted(format, items.data(), items.size(), &text);
  if (!status.ok() || text.empty() || text.back() != '\n') {
    property_failed("format \"%s\" with %zu items wrote \"%s\" (%s)", escaped(format_text).c_str(),
                    items.size(), escaped(text).c_str(), status.message().c_str());
  }
}

bool has_text(const Format& format) {
  for (const EditDescriptor& descriptor : format.descriptors()) {
    if (descriptor.kind == Kind::kText) return true;
  }
  return false;
}

void check_reads(const Format& format, std::string_view format_text, const std::vector<Kind>& kinds,
                 ByteSource& source, std::string_view input) {
  const size_t count = kinds.size();
  std::vector<int32_t> integers(count);
  std::vector<float> reals(count);
  std::vector<std::string> fixed_texts(count);
  std::vector<std::string> whole_lines(count);
  std::vector<ReadItem> items;
  for (size_t i = 0; i < count; ++i) {
    if (kinds[i] == Kind::kInteger) {
      items.emplace_back(&integers[i]);
    } else if (kinds[i] == Kind::kReal) {
      items.emplace_back(&reals[i]);
    } else {
      const uint8_t choice = source.next_byte();
      if (choice % 2 == 0) {
        items.emplace_back(&whole_lines[i]);
      } else {
        fixed_texts[i].assign(choice / 2 % kLongestCharacterItem, '?');
        items.emplace_back(FixedText{fixed_texts[i].data(), fixed_texts[i].size()});
      }
    }
  }
  const bool text_in_format = has_text(format);
  const size_t lines = static_cast<size_t>(std::count(input.begin(), input.end(), '\n')) + 1;
  InputStream stream = InputStream::from_text(input);
  // As a read statement does, stop once the end of the file has been met.
  for (size_t reads = 1; !stream.end_met(); ++reads) {
    if (reads > lines) {
      property_failed("format \"%s\": read %zu of \"%s\" (%zu lines)", escaped(format_text).c_str(),
                      reads, escaped(input).c_str(), lines);
    }
    const Status status = read_formatted(stream, format, items.data(), items.size());
    if (status.ok()) continue;
    const std::string message = status.message();
    if (message != "fmt: end of file" && message != "fmt: read unexpected character" &&
        !(text_in_format && message == "fmt: error in format")) {
      property_failed("format \"%s\": read %zu of \"%s\" gave \"%s\"", escaped(format_text).c_str(),
                      reads, escaped(input).c_str(), message.c_str());
    }
    return;
  }
}

void check_input(std::string_view input) {
  const size_t line_end = input.find('\n');
  const std::string_view format_text = input.substr(0, line_end);
  const std::string_view rest = input.substr(std::min(format_text.size() + 1, input.size()));
  Format format;
  const Status parsed = Format::parse(format_text, &format);
  if (!parsed.ok()) {
    if (parsed.message() != "fmt: error in format") {
      property_failed("format \"%s\" gave \"%s\"", escaped(format_text).c_str(),
                      parsed.message().c_str());
    }
    return;
  }
  check_descriptors(format, format_text);
  ByteSource source(rest);
  const ItemPlan plan = plan_items(format, source);
  if (longest_write(format, plan.passes) <= kLongestWrite) {
    check_write(format, format_text, plan.kinds, source, rest);
  }
  check_reads(format, format_text, plan.kinds, source, rest);
}

}  // namespace
}  // namespace starmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  starmark::fuzz::check_input({reinterpret_cast<const char*>(data), size});
  return 0;
}
