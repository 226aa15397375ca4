#include "picture/picture_types.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

// What each place offers, as the user sees it in its chooser's filter.
TEST(PictureTypes, EachUseOffersItsTypes) {
  struct Row {
    PictureUse use;
    const char* patterns;
  };
  const Row rows[] = {
      {PictureUse::kRead, "*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff;*.webp;*.heic;*.heif"},
      {PictureUse::kWrite, "*.bmp;*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.webp;*.ppm;*.heic;*.heif"},
      {PictureUse::kSaveList, "*.bmp;*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.webp;*.ppm"},
      {PictureUse::kPrint, "*.png;*.jpg;*.jpeg;*.tif;*.tiff"},
  };
  for (const Row& row : rows) EXPECT_EQ(PictureFilterPatterns(row.use), row.patterns);
  EXPECT_EQ(PictureTypesText(PictureUse::kPrint), ".png, .jpg, .jpeg, .tif or .tiff");
}

TEST(PictureTypes, WhatIsOfferedForWritingHasAnEncoder) {
  for (PictureUse use : {PictureUse::kSaveList, PictureUse::kPrint}) {
    for (const std::string& extension : PictureExtensions(use)) {
      EXPECT_TRUE(IsPictureExtension(extension, PictureUse::kWrite)) << extension;
      EXPECT_NE(PictureFormatOf(extension), PictureFormat::kNone) << extension;
    }
  }
  EXPECT_EQ(PictureFormatOf("gif"), PictureFormat::kNone);
  EXPECT_FALSE(IsPictureExtension("JPG"));  // callers lower-case first
}

}  // namespace
}  // namespace tessaline
