// Path text, file-name cleaning and the number filter of the edit boxes. All
// text is in the ANSI code page; letter case is folded for ASCII letters only,
// so no locale of the host process changes a comparison.

#include "files/files.h"

#include <cstring>

namespace lakra {

namespace {

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool containsIgnoringCase(const char* name, const char* extension) {
    return findText(extension, name, true) != kTextNotFound;
}

bool keptInNumber(char c, bool decimals) {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || (decimals && c == '.');
}

} // namespace

void stripExtension(char* text) {
    if (text == nullptr) {
        return;
    }
    char* dot = std::strrchr(text, '.');
    if (dot != nullptr) {
        *dot = '\0';
    }
}

bool appendJpg(char* text, size_t bytes) {
    static constexpr char kJpg[] = ".jpg";
    if (text == nullptr) {
        return false;
    }
    const size_t length = strnlen(text, bytes);
    if (length + sizeof(kJpg) > bytes) {
        return false;
    }
    std::memcpy(text + length, kJpg, sizeof(kJpg));
    return true;
}

void patternExtension(const char* pattern, char* extension, size_t bytes) {
    if (extension == nullptr || bytes == 0) {
        return;
    }
    extension[0] = '\0';
    if (pattern == nullptr || std::strlen(pattern) < 2) {
        return;
    }
    const char* dot = std::strrchr(pattern, '.');
    if (dot == nullptr) {
        return;
    }
    const size_t length = strnlen(dot, bytes - 1);
    std::memcpy(extension, dot, length);
    extension[length] = '\0';
}

bool isGifName(const char* name) {
    return containsIgnoringCase(name, ".gif");
}

bool isPngName(const char* name) {
    return containsIgnoringCase(name, ".png");
}

bool isJpegName(const char* name) {
    return containsIgnoringCase(name, ".jpg") || containsIgnoringCase(name, ".jpeg");
}

bool isBmpName(const char* name) {
    return containsIgnoringCase(name, ".bmp");
}

bool isPsdName(const char* name) {
    return containsIgnoringCase(name, ".psd");
}

bool isTiffName(const char* name) {
    return containsIgnoringCase(name, ".tif");
}

bool isImageName(const char* name) {
    return isGifName(name) || isPngName(name) || isJpegName(name) || isBmpName(name) ||
           isPsdName(name) || isTiffName(name);
}

int32_t findText(const char* needle, const char* text, bool ignoreCase) {
    if (needle == nullptr || text == nullptr) {
        return kTextNotFound;
    }
    const size_t needleLength = std::strlen(needle);
    const size_t textLength = std::strlen(text);
    if (needleLength == 0 || textLength == 0 || needleLength > textLength ||
        textLength > INT32_MAX) {
        return kTextNotFound;
    }
    for (size_t at = 0; at + needleLength <= textLength; ++at) {
        size_t i = 0;
        while (i < needleLength && (ignoreCase ? upperAscii(text[at + i]) == upperAscii(needle[i])
                                               : text[at + i] == needle[i])) {
            ++i;
        }
        if (i == needleLength) {
            return static_cast<int32_t>(at);
        }
    }
    return kTextNotFound;
}

void removeTrailingSeparator(char* path) {
    if (path == nullptr) {
        return;
    }
    const size_t length = std::strlen(path);
    if (length > 0 && (path[length - 1] == '\\' || path[length - 1] == '/')) {
        path[length - 1] = '\0';
    }
}

void cleanFileName(char* name) {
    if (name == nullptr) {
        return;
    }
    for (char* at = name; *at != '\0'; ++at) {
        auto byte = static_cast<unsigned char>(*at);
        if (byte < 32) {
            byte = ' ';
        } else if (byte > 127) {
            byte = static_cast<unsigned char>((byte & 127) + 32);
            if (byte == '.') {
                byte = '_';
            }
        }
        // Checked after the high-byte mapping too, which can yield a separator
        // (188 gives '\'): a cleaned name never reaches into another folder.
        if (byte == '\\' || byte == '/' || byte == ':') {
            byte = '_';
        }
        *at = static_cast<char>(byte);
    }
}

void filterNumberText(const char* text, bool decimals, char* filtered, size_t bytes) {
    if (filtered == nullptr || bytes == 0) {
        return;
    }
    size_t length = 0;
    for (const char* at = text; at != nullptr && *at != '\0' && length + 1 < bytes; ++at) {
        if (keptInNumber(*at, decimals)) {
            filtered[length++] = *at;
        }
    }
    filtered[length] = '\0';
}

double numberFromText(const char* text, bool decimals) {
    // The kept characters are read as a C library's atof reads them: a sign,
    // digits, a point and digits, up to the first character that breaks this.
    double value = 0.0;
    double scale = 1.0;
    bool negative = false;
    bool started = false;
    bool point = false;
    for (const char* at = text; at != nullptr && *at != '\0'; ++at) {
        const char c = *at;
        if (!keptInNumber(c, decimals)) {
            continue;
        }
        if (c == '+' || c == '-') {
            if (started) {
                break;
            }
            started = true;
            negative = c == '-';
        } else if (c == '.') {
            if (point) {
                break;
            }
            started = true;
            point = true;
        } else {
            started = true;
            value = value * 10.0 + (c - '0');
            if (point) {
                scale *= 10.0;
            }
        }
    }
    const double result = value / scale;
    return negative ? -result : result;
}

} // namespace lakra
