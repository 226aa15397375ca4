#pragma once
// What a drop on the view names, as functions of the pasted text: the
// dropped paths and what kind of file the first one is. No widgets: tests
// call them directly.
//
// File managers paste a text/uri-list: one "file://" URI per line with
// percent-escapes, lines ending in CR LF. Other sources paste plain paths,
// one per line; those are taken as they are.

#include <string>
#include <vector>

namespace tessaline {

enum class DropKind { kNothing, kImage, kMovie };

// The local paths of a pasted text: split at "\n", a trailing "\r" dropped
// from each piece, the list ending at the first empty piece; every
// "file://" URI decoded (see LocalPathOfUri).
std::vector<std::string> DroppedPaths(const std::string& text);

// "file:///a%20b/x.jpg" and "file://localhost/a%20b/x.jpg" give
// "/a b/x.jpg" (escapes become bytes, so UTF-8 names come out whole; a
// malformed escape stays as written). Anything else, a URI of another host
// included, comes back unchanged.
std::string LocalPathOfUri(const std::string& text);

// The part of the file name after its last ".", lower-cased, without spaces
// or NUL characters; empty when the name has no ".". Dots in folder names
// do not count.
std::string DropExtension(const std::string& path);

// What a drop of a file with this extension (as DropExtension gives it)
// opens.
DropKind DropKindOf(const std::string& extension);

}  // namespace tessaline
