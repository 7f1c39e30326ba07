#include "platform/unicode_windows.h"

#include <cstdint>

namespace quarlex {
namespace {

constexpr char32_t FIRST_HIGH_SURROGATE = 0xD800;
constexpr char32_t FIRST_LOW_SURROGATE = 0xDC00;
constexpr char32_t LAST_LOW_SURROGATE = 0xDFFF;
constexpr char32_t FIRST_SUPPLEMENTARY = 0x10000;
constexpr char32_t LAST_CODE_POINT = 0x10FFFF;
constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr int SURROGATE_BITS = 10;
constexpr char32_t SURROGATE_MASK = (1u << SURROGATE_BITS) - 1;

// Where each UTF-8 length ends, and the marks of lead and continuation
// bytes.
constexpr char32_t LAST_ONE_BYTE = 0x7F;
constexpr char32_t LAST_TWO_BYTES = 0x7FF;
constexpr char32_t LAST_THREE_BYTES = 0xFFFF;
constexpr int CONTINUATION_BITS = 6;
constexpr char32_t CONTINUATION_MASK = (1u << CONTINUATION_BITS) - 1;
constexpr unsigned char CONTINUATION_MARK = 0x80;
constexpr unsigned char TWO_BYTE_LEAD = 0xC0;
constexpr unsigned char THREE_BYTE_LEAD = 0xE0;
constexpr unsigned char FOUR_BYTE_LEAD = 0xF0;
// The bits of a lead byte that tell its length: one more than the lead.
constexpr unsigned char TWO_BYTE_TEST = 0xE0;
constexpr unsigned char THREE_BYTE_TEST = 0xF0;
constexpr unsigned char FOUR_BYTE_TEST = 0xF8;
constexpr unsigned char ASCII_BITS = 0x7F;

constexpr bool is_high_surrogate(char32_t unit) {
  return unit >= FIRST_HIGH_SURROGATE && unit < FIRST_LOW_SURROGATE;
}
constexpr bool is_low_surrogate(char32_t unit) {
  return unit >= FIRST_LOW_SURROGATE && unit <= LAST_LOW_SURROGATE;
}

char continuation(char32_t code_point, int shift) {
  return static_cast<char>(CONTINUATION_MARK | ((code_point >> shift) & CONTINUATION_MASK));
}

void append_utf8(std::string& out, char32_t code_point) {
  if (code_point <= LAST_ONE_BYTE) {
    out += static_cast<char>(code_point);
  } else if (code_point <= LAST_TWO_BYTES) {
    out += static_cast<char>(TWO_BYTE_LEAD | (code_point >> CONTINUATION_BITS));
    out += continuation(code_point, 0);
  } else if (code_point <= LAST_THREE_BYTES) {
    out += static_cast<char>(THREE_BYTE_LEAD | (code_point >> (2 * CONTINUATION_BITS)));
    out += continuation(code_point, CONTINUATION_BITS);
    out += continuation(code_point, 0);
  } else {
    out += static_cast<char>(FOUR_BYTE_LEAD | (code_point >> (3 * CONTINUATION_BITS)));
    out += continuation(code_point, 2 * CONTINUATION_BITS);
    out += continuation(code_point, CONTINUATION_BITS);
    out += continuation(code_point, 0);
  }
}

void append_utf16(std::wstring& out, char32_t code_point) {
  if (code_point < FIRST_SUPPLEMENTARY) {
    out += static_cast<wchar_t>(code_point);
    return;
  }
  const char32_t offset = code_point - FIRST_SUPPLEMENTARY;
  out += static_cast<wchar_t>(FIRST_HIGH_SURROGATE + (offset >> SURROGATE_BITS));
  out += static_cast<wchar_t>(FIRST_LOW_SURROGATE + (offset & SURROGATE_MASK));
}

// The code point of the sequence at `at`, which it steps past; U+FFFD for
// a byte that starts no valid sequence, which it steps past alone. A
// surrogate's three bytes are taken (see utf8_from_wide).
char32_t next_code_point(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead <= LAST_ONE_BYTE) return lead;
  int length = 0;
  char32_t smallest = 0;  // below it, the sequence is longer than it needs to be
  if ((lead & TWO_BYTE_TEST) == TWO_BYTE_LEAD) {
    length = 2;
    smallest = LAST_ONE_BYTE + 1;
  } else if ((lead & THREE_BYTE_TEST) == THREE_BYTE_LEAD) {
    length = 3;
    smallest = LAST_TWO_BYTES + 1;
  } else if ((lead & FOUR_BYTE_TEST) == FOUR_BYTE_LEAD) {
    length = 4;
    smallest = LAST_THREE_BYTES + 1;
  } else {
    return REPLACEMENT_CHARACTER;
  }
  const unsigned char lead_bits = static_cast<unsigned char>(ASCII_BITS >> length);
  char32_t code_point = lead & lead_bits;
  for (int i = 1; i < length; ++i) {
    if (at + static_cast<std::size_t>(i) - 1 >= text.size()) return REPLACEMENT_CHARACTER;
    const char byte = text[at + static_cast<std::size_t>(i) - 1];
    if (!continues_a_character(byte)) return REPLACEMENT_CHARACTER;
    code_point =
        code_point << CONTINUATION_BITS | (static_cast<unsigned char>(byte) & CONTINUATION_MASK);
  }
  if (code_point < smallest || code_point > LAST_CODE_POINT) return REPLACEMENT_CHARACTER;
  at += static_cast<std::size_t>(length) - 1;
  return code_point;
}

}  // namespace

std::string utf8_from_wide(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = static_cast<char16_t>(text[i]);
    if (is_high_surrogate(unit) && i + 1 < text.size() &&
        is_low_surrogate(static_cast<char16_t>(text[i + 1]))) {
      const char32_t low = static_cast<char16_t>(text[++i]);
      unit = FIRST_SUPPLEMENTARY + ((unit - FIRST_HIGH_SURROGATE) << SURROGATE_BITS) +
             (low - FIRST_LOW_SURROGATE);
    }
    append_utf8(out, unit);
  }
  return out;
}

std::wstring wide_from_utf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) append_utf16(out, next_code_point(text, at));
  return out;
}

}  // namespace quarlex
