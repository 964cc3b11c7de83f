#pragma once

// Line splitting and bounded whole-file reading shared by the readers of the box's files and
// the guide export. Not part of the subsystem's interface.

#include <QByteArray>
#include <QList>
#include <QString>

namespace textlines {

// The lines without their ends: LF ends a line and one CR before it is dropped, so CR LF and LF
// files read alike; a lone CR stays inside its line. No empty last line after a final LF.
QList<QByteArray> split(const QByteArray &data);
// The same lines as views into data (valid while data lives and is not changed).
QList<QByteArrayView> splitViews(const QByteArray &data);

// ASCII upper case only, as the box's hex digits need; other bytes stay as they are.
QByteArray asciiUpper(QByteArrayView bytes);

// The files this subsystem reads are small (a large channel list is a few hundred kilobytes);
// anything beyond this is not such a file and is refused instead of filling memory.
inline constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

// Reads the whole file. Throws FileError with `failure` (or, when empty, a sentence naming the
// file and the reason) when it cannot be opened or read, and a sentence naming the file when it
// is larger than MaxFileSize.
QByteArray readFile(const QString &path, const QString &failure = {});

} // namespace textlines
