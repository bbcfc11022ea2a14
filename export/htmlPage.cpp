#include "export/htmlPage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace lakra {

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kCellStart[] = "<td align=\"center\" valign=\"top\" width=\"20%\">";
constexpr char kProduct[] = "Lakra";
constexpr char kFontFaces[] = "Gill Sans,Verdana,Helvetica,Arial";
constexpr char kTableStart[] =
    "<table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" align=\"center\">";

// clang-format off
constexpr const char* kLatin1Entities[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

// clang-format on

void writeNumber(FileWriter* writer, int32_t value) {
    char text[16];
    (void)std::snprintf(text, sizeof text, "%d", value);
    (void)writeText(writer, text);
}

// Pieces written one after the other.
void writeAll(FileWriter* writer, std::initializer_list<const char*> pieces) {
    for (const char* piece : pieces) {
        (void)writeText(writer, piece);
    }
}

bool pageWritable(const PageWriter* writer) {
    return writer != nullptr && writer->file.file != nullptr;
}

// A file's name after its last separator, cleaned as a file name, without
// its extension: what the page calls the picture in web_images.
void pictureBaseName(const char* file, char* base) {
    FileSpec fileSpec;
    fileSpecFromPath(&fileSpec, file);
    (void)std::snprintf(base, kPathBytes, "%s", fileSpecName(fileSpec));
    cleanFileName(base);
    stripExtension(base);
}

void writeImageTag(FileWriter* writer, const char* file, const char* extension, bool altText,
                   int32_t width, int32_t height) {
    char base[kPathBytes];
    pictureBaseName(file, base);
    writeAll(writer, {"<img src=\"", kPageImagesFolder, "/"});
    writeUrlEncoded(writer, base);
    writeAll(writer, {extension, "\""});
    if (altText) {
        (void)writeText(writer, " alt=\"");
        writeEscapedText(writer, base);
        writeAll(writer, {extension, "\""});
    }
    (void)writeText(writer, " width=\"");
    writeNumber(writer, width);
    (void)writeText(writer, "\" height=\"");
    writeNumber(writer, height);
    (void)writeText(writer, "\" border=\"0\">");
}

void writeHead(PageWriter* writer) {
    static constexpr const char* kTitleWords[] = {" presets", " images", " output modes",
                                                  " memory dots"};
    const auto type = static_cast<int32_t>(writer->type);
    FileWriter* file = &writer->file;
    writeAll(file, {"<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">",
                    kLineEnd,
                    kLineEnd,
                    "<html>",
                    kLineEnd,
                    "<head>",
                    kLineEnd,
                    "<meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">",
                    kLineEnd,
                    "<meta name=\"generator\" content=\"Kestrovane ",
                    kProduct,
                    "\">",
                    "<title>",
                    kProduct,
                    kTitleWords[type],
                    "</title>",
                    kLineEnd,
                    "</head>",
                    kLineEnd,
                    kLineEnd,
                    "<body bgcolor=\"#ffffff\">",
                    kLineEnd,
                    "<p>",
                    "<br>",
                    kLineEnd,
                    kLineEnd,
                    "<font size=\"4\" face=\"",
                    kFontFaces,
                    ",Geneva\">",
                    "<b>",
                    kProduct});
    if (writer->hasSourceFolder) {
        (void)writeText(file,
                        writer->type == PageType::Presets ? " presets from " : " images from ");
        FileSpec folder;
        (void)fileSpecFolderPart(&writer->sourceFolder, &folder);
        writeEscapedText(file, fileSpecPath(folder));
    }
    if (writer->type == PageType::OutputModes) {
        (void)writeText(file, " output modes ");
    } else if (writer->type == PageType::MemoryDots) {
        (void)writeText(file, " memory dots ");
    }
    writeAll(file, {"<br>", kLineEnd, "</b>", "</font>", "</p>", kTableStart});
}

void writeRowTail(PageWriter* writer) {
    writeAll(&writer->file, {kLineEnd, "<tr>"});
    for (int32_t i = 0; i < writer->columns; ++i) {
        writeAll(&writer->file, {kCellStart, "<p>&nbsp;</p></td>"});
    }
    (void)writeText(&writer->file, "</tr>");
}

} // namespace

const char* latin1EntityName(uint8_t byte) {
    return byte >= 160 ? kLatin1Entities[byte - 160] : nullptr;
}

void writeEscapedText(FileWriter* writer, const char* text) {
    for (const char* at = text; at != nullptr && *at != '\0'; ++at) {
        const auto byte = static_cast<uint8_t>(*at);
        char entity[16];
        switch (byte) {
        case '"':
            (void)writeText(writer, "&quot;");
            break;
        case '&':
            (void)writeText(writer, "&amp;");
            break;
        case '<':
            (void)writeText(writer, "&lt;");
            break;
        case '>':
            (void)writeText(writer, "&gt;");
            break;
        default:
            if (byte >= 123 && byte <= 159) {
                (void)std::snprintf(entity, sizeof entity, "&#%03d;", byte);
                (void)writeText(writer, entity);
            } else if (byte >= 160) {
                writeAll(writer, {"&", latin1EntityName(byte), ";"});
            } else {
                (void)writeU8(writer, byte);
            }
            break;
        }
    }
}

void writeUrlEncoded(FileWriter* writer, const char* text) {
    for (const char* at = text; at != nullptr && *at != '\0'; ++at) {
        const auto byte = static_cast<uint8_t>(*at);
        const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= 'a' && byte <= 'z');
        if (plain) {
            (void)writeU8(writer, byte);
        } else {
            char escaped[4];
            (void)std::snprintf(escaped, sizeof escaped, "%%%02x", byte);
            (void)writeText(writer, escaped);
        }
    }
}

Result pageOpen(PageWriter* writer, const FileSpec& page, PageType type, int32_t columns,
                const FileSpec* sourceFolder) {
    *writer = PageWriter{};
    writer->type = type;
    writer->columns = std::clamp(columns, 1, kMaxPageColumns);
    writer->column = 1;
    writer->row = 1;
    writer->hasSourceFolder = sourceFolder != nullptr;
    if (sourceFolder != nullptr) {
        writer->sourceFolder = *sourceFolder;
    }
    FileSpec pageFolder;
    (void)fileSpecFolderPart(&page, &pageFolder);
    if (std::strcmp(pageFolder.path, "*") == 0) {
        pageFolder.path[0] = '\0'; // a bare name: the current folder
    }
    // A folder that cannot be made leaves its frame images unwritten, as
    // any frame image that cannot be opened is: the page still refers to them.
    (void)fileSpecCreateFolder(&pageFolder, kPageImagesFolder, &writer->imagesFolder);
    for (const FrameImage& frame : kFrameImages) {
        FileSpec fileSpec;
        FileWriter image;
        if (fileSpecJoin(&writer->imagesFolder, frame.name, &fileSpec) == noErr &&
            fileWriterOpen(fileSpec, &image) == noErr) {
            (void)writeBytes(&image, frame.bytes, frame.length);
            (void)fileWriterClose(&image);
        }
    }
    const Result opened = fileWriterOpen(page, &writer->file);
    if (opened != noErr) {
        writer->file.file = nullptr;
        return opened;
    }
    writeHead(writer);
    return noErr;
}

void pagePictureCell(PageWriter* writer, const char* name, int32_t width, int32_t height,
                     const char* caption) {
    if (!pageWritable(writer)) {
        return;
    }
    FileWriter* file = &writer->file;
    if (writer->column == 1) {
        (void)writeText(file, "<tr>");
    }
    writeAll(file, {kCellStart, kLineEnd, "<table id=\"Table_01\" width=\""});
    writeNumber(file, width + 6);
    (void)writeText(file, "\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\" height=\"");
    writeNumber(file, height + 7);
    writeAll(file, {"\">", kLineEnd, "<tr>", kLineEnd, "<td colspan=\"3\">"});
    writeImageTag(file, "top.gif", ".gif", false, width + 6, 2);
    writeAll(file, {"</td>", kLineEnd, "</tr>", kLineEnd, "<tr>", kLineEnd, "<td>"});
    writeImageTag(file, "left.gif", ".gif", false, 3, height);
    writeAll(file, {"</td>", kLineEnd, "<td>"});
    writeImageTag(file, name, ".jpg", true, width, height);
    writeAll(file, {"</td>", kLineEnd, "<td>"});
    writeImageTag(file, "right.gif", ".gif", false, 3, height);
    writeAll(file, {"</td>", kLineEnd, "</tr>", kLineEnd, "<tr>", kLineEnd, "<td colspan=\"3\">"});
    writeImageTag(file, "bottom.gif", ".gif", false, width + 6, 5);
    writeAll(file,
             {"</td>", kLineEnd, "</tr>", kLineEnd, "</table>", kLineEnd, "<div align=\"center\">",
              kLineEnd, "<br><font  size=\"3\" face=\"", kFontFaces, "\">"});
    writeEscapedText(file, caption);
    writeAll(file, {"</font>", "</div>", "</td>", kLineEnd, kLineEnd});
}

void pageAdvanceColumn(PageWriter* writer) {
    if (!pageWritable(writer)) {
        return;
    }
    ++writer->column;
    if (writer->column > writer->columns) {
        (void)writeText(&writer->file, "</tr>");
        writeRowTail(writer);
        ++writer->row;
        writer->column = 1;
    }
}

Result pageClose(PageWriter* writer) {
    if (!pageWritable(writer)) {
        return failWith(kFileNotOpened);
    }
    FileWriter* file = &writer->file;
    while (writer->column > 1) {
        writeAll(file,
                 {kCellStart, "<p>", "</p>", kLineEnd, "<div align=\"center\">", kLineEnd,
                  "<p><font face=\"Hoefler Text,Times New Roman,Georgia,Times\"><b>",
                  "</b></font></p>", kLineEnd, "</div>", kLineEnd, "</td>", kLineEnd, kLineEnd});
        pageAdvanceColumn(writer);
    }
    writeAll(file, {"</table>", "<br>", kLineEnd, "</body>", "</html>"});
    return fileWriterClose(file);
}

} // namespace lakra
