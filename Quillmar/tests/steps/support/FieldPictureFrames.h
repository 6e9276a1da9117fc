// Frames whose two fields each carry a picture index, so that a test reads back from any frame a
// step delivers which input picture each field came from. Every luma row of a field starts with
// the field's index (two bytes, low first) and is filled with a level that differs by 20 or more
// between neighbouring indices, so that the field differences of neighbouring pictures are large
// and those of a repeated field are 0. Chroma carries a level of the index too.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "videoframe.h"

namespace stepstest {

// Luma level of the rows of picture `index`.
uint8_t FieldPictureLevel(int index);

// Writes picture `index` into field `field` (rows field, field + 2, ...) of `frame`.
void WriteFieldPicture(VideoFrame* frame, int field, int index);
// The picture index every row of field `field` carries; -1 when the rows disagree or a row's
// level does not match its index (the field is no single picture).
int ReadFieldPicture(const VideoFrame* frame, int field);
// The picture of both fields when they agree, else -1.
int ReadFramePicture(const VideoFrame* frame);

// An allocated frame of width x height with picture `top` in field 0 and `bottom` in field 1,
// stamped `stamp` with interval `interval`, both fields' active sizes set ((height + 1) / 2 and
// height / 2 lines), not writable.
std::unique_ptr<VideoFrame> MakeFieldPictureFrame(int width, int height, int top, int bottom, int64_t stamp,
                                                  uint32_t interval);

// Fills every plane with a pattern that varies by row and column (seeded), for byte comparisons.
void FillPattern(VideoFrame* frame, uint32_t seed);
// The picture bytes (width x height luma, width / 2 x height of each chroma plane), row by row.
std::vector<uint8_t> PictureBytes(const VideoFrame* frame);

} // namespace stepstest
