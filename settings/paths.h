#pragma once
// Taking paths apart by name: the file name, its folder and its type. Every
// place that splits a path reads it here, so that all agree.
//
// Only "/" separates folders: on Linux a backslash is an ordinary character
// of a file name ("back\slash.jpg" is one name). Nothing here touches the
// disk; pure functions, any thread.

#include <string>

namespace tessaline {

// The text after the last "/"; the whole path when it has none. A path that
// ends in "/" names a folder and gives "".
std::string BaseName(const std::string& path);

// The text before the last "/": "" when the path has none, "/" for a name
// in the root folder.
std::string FolderOf(const std::string& path);

// The text after the last "." of the base name, lower-cased (ASCII only),
// without the dot; "" when the name has no "." or ends in one. A hidden
// file's name is read the same way: ".png" has the extension "png".
std::string LowerExtension(const std::string& path);

// The path with the base name's extension (everything after its last ".")
// replaced by `extension`, which comes without the dot; a name without a
// "." gets one: ("beach.jpg", "tle") gives "beach.tle", ("photo", "tle")
// "photo.tle".
std::string WithExtension(const std::string& path, const std::string& extension);

}  // namespace tessaline
