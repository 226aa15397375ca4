#pragma once
// The program's log stream: every delivered chunk goes to the console, to the
// log file "tessaline.log" in the working directory (created by the first
// chunk of the run, truncated) and to an in-memory history of the last 25
// lines that the view draws over the mosaic.
//
// Writers use one of the module streams below like std::cout and end every
// message with std::endl, which delivers it as one chunk:
//     engine_log() << "sub : " << w << " x " << h << std::endl;
// Each thread has its own buffer per module stream, so a message from the
// load worker never interleaves with one from the GUI thread; delivery itself
// is serialised by one process-wide lock. Any thread may log.

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/stream.hpp>
#include <cstddef>
#include <deque>
#include <fstream>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// `text` with every byte that could drive a terminal written as \xNN:
// control characters other than the line feed (ESC, BEL, CR, tab...), DEL,
// the C1 controls U+0080 to U+009F, and every byte that is not part of
// valid UTF-8. Printable UTF-8 such as "é" stays as it is. A file name
// holding an escape sequence is thus shown, never obeyed.
std::string PrintableText(std::string_view text);

// Where delivered chunks end up. The program has one (`LogSink::Global`);
// tests make their own with a string stream as console and a temporary file.
class LogSink {
 public:
  static constexpr std::size_t kHistorySize = 25;

  LogSink(std::ostream& console, std::string file_name);

  // Delivers one chunk, made printable (PrintableText): console, history,
  // then the log file with the chunk's line feeds removed and one line end
  // added. Thread-safe.
  void Deliver(const char* s, std::size_t n);

  // The history, oldest entry first; the newest entry is the (usually empty)
  // line the next chunk will fill. Thread-safe.
  std::vector<std::string> History() const;

  static LogSink& Global();

 private:
  void AddToHistory(const std::string& chunk);
  void WriteToFile(const std::string& chunk);

  std::ostream& console_;
  std::string file_name_;
  std::ofstream file_;
  bool file_tried_ = false;
  std::deque<std::string> history_;
  mutable std::mutex mutex_;
};

// The boost iostreams sink device behind the log streams. Its `write` hands
// each chunk to the global sink, which writes the file named at construction.
class qxCout {
 public:
  typedef char char_type;
  typedef boost::iostreams::sink_tag category;

  explicit qxCout(std::string name);
  std::streamsize write(const char* s, std::streamsize n);

 private:
  std::string name_;
};

using LogStream = boost::iostreams::stream<qxCout>;

// Module streams. support: files (pictures, textures, settings), GLSL
// programs and the hidden GL context; view: the view; engine: the engine,
// the tile library and the video sources.
std::ostream& support_log();
std::ostream& view_log();
std::ostream& engine_log();

// The global history, oldest first (what the view's log console draws).
std::vector<std::string> LogHistory();

}  // namespace tessaline
