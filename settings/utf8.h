#pragma once
// Reading UTF-8 one character at a time, for the code that writes names
// into text meant for people or programs (the log, the deep-zoom page).
// File names are bytes: they need not be valid UTF-8. Pure; any thread.

#include <cstddef>
#include <string_view>

namespace tessaline {

// The length (1 to 4) of the valid UTF-8 sequence at the start of `text`,
// with its code point in `code`; 0 when the bytes there are none: a lone
// continuation byte, a sequence cut off, an overlong form, a surrogate, or
// beyond U+10FFFF. `text` must not be empty.
std::size_t Utf8Sequence(std::string_view text, char32_t& code);

}  // namespace tessaline
