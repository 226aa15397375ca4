#include "video/movie_mosaic.h"

#include <opencv2/videoio.hpp>

#include <chrono>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "mosaic/live_source.h"
#include "video/bounded_queue.h"
#include "video/movie_file.h"
#include "video/video_codec.h"

namespace tessaline {
namespace {

double Seconds() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// The three stages of one run and what they share. Each time field is
// written by its own stage's thread only and read after the joins.
class Pipeline {
 public:
  Pipeline(const MovieMosaicJob& job, cv::VideoCapture& capture, cv::VideoWriter& writer, int total)
      : job_(job),
        capture_(capture),
        writer_(writer),
        total_(total),
        decoded_(static_cast<std::size_t>(job.queue_frames)),
        composed_(static_cast<std::size_t>(job.queue_frames)) {}

  // Runs the stages until the input ends or one fails; joins both threads.
  void Run() {
    std::thread decode;
    std::thread encode;
    try {
      decode = std::thread([this] { Guard([this] { DecodeLoop(); }); });
      encode = std::thread([this] { Guard([this] { EncodeLoop(); }); });
      Guard([this] { ComposeLoop(); });
    } catch (const std::exception& error) {
      Fail(std::string("cannot start the movie threads : ") + error.what());
    }
    if (decode.joinable()) decode.join();
    if (encode.joinable()) encode.join();
  }

  std::string Failure() {
    std::lock_guard<std::mutex> lock(failure_mutex_);
    return failure_;
  }
  int Frames() const { return written_; }
  MovieStageTimes Times() const { return times_; }

 private:
  template <typename F>
  void Guard(F stage) {
    try {
      stage();
    } catch (const std::exception& error) {
      Fail(error.what());
    } catch (...) {
      Fail("unknown error");
    }
  }

  // The first failure wins; every stage then stops at its next hand-over.
  void Fail(const std::string& message) {
    {
      std::lock_guard<std::mutex> lock(failure_mutex_);
      if (failure_.empty()) failure_ = message.empty() ? "unknown error" : message;
    }
    decoded_.Cancel();
    composed_.Cancel();
  }

  void DecodeLoop() {
    const cv::Size size(job_.width, job_.height);
    for (;;) {
      const double start = Seconds();
      cv::Mat frame;
      // A read error is the end of the movie: what came before stays good.
      if (!capture_.read(frame) || frame.empty()) break;
      cv::Mat working(size, CV_8UC3);
      FitToWorkingImage(frame, working);
      times_.decode += Seconds() - start;
      if (!decoded_.Push(std::move(working))) return;
    }
    decoded_.Finish();
  }

  void ComposeLoop() {
    int done = 0;
    while (std::optional<cv::Mat> frame = decoded_.Pop()) {
      const double start = Seconds();
      const cv::Mat mosaic = job_.compose(*frame);
      if (mosaic.size() != frame->size() || mosaic.type() != CV_8UC3) {
        Fail("no mosaic was made of frame " + std::to_string(done + 1));
        return;
      }
      cv::Mat out = BlendMosaic(mosaic, *frame, job_.alpha);
      times_.compose += Seconds() - start;
      if (!composed_.Push(std::move(out))) return;
      if (job_.progress) job_.progress(++done, total_);
    }
    composed_.Finish();
  }

  void EncodeLoop() {
    while (std::optional<cv::Mat> frame = composed_.Pop()) {
      const double start = Seconds();
      writer_.write(*frame);
      times_.encode += Seconds() - start;
      ++written_;
    }
    // Finishing the file (trailer, index) is part of encoding.
    const double start = Seconds();
    writer_.release();
    times_.encode += Seconds() - start;
  }

  const MovieMosaicJob& job_;
  cv::VideoCapture& capture_;
  cv::VideoWriter& writer_;
  const int total_;
  BoundedQueue<cv::Mat> decoded_;
  BoundedQueue<cv::Mat> composed_;
  std::mutex failure_mutex_;
  std::string failure_;
  int written_ = 0;
  MovieStageTimes times_;
};

// Opens the input and, under a new temporary name beside the output, the
// writer; false with the reason.
bool OpenMovies(const MovieMosaicJob& job, std::optional<TemporaryFile>& temporary,
                cv::VideoCapture& capture, cv::VideoWriter& writer, MovieMosaicResult& result) {
  if (!capture.open(job.in_path, cv::CAP_FFMPEG) || !capture.isOpened()) {
    result.message = "cannot read the movie " + job.in_path;
    return false;
  }
  result.rate = MovieFrameRate(capture.get(cv::CAP_PROP_FPS));
  result.source_frames = ReportedFrameCount(capture.get(cv::CAP_PROP_FRAME_COUNT));
  const int codec = CodecForPath(job.out_path);
  if (codec == -1) {
    result.message = "cannot write a movie to " + job.out_path + " : give a file of type " +
                     WritableMovieTypes();
    return false;
  }
  temporary.emplace(job.out_path, MovieTemporarySuffix(job.out_path));
  if (temporary->Descriptor() < 0) {
    result.message = "cannot write the movie to " + job.out_path + " : " + temporary->Error();
    return false;
  }
  const cv::Size size(job.width, job.height);
  if (!writer.open(temporary->Name(), cv::CAP_FFMPEG, codec, result.rate, size, true) ||
      !writer.isOpened()) {
    result.message = "cannot write the movie to " + job.out_path;
    return false;
  }
  return true;
}

// Runs the stages and puts the finished file in place once it is whole.
void RunPipeline(const MovieMosaicJob& job, TemporaryFile& temporary, cv::VideoCapture& capture,
                 cv::VideoWriter& writer, MovieMosaicResult& result) {
  Pipeline pipeline(job, capture, writer, result.source_frames);
  pipeline.Run();
  writer.release();
  result.frames = pipeline.Frames();
  result.times = pipeline.Times();
  result.message = pipeline.Failure();
  if (result.message.empty() && result.frames == 0)
    result.message = "no frame could be read from the movie " + job.in_path;
  if (!result.message.empty()) return;
  std::string why = IncompleteMovieReason(temporary, result.frames);
  if (why.empty() && !temporary.Commit()) why = temporary.Error();
  if (!why.empty()) result.message = "cannot write the movie to " + job.out_path + " : " + why;
  result.ok = result.message.empty();
}

}  // namespace

double MovieFrameRate(double reported) { return reported >= 1.0 ? reported : 30.0; }

cv::Mat BlendMosaic(const cv::Mat& mosaic, const cv::Mat& source, double alpha) {
  if (alpha >= 1.0) return mosaic;
  cv::Mat out;
  cv::addWeighted(mosaic, alpha, source, 1.0 - alpha, 0.0, out);
  return out;
}

MovieMosaicResult MakeMosaicMovie(const MovieMosaicJob& job) {
  const double start = Seconds();
  MovieMosaicResult result;
  // Declared first, so that the writer and the capture have let go of the
  // temporary file before it is removed on a failure.
  std::optional<TemporaryFile> temporary;
  try {
    cv::VideoCapture capture;
    cv::VideoWriter writer;
    if (job.width < 1 || job.height < 1 || !job.compose)
      result.message = "no working size or mosaic maker for the movie";
    else if (OpenMovies(job, temporary, capture, writer, result))
      RunPipeline(job, *temporary, capture, writer, result);
  } catch (const std::exception& error) {
    result.message = error.what();
  }
  result.times.wall = Seconds() - start;
  return result;
}

}  // namespace tessaline
