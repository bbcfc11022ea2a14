#pragma once

// Gallery pages: HTML 4.01 Transitional in ISO-8859-1 showing pictures in a
// grid, each framed by four grey GIF images, written byte by byte. The
// pictures (JPEG files) and the frame images live in the folder "web_images"
// beside the page.

#include "files/files.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

enum class PageType : int32_t { Presets = 0, Images = 1, OutputModes = 2, MemoryDots = 3 };

inline constexpr int32_t kPresetsPageColumns = 5;
inline constexpr int32_t kMemoryDotsPageColumns = 4;
inline constexpr int32_t kMaxPageColumns = 10;
inline constexpr char kPageImagesFolder[] = "web_images";

// One page being written.
struct PageWriter {
    FileSpec imagesFolder; // "web_images" beside the page, its path ending in a separator
    FileSpec sourceFolder; // where the pictures came from; the heading names its folder part
    bool hasSourceFolder;
    FileWriter file; // the HTML file; file.file is null when it could not be opened
    PageType type;
    int32_t columns; // pictures per row, 1..kMaxPageColumns
    int32_t column;  // 1-based column of the next picture
    int32_t row;     // 1-based
};

// A frame image: a complete GIF89a file.
struct FrameImage {
    const char* name; // "top.gif", "left.gif", "right.gif", "bottom.gif"
    int32_t width;
    int32_t height;
    const uint8_t* bytes;
    size_t length;
};

inline constexpr int32_t kFrameImageCount = 4;
extern const FrameImage kFrameImages[kFrameImageCount];

// Sets up a page at `page`: creates the images folder, writes the frame
// images into it (replacing existing ones, skipping any that cannot be
// written), opens the HTML file and writes the head. sourceFolder may be
// null. Returns 0, or the error of opening the HTML file (nothing is then
// written and the other page calls do nothing).
[[nodiscard]] Result pageOpen(PageWriter* writer, const FileSpec& page, PageType type,
                              int32_t columns, const FileSpec* sourceFolder);
// The cell of picture `name` (a file name; its JPEG is the name with ".jpg"
// for its extension) shown at width x height with the caption. Starts the
// row with "<tr>" when this is its first picture; does not advance the column.
void pagePictureCell(PageWriter* writer, const char* name, int32_t width, int32_t height,
                     const char* caption);
// After each picture: the next column, closing the row with its tail after
// the last one.
void pageAdvanceColumn(PageWriter* writer);
// Fills the current row with empty cells, writes the closing, cuts the file
// at its end and closes it. Returns the first write error (99 for a page
// that was never opened).
Result pageClose(PageWriter* writer);

// Text as HTML: " & < > as entities, 123..159 as "&#nnn;", 160..255 as the
// HTML 4.01 named entities, the rest unchanged.
void writeEscapedText(FileWriter* writer, const char* text);
// Letters and digits unchanged, every other byte "%xx" (lowercase hex).
void writeUrlEncoded(FileWriter* writer, const char* text);
// The HTML 4.01 entity name of a Latin-1 byte 160..255 ("nbsp" .. "yuml").
const char* latin1EntityName(uint8_t byte);

} // namespace lakra
