#include "platform/imageCodec.h"

namespace lakra {

bool systemCodecsPresent() {
    return false;
}

bool systemCodecRead(const std::string&, CodecImage*, std::string* error) {
    *error = "no system image codecs in this build";
    return false;
}

bool systemCodecWrite(const std::string&, CodecContainer, const CodecImage&, std::string* error) {
    *error = "no system image codecs in this build";
    return false;
}

} // namespace lakra
