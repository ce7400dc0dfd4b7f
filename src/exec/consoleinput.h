#pragma once

#include <QByteArray>
#include <QStringView>

// What a console hands a program that reads its standard input, for text the user typed.
namespace ConsoleInput {

// `text` in the code page in which console programs read (Windows code page numbers; 0 for the
// console's: the OEM code page on Windows, UTF-8 elsewhere), each of its LFs ended as the
// platform ends a typed line (CR LF on Windows).
QByteArray encode(QStringView text, unsigned codePage);

} // namespace ConsoleInput
