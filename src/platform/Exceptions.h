#pragma once

#include <QString>

#include <exception>

// The root of the errors that operations raise with an operator-readable message.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_what(m_message.toLocal8Bit()) {}

    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

// A file could not be opened: "Cannot open file %s".
class EFOpenError : public Exception
{
public:
    explicit EFOpenError(const QString &fileName)
        : Exception(QStringLiteral("Cannot open file %1").arg(fileName)) {}
};

// A file could not be created: "Cannot create file %s".
class EFCreateError : public Exception
{
public:
    explicit EFCreateError(const QString &fileName)
        : Exception(QStringLiteral("Cannot create file %1").arg(fileName)) {}
};

// Fewer bytes than required could be read.
class EReadError : public Exception
{
public:
    EReadError() : Exception(QStringLiteral("Stream read error")) {}
};

// Fewer bytes than given could be written.
class EWriteError : public Exception
{
public:
    EWriteError() : Exception(QStringLiteral("Stream write error")) {}
};

// A text that should hold an integer does not.
class EConvertError : public Exception
{
public:
    explicit EConvertError(const QString &text)
        : Exception(QStringLiteral("'%1' is not a valid integer value").arg(text)) {}
};

// A failure of a protocol client, carrying its numeric code; the message reads "code: text".
class ESocketError : public Exception
{
public:
    ESocketError(int code, const QString &text)
        : Exception(QString::number(code) + QStringLiteral(": ") + text), m_code(code) {}

    int code() const { return m_code; }

private:
    int m_code;
};
