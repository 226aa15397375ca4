#include "picture/jpeg_dc_decode.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdlib>
#include <random>
#include <string>

#include <opencv2/imgproc.hpp>

namespace tessaline {
namespace {

struct JpegOptions {
  int h = 2, v = 2;  // luma sampling factors; chroma 1 × 1
  int restart_rows = 0;
  bool grey = false;
  bool progressive = false;
};

// Photograph-like detail: smooth colour with grain, so that chroma blocks
// carry AC coefficients the 2 × 2 inverse DCT needs.
cv::Mat Photo(int width, int height, unsigned seed) {
  cv::RNG rng(seed);
  cv::Mat coarse(4, 5, CV_8UC3);
  rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
  cv::Mat photo;
  cv::resize(coarse, photo, cv::Size(width, height), 0, 0, cv::INTER_CUBIC);
  cv::Mat grain(photo.size(), CV_8UC3);
  rng.fill(grain, cv::RNG::UNIFORM, 0, 40);
  return photo + grain;
}

std::string Encode(const cv::Mat& bgr, const JpegOptions& options) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  cv::Mat grey;
  if (options.grey) cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
  info.image_width = static_cast<JDIMENSION>(bgr.cols);
  info.image_height = static_cast<JDIMENSION>(bgr.rows);
  info.input_components = options.grey ? 1 : 3;
  info.in_color_space = options.grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  info.comp_info[0].h_samp_factor = options.h;
  info.comp_info[0].v_samp_factor = options.v;
  info.restart_in_rows = options.restart_rows;
  if (options.progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  const cv::Mat& rows = options.grey ? grey : bgr;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rows.ptr(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<char*>(out), size);
  std::free(out);
  return bytes;
}

struct JumpingErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void Jump(j_common_ptr common) {
  std::longjmp(reinterpret_cast<JumpingErrors*>(common->err)->jump, 1);
}

struct Decoder {
  jpeg_decompress_struct info{};
  JumpingErrors errors{};

  explicit Decoder(const std::string& bytes) {
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = Jump;
    errors.manager.emit_message = [](j_common_ptr, int) {};
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  }
  ~Decoder() { jpeg_destroy_decompress(&info); }

  bool ReadHeader() {
    if (setjmp(errors.jump) != 0) return false;
    jpeg_read_header(&info, TRUE);
    return true;
  }

  // libjpeg's own decode at 1/8, the reference.
  cv::Mat Eighth() {
    info.scale_num = 1;
    info.scale_denom = 8;
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    cv::Mat out(static_cast<int>(info.output_height), static_cast<int>(info.output_width), CV_8UC3);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = out.ptr(static_cast<int>(info.output_scanline));
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return out;
  }
};

// Every layout the decoder takes gives exactly libjpeg's reduced picture:
// the sampling factors of cameras and editors, sizes that end in part of
// a block or MCU, grey, and restart markers every one or few MCU rows.
TEST(JpegDcDecode, GivesLibjpegsOwnEighth) {
  const struct Case {
    int width, height;
    JpegOptions options;
  } cases[] = {{400, 304, {}},
               {1003, 1001, {}},
               {9, 7, {}},
               {640, 480, {2, 1, 0, false, false}},
               {640, 480, {1, 2, 0, false, false}},
               {333, 250, {1, 1, 0, false, false}},
               {333, 250, {1, 1, 0, true, false}},
               {640, 480, {2, 2, 1, false, false}},
               {517, 389, {2, 1, 3, false, false}},
               {200, 120, {1, 1, 2, true, false}}};
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.width << " x " << c.height << ", " << c.options.h << "x" << c.options.v
                 << ", restart " << c.options.restart_rows << (c.options.grey ? ", grey" : ""));
    const std::string bytes = Encode(Photo(c.width, c.height, seed++), c.options);
    Decoder ours(bytes);
    ASSERT_TRUE(ours.ReadHeader());
    cv::Mat decoded;
    ASSERT_TRUE(DecodeJpegEighth(ours.info, decoded));
    Decoder reference(bytes);
    ASSERT_TRUE(reference.ReadHeader());
    const cv::Mat expected = reference.Eighth();
    ASSERT_EQ(decoded.size(), expected.size());
    EXPECT_EQ(cv::norm(decoded, expected, cv::NORM_INF), 0);
  }
}

TEST(JpegDcDecode, LeavesOtherFilesToLibjpeg) {
  JpegOptions progressive;
  progressive.progressive = true;
  const std::string bytes = Encode(Photo(64, 48, 3), progressive);
  Decoder decoder(bytes);
  ASSERT_TRUE(decoder.ReadHeader());
  cv::Mat decoded;
  EXPECT_FALSE(DecodeJpegEighth(decoder.info, decoded));
}

// A Huffman table with more codes of a length than the length can hold
// passes libjpeg's header reading; it must be refused, not built (building
// it wrote far past the look-up tables).
TEST(JpegDcDecode, RefusesAnOverfullHuffmanTable) {
  std::string bytes = Encode(Photo(64, 48, 4), JpegOptions{});
  // The second table is luma's AC table: all its 162 symbols get codes of
  // one bit, which keeps the segment's size.
  const std::size_t dht = bytes.find("\xFF\xC4", bytes.find("\xFF\xC4") + 2);
  ASSERT_NE(dht, std::string::npos);
  char* counts = &bytes[dht + 5];
  int symbols = 0;
  for (int length = 0; length < 16; ++length) {
    symbols += static_cast<unsigned char>(counts[length]);
    counts[length] = 0;
  }
  ASSERT_GT(symbols, 100);
  counts[0] = static_cast<char>(symbols);
  Decoder decoder(bytes);
  ASSERT_TRUE(decoder.ReadHeader());
  cv::Mat decoded;
  EXPECT_FALSE(DecodeJpegEighth(decoder.info, decoded));
}

// Damage anywhere in the coded data never reads past the bytes or
// crashes: data cut short is refused, overwritten data refused or decoded
// to a picture of the right size.
TEST(JpegDcDecode, DamagedDataIsRefusedOrDecodedInBounds) {
  JpegOptions restarts;
  restarts.restart_rows = 2;
  for (const JpegOptions& options : {JpegOptions{}, restarts}) {
    const std::string whole = Encode(Photo(160, 128, 7), options);
    std::mt19937 random(5);
    for (int trial = 0; trial < 200; ++trial) {
      std::string bytes = whole;
      const std::size_t at = 700 + random() % (bytes.size() - 702);  // before the end marker
      const bool cut = trial % 2 == 0;
      if (cut)
        bytes.resize(at);
      else
        for (std::size_t i = at; i < at + 4 && i < bytes.size(); ++i)
          bytes[i] = static_cast<char>(random());
      Decoder decoder(bytes);
      if (!decoder.ReadHeader()) continue;
      cv::Mat decoded;
      const bool taken = DecodeJpegEighth(decoder.info, decoded);
      if (cut) {
        EXPECT_FALSE(taken) << "cut at " << at;
      } else if (taken) {
        EXPECT_EQ(decoded.size(), cv::Size(20, 16));
      }
    }
  }
}

}  // namespace
}  // namespace tessaline
