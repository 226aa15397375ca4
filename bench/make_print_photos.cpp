// Fills a folder with camera-sized (1600 × 1200) JPEG photographs for the
// print-output benchmark. Smooth colour fields alone would decode faster
// than real photographs, whose cost lies in their fine detail, so each
// picture layers a broad colour field, shapes with sharp edges, mid-scale
// texture and grain; the JPEG quality is a camera's.
//
//     make_print_photos DIR COUNT [FIRST]

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

cv::Mat RandomField(std::mt19937& random, int w, int h, cv::Size size, double lo, double hi) {
  cv::Mat field(h, w, CV_32FC3);
  cv::randu(field, cv::Scalar::all(lo), cv::Scalar::all(hi));
  cv::Mat big;
  cv::resize(field, big, size, 0, 0, cv::INTER_CUBIC);
  (void)random;
  return big;
}

cv::Mat MakePhoto(std::mt19937& random) {
  const cv::Size size(1600, 1200);
  cv::theRNG().state = random();
  cv::Mat photo = RandomField(random, 8, 6, size, 20, 235);
  std::uniform_int_distribution<int> x(0, 1599), y(0, 1199), r(20, 300), byte(0, 255);
  for (int i = 0; i < 12; ++i) {
    const cv::Scalar colour(byte(random), byte(random), byte(random));
    if (i % 2)
      cv::circle(photo, {x(random), y(random)}, r(random), colour, cv::FILLED, cv::LINE_AA);
    else
      cv::line(photo, {x(random), y(random)}, {x(random), y(random)}, colour, 1 + r(random) / 30,
               cv::LINE_AA);
  }
  photo += RandomField(random, 160, 120, size, -25, 25);
  cv::Mat grain(size, CV_32FC3);
  cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(7));
  photo += grain;
  cv::Mat bytes;
  photo.convertTo(bytes, CV_8UC3);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_print_photos DIR COUNT [FIRST]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int count = std::atoi(argv[2]);
  const int first = argc > 3 ? std::atoi(argv[3]) : 0;
  for (int i = first; i < first + count; ++i) {
    std::mt19937 random(static_cast<unsigned>(i) * 7919u + 17u);
    char name[32];
    std::snprintf(name, sizeof name, "/photo%05d.jpg", i);
    if (!cv::imwrite(dir + name, MakePhoto(random), {cv::IMWRITE_JPEG_QUALITY, 90})) return 1;
  }
  return 0;
}
