#include "platform/euckr_to_utf8.h"

#include <cerrno>
#include <iconv.h>

namespace velk {

std::string euckrToUtf8(const std::string &text)
{
    static const char replacement[] = "\xEF\xBF\xBD";
    iconv_t cd = iconv_open("UTF-8", "EUC-KR");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return text;  // no converter at all: the bytes as they are beat nothing
    std::string out;
    char buffer[256];
    char *in = const_cast<char *>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char *outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: mark it and go on after its first byte.
        out += replacement;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

void useUtf8Console() {}

} // namespace velk
