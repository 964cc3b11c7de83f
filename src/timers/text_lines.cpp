#include "timers/text_lines.h"

#include <QFile>

#include "common/error.h"

namespace textlines {

QList<QByteArrayView> splitViews(const QByteArray &data)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        qsizetype len = end - start;
        if (len > 0 && data.at(end - 1) == '\r')
            --len;
        lines.append(QByteArrayView(data.constData() + start, len));
        start = end + 1;
    }
    return lines;
}

QList<QByteArray> split(const QByteArray &data)
{
    QList<QByteArray> lines;
    for (const QByteArrayView line : splitViews(data))
        lines.append(line.toByteArray());
    return lines;
}

QByteArray asciiUpper(QByteArrayView bytes)
{
    QByteArray out(bytes.size(), Qt::Uninitialized);
    const auto *in = reinterpret_cast<const uchar *>(bytes.data());
    auto *to = reinterpret_cast<uchar *>(out.data());
    // Without a branch per byte, so that the compiler can do many bytes at once.
    for (qsizetype i = 0; i < bytes.size(); ++i)
        to[i] = static_cast<uchar>(in[i] - (static_cast<uchar>(in[i] - 'a') < 26 ? 32 : 0));
    return out;
}

QByteArray readFile(const QString &path, const QString &failure)
{
    QFile file(path);
    const auto fail = [&] {
        if (!failure.isEmpty())
            throw FileError(failure);
        throw FileError(
            QStringLiteral("Die Datei %1 kann nicht gelesen werden: %2").arg(path, file.errorString()));
    };
    if (!file.open(QIODevice::ReadOnly))
        fail();
    if (file.size() > MaxFileSize)
        throw FileError(QStringLiteral("Die Datei %1 ist mit %2 Bytes zu groß für eine Box-Datei.")
                            .arg(path)
                            .arg(file.size()));
    QByteArray data = file.read(MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        fail();
    if (data.size() > MaxFileSize)
        throw FileError(QStringLiteral("Die Datei %1 ist zu groß für eine Box-Datei.").arg(path));
    return data;
}

} // namespace textlines
