#pragma once
// What the two movie writers (the batch's mosaic movie and the view's
// recording) share about the files they make: a temporary name the writer
// still picks the container by, and the check that the finished file is
// whole. OpenCV's video writer reports no failed write (cv::VideoWriter::
// write returns nothing and release hides FFmpeg's errors), so a disk that
// filled up shows only in the file: this check is how it is found.

#include <string>

#include "settings/whole_file.h"

namespace tessaline {

// Whether the program opens a file with the lower-case extension `extension`
// (no dot) as a movie: avi, mpg, mpeg, mp4 or mov.
bool IsMovieExtension(const std::string& extension);

// The same list as a file chooser's patterns: "*.avi;*.mpg;*.mpeg;*.mp4;*.mov".
std::string MovieFilterPatterns();

// The end of a movie's temporary name: ".part" and the extension of `path`,
// by which FFmpeg picks the container ("run1.avi" gives ".part.avi").
std::string MovieTemporarySuffix(const std::string& path);

// A frame count as cv::CAP_PROP_FRAME_COUNT gives it, as an int: 0 when the
// container reports none (or nonsense).
int ReportedFrameCount(double reported);

// The packets of the video stream of the movie at `path`, read without
// decoding them; -1 when the file does not open as a movie.
int CountMoviePackets(const std::string& path);

// Why the movie just finished in `file` (its writer released) is not whole:
// the disk is full or the file reached its size limit, or the file does not
// hold the `frames` frames written into it. Empty when it is whole (a movie
// of no frames counts as whole when it has room).
std::string IncompleteMovieReason(TemporaryFile& file, int frames);

}  // namespace tessaline
