# Locates the Debian packages the program builds on. OpenCV is located by hand
# because its CMake config ships only with the large libopencv-dev package.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(Boost 1.74 REQUIRED COMPONENTS iostreams)
find_package(PNG REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
pkg_check_modules(GLEW REQUIRED IMPORTED_TARGET glew)
pkg_check_modules(FTGL REQUIRED IMPORTED_TARGET ftgl)

# Three OpenCV targets: `opencv` for pixels (core, imgproc), `opencv_imgcodecs`
# for the tests and benchmarks that make their pictures with it, and
# `opencv_videoio` for movies. imgcodecs (GDAL, OpenEXR and their kin) costs
# about 60 ms at every start and videoio (ffmpeg, GStreamer) about 35 ms
# more, so the programs read and write pictures without them and only the
# movie code links videoio.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
foreach(module videoio imgcodecs imgproc core)
  find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
endforeach()
add_library(opencv INTERFACE)
target_include_directories(opencv SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})
target_link_libraries(opencv INTERFACE ${OPENCV_imgproc_LIBRARY} ${OPENCV_core_LIBRARY})
add_library(opencv_imgcodecs INTERFACE)
target_link_libraries(opencv_imgcodecs INTERFACE ${OPENCV_imgcodecs_LIBRARY} opencv)
add_library(opencv_videoio INTERFACE)
target_link_libraries(opencv_videoio INTERFACE ${OPENCV_videoio_LIBRARY} opencv_imgcodecs)

# giflib reads GIF tile pictures (OpenCV's image reader has no GIF decoder).
find_path(GIF_INCLUDE_DIR gif_lib.h REQUIRED)
find_library(GIF_LIBRARY gif REQUIRED)
add_library(giflib INTERFACE)
target_include_directories(giflib SYSTEM INTERFACE ${GIF_INCLUDE_DIR})
target_link_libraries(giflib INTERFACE ${GIF_LIBRARY})

find_path(ANN_INCLUDE_DIR ANN/ANN.h REQUIRED)
find_library(ANN_LIBRARY ann REQUIRED)
add_library(ann INTERFACE)
target_include_directories(ann SYSTEM INTERFACE ${ANN_INCLUDE_DIR})
target_link_libraries(ann INTERFACE ${ANN_LIBRARY})

find_path(GLUT_INCLUDE_DIR GL/freeglut.h REQUIRED)
find_library(GLUT_LIBRARY glut REQUIRED)
add_library(glut INTERFACE)
target_include_directories(glut SYSTEM INTERFACE ${GLUT_INCLUDE_DIR})
target_link_libraries(glut INTERFACE ${GLUT_LIBRARY})

find_path(FLTK_INCLUDE_DIR FL/Fl.H REQUIRED)
find_library(FLTK_LIBRARY fltk REQUIRED)
find_library(FLTK_GL_LIBRARY fltk_gl REQUIRED)
find_library(FLTK_IMAGES_LIBRARY fltk_images REQUIRED)
find_package(X11 REQUIRED)
add_library(fltk INTERFACE)
target_include_directories(fltk SYSTEM INTERFACE ${FLTK_INCLUDE_DIR})
target_link_libraries(fltk INTERFACE ${FLTK_IMAGES_LIBRARY} ${FLTK_GL_LIBRARY} ${FLTK_LIBRARY}
  ${X11_LIBRARIES} OpenGL::GL OpenGL::GLU)

find_package(GTest)
find_package(benchmark)

# The picture readers (mosaic/picture_reader.cpp) call the format libraries
# directly: a JPEG can then be decoded at a reduced scale, and no program
# pays at start-up for the dozens of libraries OpenCV's reader pulls in.
find_package(JPEG REQUIRED)
find_package(TIFF REQUIRED)
pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp libwebpdemux)
pkg_check_modules(HEIF REQUIRED IMPORTED_TARGET libheif)
# libdeflate inflates a PNG's image data in one call (picture/png_fast_decode.cpp).
pkg_check_modules(DEFLATE REQUIRED IMPORTED_TARGET libdeflate)
add_library(picture_codecs INTERFACE)
target_link_libraries(picture_codecs INTERFACE JPEG::JPEG TIFF::TIFF PNG::PNG PkgConfig::WEBP
  PkgConfig::HEIF PkgConfig::DEFLATE)

# The picture writers (mosaic/picture_writer.cpp) on the same libraries:
# libjpeg-turbo's own interface takes blue-green-red rows as they are and
# lets a large picture be encoded as bands on several threads.
add_library(picture_encoders INTERFACE)
target_link_libraries(picture_encoders INTERFACE picture_codecs)
