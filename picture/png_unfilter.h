#pragma once
// Undoing the filters PNG applies to each row of pixel bytes before it is
// compressed. Every byte is stored as the difference to a prediction from
// its neighbours: the byte one pixel to the left (a), the one above (b) and
// the one above and to the left (c); the first byte of each stored row says
// which prediction (0 none, 1 a, 2 b, 3 the mean of a and b, 4 Paeth: the
// one of a, b, c nearest to a + b - c). Left of the first pixel and above
// the top row count as zeros.
//
// Sub, Up and Average work on 16 bytes at a time, Paeth on a pixel at a time
// in vector registers (on x86-64; plain loops elsewhere). Pure; any thread.

#include <cstddef>
#include <cstdint>

namespace tessaline {

constexpr std::uint8_t kPaethFilter = 4;

// Bytes past the end of the rows `in` and `above` UnfilterRow may read.
constexpr std::size_t kUnfilterPadding = 16;

// Writes to `out` the `bytes` bytes of the row stored (after its filter
// byte `filter`) at `in`, unfiltered against `above` (the row above,
// unfiltered; zeros for the top row). `pixel_bytes` is 1 to 4. `in` and
// `above` must be readable kUnfilterPadding bytes past `bytes`; nothing
// past out + bytes is written. `out` does not overlap `above`; it may lie
// before `in` in the same buffer (unfiltering in place as the filter bytes
// are dropped): a byte of `in` is read before any write reaches it. False
// for a filter above 4.
bool UnfilterRow(std::uint8_t filter, const std::uint8_t* in, const std::uint8_t* above,
                 std::uint8_t* out, std::size_t bytes, int pixel_bytes);

// The same as UnfilterRow on two Paeth-filtered rows, `in` into `out`
// against `above`, then `in_next` into `out_next` against `out`, but about
// twice as fast for 3 and 4 bytes a pixel. `out` is also read up to
// kUnfilterPadding bytes past its end; `out_next` overlaps nothing else.
void UnfilterPaethRows(const std::uint8_t* in, const std::uint8_t* in_next,
                       const std::uint8_t* above, std::uint8_t* out, std::uint8_t* out_next,
                       std::size_t bytes, int pixel_bytes);

}  // namespace tessaline
