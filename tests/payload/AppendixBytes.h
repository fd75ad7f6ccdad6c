#pragma once

#include <QByteArray>
#include <QtEndian>

// Pieces of an appendix as the tests lay it out by hand: little-endian integers and the
// name and bytes of one stored file.
inline QByteArray le16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

struct StoredFile
{
    QByteArray name;
    QByteArray data;
};
