#include "common/profile_file.h"

#include <optional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include "common/error.h"
#include "common/windows1252.h"

namespace {


bool isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

QString fileErrorText(const QString &what, const QString &path, const QString &reason)
{
    return what + QStringLiteral(" \"") + QDir::toNativeSeparators(path) + QStringLiteral("\". ") + reason;
}

constexpr qsizetype kMaxValueLength = 2047;

} // namespace

// The file as a list of lines, each with its own line end, so that untouched lines are
// written back exactly as they were read.
class ProfileDocument
{
public:
    enum class Kind
    {
        Blank,
        Section,
        Comment,
        Key,
        Other
    };

    struct Line
    {
        QByteArray text; // without line end
        QByteArray eol;  // "\r\n", "\n" or empty (last line without line end)
        Kind kind = Kind::Other;
        QString name; // section or key name
        QString value;
    };

    static ProfileDocument fromBytes(const QByteArray &data)
    {
        ProfileDocument doc;
        QByteArray rest = data;
        if (rest.startsWith("\xEF\xBB\xBF")) {
            doc.m_bom = rest.left(3);
            rest = rest.mid(3);
        }
        // One decision for the whole file: short Windows-1252 sequences can look like UTF-8.
        doc.m_legacy = !isValidUtf8(rest);
        qsizetype pos = 0;
        while (pos < rest.size()) {
            const qsizetype nl = rest.indexOf('\n', pos);
            Line line;
            if (nl < 0) {
                line.text = rest.mid(pos);
                pos = rest.size();
            } else {
                const bool crlf = nl > pos && rest.at(nl - 1) == '\r';
                line.text = rest.mid(pos, nl - pos - (crlf ? 1 : 0));
                line.eol = crlf ? QByteArray("\r\n") : QByteArray("\n");
                pos = nl + 1;
            }
            if (line.eol == "\r\n")
                doc.m_newline = "\r\n";
            doc.classify(line);
            doc.m_lines.push_back(std::move(line));
        }
        return doc;
    }

    QByteArray toBytes() const
    {
        QByteArray out = m_bom;
        for (const Line &line : m_lines)
            out += line.text + line.eol;
        return out;
    }

    // Index of the matching key line, or -1.
    qsizetype findKey(const QString &section, const QString &key) const
    {
        const auto [begin, end] = sectionRange(section);
        for (qsizetype i = begin; i >= 0 && i < end; ++i) {
            if (m_lines[i].kind == Kind::Key && m_lines[i].name.compare(key, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }

    std::optional<QString> value(const QString &section, const QString &key) const
    {
        const qsizetype i = findKey(section, key);
        if (i < 0)
            return std::nullopt;
        return m_lines[i].value;
    }

    void setValue(const QString &section, const QString &key, const QString &value)
    {
        makeEncodable(section + key + value);
        if (const qsizetype i = findKey(section, key); i >= 0) {
            Line &line = m_lines[i];
            line.text = line.text.left(line.text.indexOf('=') + 1) + encode(value);
            classify(line);
            return;
        }
        Line keyLine;
        keyLine.text = encode(key) + '=' + encode(value);
        keyLine.eol = m_newline;
        classify(keyLine);

        const auto [begin, end] = sectionRange(section);
        if (begin >= 0) {
            // After the section's last key; comments and blank lines that follow it stay below.
            qsizetype at = begin;
            for (qsizetype i = begin; i < end; ++i) {
                if (m_lines[i].kind == Kind::Key || m_lines[i].kind == Kind::Other)
                    at = i + 1;
            }
            if (at > 0 && m_lines[at - 1].eol.isEmpty())
                m_lines[at - 1].eol = m_newline;
            m_lines.insert(m_lines.begin() + at, std::move(keyLine));
            return;
        }

        if (!m_lines.empty()) {
            if (m_lines.back().eol.isEmpty())
                m_lines.back().eol = m_newline;
            if (m_lines.back().kind != Kind::Blank)
                m_lines.push_back(Line{QByteArray(), m_newline, Kind::Blank, {}, {}});
        }
        Line header;
        header.text = '[' + encode(section) + ']';
        header.eol = m_newline;
        classify(header);
        m_lines.push_back(std::move(header));
        m_lines.push_back(std::move(keyLine));
    }

private:
    void classify(Line &line) const
    {
        const QString text = (m_legacy ? decodeCp1252(line.text) : QString::fromUtf8(line.text)).trimmed();
        line.name.clear();
        line.value.clear();
        if (text.isEmpty()) {
            line.kind = Kind::Blank;
        } else if (text.startsWith(u'[')) {
            line.kind = Kind::Section;
            const qsizetype close = text.indexOf(u']');
            line.name = (close < 0 ? text.mid(1) : text.mid(1, close - 1)).trimmed();
        } else if (text.startsWith(u';')) {
            line.kind = Kind::Comment;
        } else if (const qsizetype eq = text.indexOf(u'='); eq >= 0) {
            line.kind = Kind::Key;
            line.name = text.left(eq).trimmed();
            line.value = text.mid(eq + 1).trimmed();
        } else {
            line.kind = Kind::Other;
        }
    }

    // [first line after the header, first line of the next section); begin -1 when missing.
    std::pair<qsizetype, qsizetype> sectionRange(const QString &section) const
    {
        const auto count = static_cast<qsizetype>(m_lines.size());
        for (qsizetype i = 0; i < count; ++i) {
            if (m_lines[i].kind != Kind::Section ||
                m_lines[i].name.compare(section, Qt::CaseInsensitive) != 0)
                continue;
            qsizetype end = i + 1;
            while (end < count && m_lines[end].kind != Kind::Section)
                ++end;
            return {i + 1, end};
        }
        return {-1, -1};
    }

    // A text that Windows-1252 cannot hold turns a Windows-1252 file into UTF-8 as a whole:
    // every line keeps its meaning, and the file stays readable with one encoding.
    void makeEncodable(const QString &text)
    {
        bool ok = false;
        if (!m_legacy || (encodeCp1252(text, &ok), ok))
            return;
        for (Line &line : m_lines)
            line.text = decodeCp1252(line.text).toUtf8();
        m_legacy = false;
    }

    QByteArray encode(const QString &text) const
    {
        if (m_legacy) {
            bool ok = false;
            QByteArray bytes = encodeCp1252(text, &ok);
            if (ok)
                return bytes;
        }
        return text.toUtf8();
    }

    std::vector<Line> m_lines;
    QByteArray m_bom;
    QByteArray m_newline = "\n";
    bool m_legacy = false; // the file holds lines that are not UTF-8
};

namespace {

// A missing file is an empty document; a file that exists but cannot be read is an error for
// writers (writing would lose its content) and reads as empty for readers.
std::optional<ProfileDocument> loadDocument(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return ProfileDocument::fromBytes({});
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = fileErrorText(QStringLiteral("Cannot open file"), path, file.errorString());
        return std::nullopt;
    }
    return ProfileDocument::fromBytes(file.readAll());
}

void checkOneLine(const QString &section, const QString &key, const QString &value)
{
    for (const QString *text : {&section, &key, &value}) {
        if (text->contains(u'\n') || text->contains(u'\r'))
            throw BoxvisorError(
                QStringLiteral("A line break cannot be stored in the profile file (section \"") + section +
                QStringLiteral("\", key \"") + key + QStringLiteral("\")."));
    }
    if (key.contains(u'=') || section.contains(u']'))
        throw BoxvisorError(QStringLiteral("Invalid profile key \"") + key +
                            QStringLiteral("\" in section \"") + section + QStringLiteral("\"."));
}

} // namespace

ProfileBatch::ProfileBatch(QString path) : m_path(std::move(path))
{
    QString error;
    auto doc = loadDocument(m_path, &error);
    if (!doc)
        throw FileError(error);
    m_doc = std::make_unique<ProfileDocument>(std::move(*doc));
}

ProfileBatch::~ProfileBatch() = default;

void ProfileBatch::writeString(const QString &section, const QString &key, const QString &value)
{
    checkOneLine(section, key, value);
    m_doc->setValue(section, key, value);
    m_dirty = true;
}

void ProfileBatch::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void ProfileBatch::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void ProfileBatch::commit()
{
    if (!m_dirty)
        return;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(fileErrorText(QStringLiteral("Cannot create file"), m_path, file.errorString()));
    const QByteArray bytes = m_doc->toBytes();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw FileError(fileErrorText(QStringLiteral("Cannot write file"), m_path, file.errorString()));
    m_dirty = false;
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &def) const
{
    const auto doc = loadDocument(m_path, nullptr);
    if (!doc)
        return def;
    const auto value = doc->value(section, key);
    if (!value)
        return def;
    QString result = value->left(kMaxValueLength);
    if (!result.isEmpty() && result.back().isHighSurrogate())
        result.chop(1);
    return result;
}

int ProfileFile::readInteger(const QString &section, const QString &key, int def) const
{
    const QString text = readString(section, key, QString());
    if (text.isEmpty())
        return def;
    try {
        return strToInt(text);
    } catch (const ConversionError &) {
        return def;
    }
}

bool ProfileFile::readBool(const QString &section, const QString &key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void ProfileFile::writeString(const QString &section, const QString &key, const QString &value)
{
    ProfileBatch batch(m_path);
    batch.writeString(section, key, value);
    batch.commit();
}

void ProfileFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void ProfileFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
