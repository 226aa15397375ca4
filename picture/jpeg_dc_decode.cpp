#include "picture/jpeg_dc_decode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <vector>

namespace tessaline {
namespace {

// Codes up to this long are decoded by one look-up; longer ones (rare: the
// encoder gives them to the rarest symbols) walk the canonical code.
constexpr int kLookupBits = 10;

// What a look-up gives for an AC symbol: the bits it takes with its value
// bits, how far it moves along the block, and whether it ends the block.
// Zero: a code longer than kLookupBits.
// Packed as bits | advance << 5 | ends << 10 | value bits << 11.
constexpr std::uint16_t kEndsBlock = 1u << 10;
std::uint16_t AcStep(int bits, int advance, bool ends, int size = 0) {
  return static_cast<std::uint16_t>(bits | advance << 5 | (ends ? kEndsBlock : 0) | size << 11);
}

// AC coefficients passed over two at a time: looked up by this many bits,
// a pair of short symbols (the usual small values) comes in one step.
constexpr int kPairBits = 12;

struct HuffmanTable {
  std::array<std::uint16_t, 1 << kLookupBits> codes{};  // length << 8 | symbol; 0: longer
  std::array<std::uint16_t, 1 << kLookupBits> steps{};  // AC tables: AcStep
  std::array<std::uint32_t, 1 << kPairBits> pairs{};    // AC tables: PairStep; 0: none
  std::array<std::int32_t, 18> max_code{};              // per length, -1 for none
  std::array<std::int32_t, 18> value_offset{};
  std::array<std::uint8_t, 256> values{};
};

std::uint16_t AcStepOf(int length, int symbol) {
  const int run = symbol >> 4;
  const int size = symbol & 15;
  // Size 0 is the end of the block, or with run 15 sixteen zeros; libjpeg
  // reads any other run with size 0 as an end of block too.
  if (size == 0) return run == 15 ? AcStep(length, 16, false) : AcStep(length, 0, true);
  return AcStep(length + size, run + 1, false, size);
}

// The symbol whose code starts `bits` (`available` of them, most
// significant first), walking the canonical code; false when none fits.
bool CodeAt(const HuffmanTable& table, std::uint32_t bits, int available, int& length,
            int& symbol) {
  for (length = 1; length <= std::min(available, 16); ++length) {
    const auto code = static_cast<std::int32_t>(bits >> (available - length));
    if (code <= table.max_code[length]) {
      symbol = table.values[code + table.value_offset[length]];
      return true;
    }
  }
  return false;
}

// Two AC symbols (or one that ends the block) in one look-up, packed as:
// bits 0-4 the first's bits, 5-9 its advance, 10 whether it ends the
// block; 11-15 both symbols' bits, 16-21 their advance plus one when the
// second ends the block (the room both need), 22-27 their advance, 28
// whether the second ends the block, 29 whether there is a second, 30 set.
// Without a second, the pair fields describe the first alone.
struct PairStep {
  static std::uint32_t Make(std::uint16_t first, std::uint16_t second, bool has_second) {
    const std::uint32_t bits1 = first & 31, adv1 = first >> 5 & 31,
                        ends1 = (first & kEndsBlock) != 0;
    std::uint32_t entry = bits1 | adv1 << 5 | ends1 << 10 | 1u << 30;
    if (!has_second) return entry | bits1 << 11 | (adv1 + ends1) << 16 | adv1 << 22 | ends1 << 28;
    const std::uint32_t ends2 = (second & kEndsBlock) != 0;
    const std::uint32_t bits = bits1 + (second & 31), adv = adv1 + (second >> 5 & 31);
    return entry | bits << 11 | (adv + ends2) << 16 | adv << 22 | ends2 << 28 | 1u << 29;
  }
};

void BuildPairs(HuffmanTable& table) {
  for (std::uint32_t key = 0; key < (1u << kPairBits); ++key) {
    int length = 0, symbol = 0;
    if (!CodeAt(table, key, kPairBits, length, symbol)) continue;
    const std::uint16_t first = AcStepOf(length, symbol);
    const int used = first & 31;
    if (used > kPairBits) continue;
    const int left = kPairBits - used;
    bool has_second = false;
    std::uint16_t second = 0;
    if (!(first & kEndsBlock) && left > 0 &&
        CodeAt(table, key & ((1u << left) - 1), left, length, symbol)) {
      second = AcStepOf(length, symbol);
      has_second = (second & 31) <= left;
    }
    table.pairs[key] = PairStep::Make(first, second, has_second);
  }
}

// The table libjpeg read, checked as libjpeg would check it when it starts
// decoding: codes that do not fit their lengths make the file unfit here.
bool BuildTable(const JHUFF_TBL* source, bool ac, HuffmanTable& table) {
  if (source == nullptr) return false;
  int count = 0;
  std::int32_t code = 0;
  table.max_code.fill(-1);
  for (int length = 1; length <= 16; ++length) {
    const int n = source->bits[length];
    table.value_offset[length] = count - code;
    for (int i = 0; i < n; ++i, ++code, ++count) {
      // libjpeg checks the code space only when it starts decoding, after
      // the header this decoder is handed: an overfull length would index
      // past the look-up tables.
      if (count >= 256 || code >= (1 << length)) return false;
      const int symbol = source->huffval[count];
      table.values[count] = static_cast<std::uint8_t>(symbol);
      if (length <= kLookupBits) {
        const int shift = kLookupBits - length;
        const std::size_t first = static_cast<std::size_t>(code) << shift;
        std::fill_n(&table.codes[first], 1u << shift,
                    static_cast<std::uint16_t>(length << 8 | symbol));
        if (ac) std::fill_n(&table.steps[first], 1u << shift, AcStepOf(length, symbol));
      }
    }
    if (n > 0) table.max_code[length] = code - 1;
    code <<= 1;
  }
  if (ac) BuildPairs(table);
  return true;
}

// Bits of the entropy-coded segment, most significant first, with the
// stuffed zero after each 0xFF removed. At a marker or the end of the data
// it feeds zero bits and counts them: a segment that used any was cut short.
class BitReader {
 public:
  BitReader(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}

  // At least 32 bits ready.
  void Fill() {
    if (bits_ < 32) Refill();
  }

  std::uint32_t Peek(int n) const { return static_cast<std::uint32_t>(buffer_ >> (64 - n)); }
  void Skip(int n) {
    buffer_ <<= n;
    bits_ -= n;
  }

  // Whether every bit taken so far was real data.
  bool Intact() const { return bits_ >= fed_zeros_; }

  // Past the padding to the restart marker RSTn, which must be next.
  bool Restart(int n) {
    if (!Intact() || bits_ - fed_zeros_ >= 8) return false;
    while (at_ + 1 < end_ && at_[0] == 0xFF && at_[1] == 0xFF) ++at_;  // fill bytes
    if (at_ + 1 >= end_ || at_[0] != 0xFF || at_[1] != 0xD0 + n) return false;
    at_ += 2;
    buffer_ = 0;
    bits_ = 0;
    fed_zeros_ = 0;
    stopped_ = false;
    return true;
  }

 private:
  void Refill() {
    // Mostly eight bytes at once: 0xFF (a stuffed byte or a marker) comes
    // about once in 200 bytes of photo data.
    if (!stopped_ && end_ - at_ >= 8) {
      std::uint64_t word;
      std::memcpy(&word, at_, 8);
      word = __builtin_bswap64(word);  // the first byte most significant
      const std::uint64_t inverse = ~word;
      const bool has_ff =
          ((inverse - 0x0101010101010101ull) & ~inverse & 0x8080808080808080ull) != 0;
      if (!has_ff) {
        const int bytes = (64 - bits_) >> 3;
        buffer_ |= (word & (~std::uint64_t{0} << (64 - 8 * bytes))) >> bits_;
        bits_ += 8 * bytes;
        at_ += bytes;
        return;
      }
    }
    while (bits_ <= 56) {
      std::uint64_t byte = 0;
      bool real = false;
      if (!stopped_ && at_ < end_) {
        if (*at_ != 0xFF) {
          byte = *at_++;
          real = true;
        } else if (at_ + 1 < end_ && at_[1] == 0) {
          byte = 0xFF;
          at_ += 2;
          real = true;
        } else {
          stopped_ = true;  // a marker: it stays for Restart to read
        }
      }
      if (!real) fed_zeros_ += 8;
      buffer_ |= byte << (56 - bits_);
      bits_ += 8;
    }
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  std::uint64_t buffer_ = 0;
  int bits_ = 0;
  int fed_zeros_ = 0;
  bool stopped_ = false;
};

// The symbol of a code longer than kLookupBits; -1 for none. Fill() done.
int SlowSymbol(const HuffmanTable& table, BitReader& reader, int& length) {
  for (length = kLookupBits + 1; length <= 16; ++length) {
    const auto code = static_cast<std::int32_t>(reader.Peek(length));
    if (code <= table.max_code[length]) return table.values[code + table.value_offset[length]];
  }
  return -1;
}

// The next symbol by `table`; -1 for a bad code. Fill() done.
int NextSymbol(const HuffmanTable& table, BitReader& reader) {
  int length = 0;
  int symbol = 0;
  const std::uint16_t entry = table.codes[reader.Peek(kLookupBits)];
  if (entry != 0) {
    length = entry >> 8;
    symbol = entry & 0xFF;
  } else {
    symbol = SlowSymbol(table, reader, length);
    if (symbol < 0) return -1;
  }
  reader.Skip(length);
  return symbol;
}

// The signed value of `size` bits (JPEG's "extend"). Fill() done.
int NextValue(BitReader& reader, int size) {
  if (size == 0) return 0;
  int value = static_cast<int>(reader.Peek(size));
  reader.Skip(size);
  return value < (1 << (size - 1)) ? value - (1 << size) + 1 : value;
}

// A block's DC difference added to `predictor`. False for a bad code or a
// value libjpeg's 16-bit coefficients could not hold.
bool DecodeDc(const HuffmanTable& dc, BitReader& reader, int& predictor) {
  reader.Fill();
  const int size = NextSymbol(dc, reader);
  if (size < 0 || size > 11) return false;
  predictor += NextValue(reader, size);
  return predictor >= -32768 && predictor <= 32767;
}

// Where libjpeg's 2 × 2 inverse DCT reads each zigzag position: its
// row-major index among rows and columns 0, 1, 3, 5 and 7 (row * 8 + col),
// or -1 for a coefficient it never looks at.
constexpr std::array<std::int8_t, 64> kKeptAt = [] {
  constexpr int kNaturalOrder[64] = {
      0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
      41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
      30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
  std::array<std::int8_t, 64> kept{};
  for (int k = 0; k < 64; ++k) {
    const int row = kNaturalOrder[k] / 8, col = kNaturalOrder[k] % 8;
    const bool read = (row < 2 || row % 2 == 1) && (col < 2 || col % 2 == 1);
    kept[k] = static_cast<std::int8_t>(read ? kNaturalOrder[k] : -1);
  }
  return kept;
}();

// One block: its DC difference added to `predictor`; with kKeep, its
// coefficients that a 2 × 2 inverse DCT reads go to `block` (row-major, the
// others left alone), else every AC one is passed over. False for a bad
// code or a block longer than 64.
template <bool kKeep>
bool DecodeBlock(const HuffmanTable& dc, const HuffmanTable& ac, BitReader& reader, int& predictor,
                 std::int32_t* block) {
  if (!DecodeDc(dc, reader, predictor)) return false;
  int length = 0;
  for (int k = 1; k < 64;) {
    reader.Fill();
    if (!kKeep) {
      std::uint32_t pair = ac.pairs[reader.Peek(kPairBits)];
      if (pair != 0) {
        if (k + static_cast<int>(pair >> 16 & 63) <= 64) {  // both within the block
          reader.Skip(pair >> 11 & 31);
          if (pair & (1u << 28)) return true;
          k += pair >> 22 & 63;
          // At least 32 - 12 bits are left: room for another pair.
          pair = ac.pairs[reader.Peek(kPairBits)];
          if (pair == 0 || k + static_cast<int>(pair >> 16 & 63) > 64) continue;
          reader.Skip(pair >> 11 & 31);
          if (pair & (1u << 28)) return true;
          k += pair >> 22 & 63;
          continue;
        }
        reader.Skip(pair & 31);
        if (pair & (1u << 10)) return true;
        k += pair >> 5 & 31;
        if (k > 64) return false;
        continue;
      }
    }
    std::uint16_t step = ac.steps[reader.Peek(kLookupBits)];
    if (step == 0) {
      const int symbol = SlowSymbol(ac, reader, length);
      if (symbol < 0) return false;
      step = AcStepOf(length, symbol);
    }
    const int bits = step & 31;
    if (kKeep && !(step & kEndsBlock)) {
      const int size = step >> 11;
      const int at = k + (step >> 5 & 31) - 1;
      if (size > 0 && at < 64 && kKeptAt[static_cast<std::size_t>(at)] >= 0) {
        // The value bits end the symbol's bits.
        int value = static_cast<int>(reader.Peek(bits) & ((1u << size) - 1));
        if (value < (1 << (size - 1))) value -= (1 << size) - 1;
        block[kKeptAt[static_cast<std::size_t>(at)]] = value;
      }
    }
    reader.Skip(bits);
    if (step & kEndsBlock) return true;
    k += step >> 5 & 31;
    if (k > 64) return false;
  }
  return true;
}

// libjpeg's clamp after an inverse DCT: its table is indexed by the value
// modulo 1024, so wild values wrap as they do there.
constexpr std::array<std::uint8_t, 1024> kRangeLimit = [] {
  std::array<std::uint8_t, 1024> table{};
  for (int index = 0; index < 1024; ++index)
    table[index] = static_cast<std::uint8_t>(index < 128   ? index + 128
                                             : index < 512 ? 255
                                             : index < 896 ? 0
                                                           : index - 896);
  return table;
}();

std::uint8_t RangeLimit(std::int64_t value) { return kRangeLimit[value & 1023]; }

std::int64_t Descale(std::int64_t value, int bits) {
  return (value + (std::int64_t{1} << (bits - 1))) >> bits;
}

// The coefficients InverseDct2x2 reads (rows and columns 0, 1, 3, 5, 7).
constexpr int kIdctInputs[25] = {0,  1,  3,  5,  7,  8,  9,  11, 13, 15, 24, 25, 27,
                                 29, 31, 40, 41, 43, 45, 47, 56, 57, 59, 61, 63};

// libjpeg's 2 × 2 inverse DCT (jidctred.c): the even part is the DC, the
// odd part the odd rows and columns.
void InverseDct2x2(const std::int32_t* block, const UINT16* quant, std::uint8_t out[2][2]) {
  constexpr std::int64_t kC7 = -5906, kC5 = 6967, kC3 = -10426, kC1 = 29692;
  auto odd = [&](auto at) { return at(7) * kC7 + at(5) * kC5 + at(3) * kC3 + at(1) * kC1; };
  std::int64_t work[2][8] = {};
  for (int col : {0, 1, 3, 5, 7}) {
    auto z = [&](int row) { return std::int64_t{block[row * 8 + col]} * quant[row * 8 + col]; };
    const std::int64_t even = z(0) * (1 << 15);
    const std::int64_t o = odd(z);
    work[0][col] = Descale(even + o, 13);
    work[1][col] = Descale(even - o, 13);
  }
  for (int row = 0; row < 2; ++row) {
    const std::int64_t* w = work[row];
    const std::int64_t even = w[0] * (1 << 15);
    const std::int64_t o = odd([w](int col) { return w[col]; });
    out[row][0] = RangeLimit(Descale(even + o, 20));
    out[row][1] = RangeLimit(Descale(even - o, 20));
  }
}

// A component as the scan codes it: its block grid, `scale` × `scale`
// pixels a block (libjpeg's choice, ScaleOf).
struct Plane {
  int h = 1, v = 1;  // sampling factors
  int scale = 1;
  int blocks_wide = 0, blocks_high = 0;
  const UINT16* quant = nullptr;
  const HuffmanTable* dc = nullptr;
  const HuffmanTable* ac = nullptr;
  int predictor = 0;
  std::vector<std::uint8_t> pixels;      // Wide() pixels a row
  std::array<std::int32_t, 64> block{};  // zero between blocks

  int Wide() const { return blocks_wide * scale; }

  bool Decode(BitReader& reader, int bx, int by) {
    if (scale == 1) {
      if (!DecodeBlock<false>(*dc, *ac, reader, predictor, nullptr)) return false;
      // libjpeg's 1 × 1 inverse DCT: the dequantised DC over 8, rounded.
      pixels[static_cast<std::size_t>(by) * Wide() + bx] =
          RangeLimit(Descale(std::int64_t{predictor} * quant[0], 3));
      return true;
    }
    if (!DecodeBlock<true>(*dc, *ac, reader, predictor, block.data())) return false;
    block[0] = predictor;
    std::uint8_t out[2][2];
    InverseDct2x2(block.data(), quant, out);
    for (int at : kIdctInputs) block[static_cast<std::size_t>(at)] = 0;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x)
        pixels[static_cast<std::size_t>(by * 2 + y) * Wide() + bx * 2 + x] = out[y][x];
    return true;
  }
};

// The inverse DCT size libjpeg gives a component at 1/8 scale: it grows
// while the component is subsampled by twice as much again, so that chroma
// needs less enlarging (jdmaster.c). 0 for sizes this decoder lacks.
int ScaleOf(int h, int v, int max_h, int max_v) {
  int scale = 1;
  while (scale < 8 && max_h % (h * scale * 2) == 0 && max_v % (v * scale * 2) == 0) scale *= 2;
  return scale <= 2 ? scale : 0;
}

bool DecodeScan(const jpeg_decompress_struct& info, std::vector<Plane>& planes, BitReader& reader) {
  const bool interleaved = planes.size() > 1;
  int max_h = 1, max_v = 1;
  for (const Plane& p : planes) max_h = std::max(max_h, p.h), max_v = std::max(max_v, p.v);
  const int width = static_cast<int>(info.image_width);
  const int height = static_cast<int>(info.image_height);
  const int mcus_wide = interleaved ? (width + 8 * max_h - 1) / (8 * max_h) : (width + 7) / 8;
  const int mcus_high = interleaved ? (height + 8 * max_v - 1) / (8 * max_v) : (height + 7) / 8;
  for (Plane& p : planes) {
    p.blocks_wide = interleaved ? mcus_wide * p.h : mcus_wide;
    p.blocks_high = interleaved ? mcus_high * p.v : mcus_high;
    p.pixels.assign(static_cast<std::size_t>(p.Wide()) * p.blocks_high * p.scale, 0);
  }
  const long long interval = info.restart_interval;
  long long mcu = 0;
  int restart = 0;
  for (int my = 0; my < mcus_high; ++my) {
    for (int mx = 0; mx < mcus_wide; ++mx, ++mcu) {
      if (interval > 0 && mcu > 0 && mcu % interval == 0) {
        if (!reader.Restart(restart)) return false;
        restart = (restart + 1) & 7;
        for (Plane& p : planes) p.predictor = 0;
      }
      for (Plane& p : planes) {
        const int h = interleaved ? p.h : 1;
        const int v = interleaved ? p.v : 1;
        for (int y = 0; y < v; ++y)
          for (int x = 0; x < h; ++x) {
            if (!p.Decode(reader, mx * h + x, my * v + y)) return false;
          }
      }
    }
  }
  return reader.Intact();
}

// libjpeg's YCbCr to RGB rule, in its fixed point (jdcolor.c).
struct YccTables {
  std::array<int, 256> cr_r{}, cb_b{}, cr_g{}, cb_g{};
  YccTables() {
    constexpr int kScale = 16;
    constexpr long kHalf = 1L << (kScale - 1);
    auto fix = [](double x) { return static_cast<long>(x * (1L << kScale) + 0.5); };
    for (int i = 0; i < 256; ++i) {
      const long x = i - 128;
      cr_r[i] = static_cast<int>((fix(1.40200) * x + kHalf) >> kScale);
      cb_b[i] = static_cast<int>((fix(1.77200) * x + kHalf) >> kScale);
      cr_g[i] = static_cast<int>(-fix(0.71414) * x);
      cb_g[i] = static_cast<int>(-fix(0.34414) * x + kHalf);
    }
  }
};

std::uint8_t Clamp(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

// libjpeg's YCbCr to RGB rule, with each component's sample repeated over
// the output pixels it covers, as libjpeg enlarges at 1/8 scale.
void ToBgr(const std::vector<Plane>& planes, cv::Mat& out) {
  static const YccTables tables;
  const Plane& luma = planes[0];
  const std::uint8_t* row[3] = {nullptr, nullptr, nullptr};
  int step[3] = {1, 1, 1};
  for (int y = 0; y < out.rows; ++y) {
    for (std::size_t c = 0; c < planes.size(); ++c) {
      const Plane& p = planes[c];
      const int up_y = luma.v / (p.v * p.scale);
      row[c] = p.pixels.data() + static_cast<std::size_t>(y / up_y) * p.Wide();
      step[c] = luma.h / (p.h * p.scale);
    }
    auto* pixel = out.ptr<std::uint8_t>(y);
    if (planes.size() == 1) {
      for (int x = 0; x < out.cols; ++x, pixel += 3) pixel[0] = pixel[1] = pixel[2] = row[0][x];
      continue;
    }
    for (int x = 0; x < out.cols; ++x, pixel += 3) {
      const int l = row[0][x];
      const int b = row[1][x / step[1]];
      const int r = row[2][x / step[2]];
      pixel[0] = Clamp(l + tables.cb_b[b]);
      pixel[1] = Clamp(l + ((tables.cb_g[b] + tables.cr_g[r]) >> 16));
      pixel[2] = Clamp(l + tables.cr_r[r]);
    }
  }
}

bool Fits(const jpeg_decompress_struct& info) {
  const bool grey = info.num_components == 1 && info.jpeg_color_space == JCS_GRAYSCALE;
  const bool colour = info.num_components == 3 && info.jpeg_color_space == JCS_YCbCr;
  return (grey || colour) && !info.progressive_mode && !info.arith_code &&
         info.data_precision == 8 && info.comps_in_scan == info.num_components && info.Ss == 0 &&
         info.Se == 63 && info.Ah == 0 && info.Al == 0 && info.src != nullptr &&
         info.image_width > 0 && info.image_height > 0;
}

}  // namespace

bool DecodeJpegEighth(const jpeg_decompress_struct& info, cv::Mat& out) {
  if (!Fits(info)) return false;
  std::vector<HuffmanTable> tables(2 * NUM_HUFF_TBLS);
  std::vector<bool> built(2 * NUM_HUFF_TBLS, false);
  std::vector<Plane> planes(static_cast<std::size_t>(info.comps_in_scan));
  int max_h = 1, max_v = 1;
  for (int c = 0; c < info.comps_in_scan; ++c) {
    const jpeg_component_info* component = info.cur_comp_info[c];
    if (component == nullptr || component->component_index != c) return false;
    Plane& plane = planes[static_cast<std::size_t>(c)];
    plane.h = component->h_samp_factor;
    plane.v = component->v_samp_factor;
    max_h = std::max(max_h, plane.h);
    max_v = std::max(max_v, plane.v);
    const int quant_table = component->quant_tbl_no;
    if (quant_table < 0 || quant_table >= NUM_QUANT_TBLS ||
        info.quant_tbl_ptrs[quant_table] == nullptr)
      return false;
    plane.quant = info.quant_tbl_ptrs[quant_table]->quantval;
    const int dc = component->dc_tbl_no;
    const int ac = component->ac_tbl_no;
    if (dc < 0 || dc >= NUM_HUFF_TBLS || ac < 0 || ac >= NUM_HUFF_TBLS) return false;
    for (const auto& [slot, source, is_ac] :
         {std::tuple{dc, info.dc_huff_tbl_ptrs[dc], false},
          std::tuple{NUM_HUFF_TBLS + ac, info.ac_huff_tbl_ptrs[ac], true}}) {
      if (!built[slot] && !BuildTable(source, is_ac, tables[slot])) return false;
      built[slot] = true;
    }
    plane.dc = &tables[dc];
    plane.ac = &tables[NUM_HUFF_TBLS + ac];
  }
  // Luma at full resolution, chroma subsampled by whole factors.
  for (Plane& p : planes) {
    if (p.h < 1 || p.v < 1 || max_h % p.h != 0 || max_v % p.v != 0) return false;
    if (planes.size() > 1 && (planes[0].h != max_h || planes[0].v != max_v)) return false;
    p.scale = planes.size() > 1 ? ScaleOf(p.h, p.v, max_h, max_v) : 1;
    if (p.scale == 0) return false;
  }
  BitReader reader(info.src->next_input_byte, info.src->bytes_in_buffer);
  if (!DecodeScan(info, planes, reader)) return false;
  out.create(static_cast<int>((info.image_height + 7) / 8),
             static_cast<int>((info.image_width + 7) / 8), CV_8UC3);
  ToBgr(planes, out);
  return true;
}

}  // namespace tessaline
