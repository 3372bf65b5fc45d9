#pragma once
// The Western European Windows code page (Windows-1252), in which the
// working file holds the notes typed by the user: what the files' readers
// expect. It holds Latin-1's printable characters and, in 0x80-0x9F, the
// euro sign, typographic quotes and dashes and a few more letters.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace windows1252 {

/// The bytes of `text`. A character the code page cannot hold becomes one
/// "?", also when it takes two UTF-16 units.
QByteArray encode(QStringView text);

/// The characters of `text` the code page cannot hold, each once, in the
/// order they first appear; empty when it holds them all.
QStringList unencodable(QStringView text);

} // namespace windows1252
