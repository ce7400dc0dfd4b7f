#pragma once

#include <QByteArrayView>
#include <QString>

// What consoledecoder.cpp asks of the platform; implemented in consoledecoder_win.cpp and
// consoledecoder_posix.cpp. Code pages are Windows code page numbers; 65001 is UTF-8, which the
// decoder reads itself.
namespace ConsoleCodePage {

// The code page in which console programs write to a pipe.
unsigned console();

// Under code page 65001, the code page of the system locale (936 on Chinese Windows), in which
// older programs still write; 0 when there is none.
unsigned legacy();

// Whether `byte` starts a two-byte character in `codePage`.
bool isLeadByte(unsigned codePage, char byte);

// Decodes whole characters; `valid` tells whether every byte sequence was valid in the code page.
QString decode(unsigned codePage, QByteArrayView bytes, bool *valid = nullptr);

} // namespace ConsoleCodePage
