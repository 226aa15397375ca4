#include "export/print_sinks.h"

#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <opencv2/imgproc.hpp>

#include "picture/codec_errors.h"
#include "picture/picture_reader.h"
#include "picture/picture_types.h"
#include "picture/picture_writer.h"
#include "settings/paths.h"
#include "settings/whole_file.h"

namespace tessaline {
namespace {

// A stdio stream over its own copy of `fd`, so the library closing it
// leaves the temporary file's descriptor for the final flush.
std::FILE* StreamOver(int fd) {
  const int copy = dup(fd);
  if (copy < 0) return nullptr;
  std::FILE* stream = fdopen(copy, "wb");
  if (stream == nullptr) close(copy);
  return stream;
}

// ---- TIFF: 256 × 256 tiles, deflate at its fastest level -------------------

// A sink writing one file, under a temporary name until it is whole.
class FileSink : public PrintSink {
 protected:
  FileSink(const std::string& path, int width, int height)
      : file_(path), width_(width), height_(height) {}
  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }
  // A write that failed because the disk is full or the file reached its
  // size limit says so; any other failure says `otherwise`.
  bool FailWriting(const std::string& otherwise) {
    return Fail(file_.CanGrow() ? otherwise : file_.Error());
  }

  TemporaryFile file_;
  int width_;
  int height_;
};

// A file sink whose encoder writes through a stdio stream (libjpeg, libpng).
class StreamSink : public FileSink {
 public:
  ~StreamSink() override {
    if (out_) std::fclose(out_);
  }

 protected:
  using FileSink::FileSink;
  // The stream over the temporary file; null, with the error set, when none.
  std::FILE* OpenStream() {
    if (file_.Descriptor() < 0) {
      Fail(file_.Error());
      return nullptr;
    }
    out_ = StreamOver(file_.Descriptor());
    return out_;
  }
  // After the encoder has ended the picture: closes the stream and puts the
  // file in its place.
  bool CloseAndCommit() {
    const bool flushed = std::fclose(out_) == 0;
    out_ = nullptr;
    if (!flushed) return FailWriting("cannot write the file");
    if (!file_.Commit()) return Fail(file_.Error());
    return true;
  }

  std::FILE* out_ = nullptr;
};

constexpr int kTiffTile = 256;

class TiffSink : public FileSink {
 public:
  TiffSink(const std::string& path, int width, int height) : FileSink(path, width, height) {
    band_.create(kTiffTile, width, CV_8UC3);
    band_.setTo(cv::Scalar::all(0));
    tile_.create(kTiffTile, kTiffTile, CV_8UC3);
  }
  ~TiffSink() override {
    if (tiff_) TIFFClose(tiff_);
  }

  bool Open() {
    if (file_.Descriptor() < 0) return Fail(file_.Error());
    // Classic TIFF addresses 4 GB; a picture that could outgrow that even
    // compressed is written as BigTIFF.
    const bool big = static_cast<std::uint64_t>(width_) * height_ * 3 > 0xE0000000ULL;
    const int fd = dup(file_.Descriptor());
    const QuietTiffOptions quiet;
    tiff_ =
        fd < 0 ? nullptr : TIFFFdOpenExt(fd, file_.Name().c_str(), big ? "w8" : "w", quiet.Get());
    if (tiff_ == nullptr) return Fail("cannot start the TIFF file");
    SetRgbTiffFields(tiff_, width_, height_);
    TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff_, TIFFTAG_ZIPQUALITY, 1);
    TIFFSetField(tiff_, TIFFTAG_TILEWIDTH, kTiffTile);
    TIFFSetField(tiff_, TIFFTAG_TILELENGTH, kTiffTile);
    return true;
  }

  bool AddRows(const cv::Mat& rows) override {
    for (int y = 0; y < rows.rows; ++y) {
      if (!error_.empty()) return false;
      cv::Mat target = band_.row(filled_);
      cv::cvtColor(rows.row(y), target, cv::COLOR_BGR2RGB);
      if (++filled_ == kTiffTile && !WriteBand()) return false;
    }
    return error_.empty();
  }

  bool Finish() override {
    if (!error_.empty()) return false;
    if (filled_ > 0) {
      band_.rowRange(filled_, kTiffTile).setTo(cv::Scalar::all(0));
      if (!WriteBand()) return false;
    }
    const bool closed = TIFFWriteDirectory(tiff_) == 1;
    TIFFClose(tiff_);
    tiff_ = nullptr;
    if (!closed) return FailWriting("cannot complete the TIFF file");
    return file_.Commit() || Fail(file_.Error());
  }

 private:
  bool WriteBand() {
    for (int x = 0; x < width_; x += kTiffTile) {
      const int w = std::min(kTiffTile, width_ - x);
      tile_.setTo(cv::Scalar::all(0));
      band_.colRange(x, x + w).copyTo(tile_.colRange(0, w));
      const ttile_t index = TIFFComputeTile(tiff_, static_cast<std::uint32_t>(x),
                                            static_cast<std::uint32_t>(band_y_), 0, 0);
      if (TIFFWriteEncodedTile(tiff_, index, tile_.data, static_cast<tmsize_t>(tile_.total() * 3)) <
          0)
        return FailWriting("cannot write the TIFF file");
    }
    band_y_ += kTiffTile;
    filled_ = 0;
    return true;
  }

  TIFF* tiff_ = nullptr;
  cv::Mat band_;  // red-green-blue rows of the current row of tiles
  cv::Mat tile_;
  int filled_ = 0;
  int band_y_ = 0;
};

// ---- JPEG: scanlines as they come ------------------------------------------

// Kept free of objects with destructors: libjpeg reports errors by longjmp.
bool JpegStart(jpeg_compress_struct& info, JpegErrorJump& errors, std::FILE* out, int width,
               int height) {
  if (setjmp(errors.jump) != 0) return false;
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, out);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 92, TRUE);
  jpeg_start_compress(&info, TRUE);
  return true;
}

bool JpegRows(jpeg_compress_struct& info, JpegErrorJump& errors, const cv::Mat& rows) {
  if (setjmp(errors.jump) != 0) return false;
  for (int y = 0; y < rows.rows; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(rows.ptr<unsigned char>(y));
    jpeg_write_scanlines(&info, &row, 1);
  }
  return true;
}

bool JpegEnd(jpeg_compress_struct& info, JpegErrorJump& errors) {
  if (setjmp(errors.jump) != 0) return false;
  jpeg_finish_compress(&info);
  return true;
}

class JpegSink : public StreamSink {
 public:
  JpegSink(const std::string& path, int width, int height) : StreamSink(path, width, height) {
    info_.err = JumpingJpegErrors(errors_);
  }
  ~JpegSink() override { jpeg_destroy_compress(&info_); }

  bool Open() {
    if (OpenStream() == nullptr) return error_.empty() ? Fail("cannot start the JPEG file") : false;
    if (!JpegStart(info_, errors_, out_, width_, height_))
      return Fail("cannot start the JPEG file");
    return true;
  }
  bool AddRows(const cv::Mat& rows) override {
    return error_.empty() &&
           (JpegRows(info_, errors_, rows) || FailWriting("the JPEG encoder failed"));
  }
  bool Finish() override {
    if (!error_.empty()) return false;
    if (!JpegEnd(info_, errors_)) return FailWriting("the JPEG encoder failed");
    return CloseAndCommit();
  }

 private:
  jpeg_compress_struct info_{};
  JpegErrorJump errors_{};
};

// ---- PNG: rows as they come, fastest deflate --------------------------------

bool PngStart(png_structp png, png_infop info, std::FILE* out, int width, int height) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, out);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  return true;
}

bool PngRows(png_structp png, const cv::Mat& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (int y = 0; y < rows.rows; ++y) png_write_row(png, rows.ptr<unsigned char>(y));
  return true;
}

bool PngEnd(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_end(png, info);
  return true;
}

class PngSink : public StreamSink {
 public:
  PngSink(const std::string& path, int width, int height) : StreamSink(path, width, height) {
    // libpng's message is not shown: the sink reports in one line of its own.
    png_ = NewPngWriter();
    info_ = png_ ? png_create_info_struct(png_) : nullptr;
  }
  ~PngSink() override {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
  }

  bool Open() {
    if (OpenStream() == nullptr) return error_.empty() ? Fail("cannot start the PNG file") : false;
    if (info_ == nullptr || !PngStart(png_, info_, out_, width_, height_))
      return Fail("cannot start the PNG file");
    return true;
  }
  bool AddRows(const cv::Mat& rows) override {
    return error_.empty() && (PngRows(png_, rows) || FailWriting("the PNG encoder failed"));
  }
  bool Finish() override {
    if (!error_.empty()) return false;
    if (!PngEnd(png_, info_)) return FailWriting("the PNG encoder failed");
    return CloseAndCommit();
  }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

template <typename Sink>
std::unique_ptr<PrintSink> Opened(std::unique_ptr<Sink> sink, std::string& error) {
  if (sink->Open()) return sink;
  error = sink->Error();
  return nullptr;
}

}  // namespace

bool IsPrintPicturePath(const std::string& path) {
  return IsPictureExtension(LowerExtension(path), PictureUse::kPrint);
}

std::string PrintPictureTypes() { return PictureTypesText(PictureUse::kPrint); }

bool IsJpegPath(const std::string& path) {
  return PictureFormatOf(LowerExtension(path)) == PictureFormat::kJpeg;
}

std::unique_ptr<PrintSink> OpenPrintPicture(const std::string& path, int width, int height,
                                            std::string& error) {
  const PictureFormat format =
      IsPrintPicturePath(path) ? PictureFormatOf(LowerExtension(path)) : PictureFormat::kNone;
  if (format == PictureFormat::kTiff)
    return Opened(std::make_unique<TiffSink>(path, width, height), error);
  if (format == PictureFormat::kPng)
    return Opened(std::make_unique<PngSink>(path, width, height), error);
  if (format == PictureFormat::kJpeg) {
    if (width <= kJpegMaxSide && height <= kJpegMaxSide)
      return Opened(std::make_unique<JpegSink>(path, width, height), error);
    error = "a JPEG holds at most 65500 pixels a side, this picture is " + std::to_string(width) +
            " x " + std::to_string(height) + " : write a .tif or .png";
    return nullptr;
  }
  error = "cannot write a print picture of that type : give a " + PrintPictureTypes();
  return nullptr;
}

}  // namespace tessaline
