#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <ostream>

#include "support/test_files.h"
#include "support/test_paths.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && c != '\\')
            *os << c;
        else
            *os << "\\x"
                << "0123456789abcdef"[u >> 4] << "0123456789abcdef"[u & 15];
    }
    *os << '"';
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

inline QString timersFixture(const QString &name)
{
    return testpaths::fixturesDir() + QStringLiteral("/timers/") + name;
}
inline QString enigmaFixture(const QString &name)
{
    return testpaths::fixturesDir() + QStringLiteral("/enigma1/settings-packages/") + name;
}
