// Shows EUC-KR (Wansung) bytes, the code page the plug-in hands titles over
// in, as UTF-8 for a terminal.
#pragma once

#include <string>

namespace velk {

// The UTF-8 form of `text`. Bytes that are not valid EUC-KR come out as
// U+FFFD, so a damaged title still shows where it is damaged.
std::string euckrToUtf8(const std::string &text);

// Makes the console show the UTF-8 this program prints (a Windows console
// otherwise reads it in the system's code page); nothing elsewhere.
void useUtf8Console();

} // namespace velk
