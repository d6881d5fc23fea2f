// Case mapping of the Windows-1252 code page, in place of the platform's CharUpperA/CharLowerA.
#pragma once

#include <cstdint>
#include <string>

namespace morvane {

// The upper-case byte of B: ASCII letters; 0xE0-0xFE but 0xF7 to 0xC0-0xDE; 0x9A, 0x9C, 0x9E to
// 0x8A, 0x8C, 0x8E; 0xFF to 0x9F. Every other byte (0xDF and 0xB5 included) maps to itself.
uint8_t UpperByte(uint8_t B) noexcept;
// The lower-case byte of B: the inverse of UpperByte on the bytes it changes.
uint8_t LowerByte(uint8_t B) noexcept;

// Maps the text in place up to its first zero byte, as the platform's zero-terminated routines
// do; the bytes from the zero byte on are left as they are.
void CharUpperA(std::string& S) noexcept;
void CharLowerA(std::string& S) noexcept;

}  // namespace morvane
