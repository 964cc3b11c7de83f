#pragma once

// Profile files (INI text of "[section]" lines and "key=value" lines), read and written one
// key at a time the way Windows profile functions do: every call reads the file anew, section
// and key names compare case-insensitively, a write creates the section when needed, appends
// a new key at the end of its section and keeps every other byte of the file. Files are
// replaced atomically (temporary file + rename).
//
// Encoding: a file that is valid UTF-8 (or new) is read and written as UTF-8; any other file
// is taken as Windows-1252 (written by older versions) and changed lines are written in
// Windows-1252 too. A value Windows-1252 cannot hold converts such a file to UTF-8 as a whole.

#include <QByteArray>
#include <QString>

#include <memory>

class ProfileDocument;

// Several writes applied in memory and stored in one atomic file replacement. The result is
// the same file the same writes would give one by one.
class ProfileBatch
{
public:
    explicit ProfileBatch(QString path); // reads the file (a missing file is empty)
    ~ProfileBatch();
    ProfileBatch(const ProfileBatch &) = delete;
    ProfileBatch &operator=(const ProfileBatch &) = delete;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);

    // Stores the file; throws FileError naming the file and the reason. Without changes since
    // the last commit nothing is written.
    void commit();

private:
    QString m_path;
    std::unique_ptr<ProfileDocument> m_doc;
    bool m_dirty = false;
};

class ProfileFile
{
public:
    explicit ProfileFile(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }

    // The value of the first matching key of the first matching section, blanks around it
    // removed, cut to 2047 characters; `def` when the file, section or key is missing.
    QString readString(const QString &section, const QString &key, const QString &def) const;
    // Decimal, or hexadecimal after "0x"; `def` when missing or not an integer.
    int readInteger(const QString &section, const QString &key, int def) const;
    // Any integer other than 0 is true; `def` when missing or not an integer.
    bool readBool(const QString &section, const QString &key, bool def) const;

    // Each write reads and replaces the whole file; throws FileError when it cannot.
    // Values must not hold line breaks (they would split the value); such a value throws
    // BoxvisorError and leaves the file untouched.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);

private:
    QString m_path;
};
