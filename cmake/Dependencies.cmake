# Locates the Debian packages the program builds on. OpenCV is located by hand
# because its CMake config ships only with the large libopencv-dev package.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(Boost 1.74 REQUIRED COMPONENTS iostreams)
find_package(PNG REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
pkg_check_modules(GLEW REQUIRED IMPORTED_TARGET glew)
pkg_check_modules(FTGL REQUIRED IMPORTED_TARGET ftgl)

# Two OpenCV targets: `opencv` for still pictures (core, imgproc, imgcodecs)
# and `opencv_videoio` for movies. The movie module loads ffmpeg, gstreamer
# and a hundred more shared libraries at start-up, so only the video library
# links it; tessaline-batch starts without them.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
foreach(module videoio imgcodecs imgproc core)
  find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
endforeach()
add_library(opencv INTERFACE)
target_include_directories(opencv SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})
target_link_libraries(opencv INTERFACE ${OPENCV_imgcodecs_LIBRARY} ${OPENCV_imgproc_LIBRARY}
  ${OPENCV_core_LIBRARY})
add_library(opencv_videoio INTERFACE)
target_link_libraries(opencv_videoio INTERFACE ${OPENCV_videoio_LIBRARY} opencv)

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
add_library(picture_codecs INTERFACE)
target_link_libraries(picture_codecs INTERFACE JPEG::JPEG TIFF::TIFF PNG::PNG PkgConfig::WEBP
  PkgConfig::HEIF)
