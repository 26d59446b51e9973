#pragma once
// Text helpers shared by every layer. All texts the program stores or shows are
// single-byte Windows-1252 (µ is 0xB5); std::string holds those bytes as they are.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// A fixed-capacity text field as stored in packed records: one length byte, then
// Capacity bytes. Trivially copyable so that records holding it can be written byte for byte.
template <std::size_t Capacity>
struct TShortString {
  static_assert(Capacity > 0 && Capacity <= 255);
  std::uint8_t Length;
  char Chars[Capacity];

  std::string Str() const {
    return std::string(Chars, Length <= Capacity ? Length : Capacity);
  }
  // Longer texts are cut to the capacity; unused bytes are zeroed so stored images are stable.
  void Assign(std::string_view text) {
    const std::size_t n = text.size() < Capacity ? text.size() : Capacity;
    std::memset(Chars, 0, Capacity);
    if (n) std::memcpy(Chars, text.data(), n);
    Length = static_cast<std::uint8_t>(n);
  }
};

// Windows-1252 bytes to UTF-8 (for terminals, Qt and files meant for other programs).
std::string Cp1252ToUtf8(std::string_view text);
// UTF-8 to Windows-1252; characters without a Windows-1252 byte become '?'.
// Bytes that are not valid UTF-8 are taken as Windows-1252 already.
std::string Utf8ToCp1252(std::string_view text);
