#pragma once

// Windows-1252, the 8-bit code page of files written by older Windows programs (settings files,
// address-book exports). Qt's own converters do not offer it without ICU codecs.

#include <QByteArray>
#include <QString>

// Every byte maps to one character; the five unassigned bytes keep their C1 code points, so a
// decode/encode round trip returns the same bytes.
QString decodeCp1252(const QByteArray &bytes);
// Empty result and ok=false when a character has no Windows-1252 byte.
QByteArray encodeCp1252(const QString &text, bool *ok);
