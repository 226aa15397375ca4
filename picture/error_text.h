#pragma once
// The text of a caught exception as one log line.

#include <exception>
#include <string>

namespace tessaline {

// What `error` says, on one line: OpenCV's own message without the file,
// line and function it adds (its what() spans several lines), any other
// exception's what() with its line breaks turned into blanks.
std::string ErrorText(const std::exception& error);

}  // namespace tessaline
