// Every input of the decoder's fuzzing corpus goes through DecodeCapiMessage in an exact-size
// buffer: nothing may crash or read past the input (the sanitizer builds check the latter).

#include "capi/capi_message.h"

#include <gtest/gtest.h>

#include <vector>

#include <QDir>
#include <QFile>

#include "support/test_paths.h"

TEST(CapiCorpus, DecoderHandlesEveryCorpusInput)
{
    const QDir dir(testpaths::sourceDir() + QStringLiteral("/tools/fuzz/corpus/capi_decode"));
    const QStringList files = dir.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << "corpus missing: " << dir.path().toStdString();
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        std::vector<quint8> exact(bytes.begin(), bytes.end());
        const auto m = DecodeCapiMessage(exact.data(), qsizetype(exact.size()));
        ASSERT_TRUE(m);
        const QByteArray kept = m->Bytes();
        EXPECT_LE(kept.size(), bytes.size());
        EXPECT_EQ(kept, bytes.left(kept.size())) << "the message holds a prefix of its input";
        if (bytes.size() >= 2) {
            EXPECT_EQ(m->Header.Length, quint16(quint8(bytes[0]) | quint8(bytes[1]) << 8));
        }
    }
}
