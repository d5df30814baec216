#pragma once

#include <QByteArray>
#include <QtEndian>

#include <cstring>

// The little-endian integers of the binary formats: BIFF records, the compound file and the
// property sets of its summary streams.
namespace Workbook {

// Reads past the end of the data give 0, so that no reader of a damaged file has to check every
// field's offset against the length of what holds it.
inline quint16 get16(const QByteArray& data, qint64 at)
{
    if (at < 0 || at + 2 > data.size())
        return 0;
    return qFromLittleEndian<quint16>(data.constData() + at);
}
inline quint32 get32(const QByteArray& data, qint64 at)
{
    if (at < 0 || at + 4 > data.size())
        return 0;
    return qFromLittleEndian<quint32>(data.constData() + at);
}
inline quint64 get64(const QByteArray& data, qint64 at)
{
    if (at < 0 || at + 8 > data.size())
        return 0;
    return qFromLittleEndian<quint64>(data.constData() + at);
}

// Writes into data, which must hold the field already.
inline void put16(QByteArray& data, qint64 at, quint16 v)
{
    qToLittleEndian<quint16>(v, data.data() + at);
}
inline void put32(QByteArray& data, qint64 at, quint32 v)
{
    qToLittleEndian<quint32>(v, data.data() + at);
}

inline void append16(QByteArray& data, quint16 v)
{
    char bytes[2];
    qToLittleEndian<quint16>(v, bytes);
    data.append(bytes, 2);
}
inline void append32(QByteArray& data, quint32 v)
{
    char bytes[4];
    qToLittleEndian<quint32>(v, bytes);
    data.append(bytes, 4);
}
inline void append64(QByteArray& data, quint64 v)
{
    char bytes[8];
    qToLittleEndian<quint64>(v, bytes);
    data.append(bytes, 8);
}

inline QByteArray le16(quint16 v)
{
    QByteArray data;
    append16(data, v);
    return data;
}
inline QByteArray le32(quint32 v)
{
    QByteArray data;
    append32(data, v);
    return data;
}
// An IEEE double as stored: its bits, little-endian.
inline QByteArray leDouble(double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    QByteArray data;
    append64(data, bits);
    return data;
}

} // namespace Workbook
