#include "platform/euckr_to_utf8.h"

#include <windows.h>

namespace velk {

namespace {
constexpr UINT koreanCodePage = 949;  // Unified Hangul Code, a superset of EUC-KR
}

std::string euckrToUtf8(const std::string &text)
{
    if (text.empty())
        return text;
    int wideLength = MultiByteToWideChar(koreanCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wideLength <= 0)
        return text;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(koreanCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLength);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return text;
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, out.data(), length, nullptr, nullptr);
    return out;
}

void useUtf8Console() { SetConsoleOutputCP(CP_UTF8); }

} // namespace velk
