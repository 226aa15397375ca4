#pragma once
// Large picture buffers (a 4K picture is 24 MB) are written once from end
// to end right after they are allocated; in 4 KB pages that is six thousand
// page faults, which cost as much as a JPEG decode. Where the kernel offers
// transparent huge pages on request, asking for them makes it a dozen.

#include <cstddef>

#include <opencv2/core.hpp>

namespace tessaline {

// Asks for huge pages for the whole 2 MB pages inside [data, data + bytes),
// before they are first written. Only a hint: nothing changes where the
// system has no such pages, and the memory reads the same either way.
void AdviseHugePages(void* data, std::size_t bytes);

// The same for a picture's pixels.
inline void AdviseHugePages(cv::Mat& picture) {
  if (!picture.empty()) AdviseHugePages(picture.data, picture.step[0] * picture.rows);
}

}  // namespace tessaline
