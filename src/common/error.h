#pragma once

// The program's errors. Every failure the user may see is thrown as a BoxvisorError carrying
// the sentence to show; the application's error box shows it (app/ui/error_box.h). Subclasses
// exist only where a caller reacts differently.

#include <exception>
#include <optional>

#include <QByteArray>
#include <QString>

class BoxvisorError : public std::exception
{
public:
    explicit BoxvisorError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A file could not be read or written; the message names the file.
class FileError : public BoxvisorError
{
public:
    using BoxvisorError::BoxvisorError;
};

// Input (a file, the network, the box, mail) did not have the expected form.
class ParseError : public BoxvisorError
{
public:
    using BoxvisorError::BoxvisorError;
};

// A request to the box failed; code is the transfer library's code (or the HTTP/FTP status).
class TransferError : public BoxvisorError
{
public:
    TransferError(QString message, int code) : BoxvisorError(std::move(message)), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// The user or a progress callback cancelled the operation.
class CancelledError : public BoxvisorError
{
public:
    using BoxvisorError::BoxvisorError;
};

// A text that should be an integer was not (the message is the run-time's conversion error).
class ConversionError : public BoxvisorError
{
public:
    using BoxvisorError::BoxvisorError;
};

// Converts like the run-time's StrToInt: optional sign, decimal or "0x"/"$" hexadecimal,
// surrounding blanks allowed; anything else throws ConversionError("'<text>' is not a valid integer value").
int strToInt(const QString &text);
// The same conversion without the exception: nothing when text is not an integer.
std::optional<int> tryStrToInt(QStringView text);
