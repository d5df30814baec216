#pragma once

#include "LittleEndian.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace Workbook {
namespace Biff {

enum RecordType : quint16 {
    Formula = 0x0006,
    Eof = 0x000A,
    ExternSheet = 0x0017,
    Name = 0x0018,
    FilePass = 0x002F,
    Font = 0x0031,
    Continue = 0x003C,
    Window1 = 0x003D,
    CodePage = 0x0042,
    WsBool = 0x0081,
    BoundSheet = 0x0085,
    DateMode = 0x0022,
    Country = 0x008C,
    MulRk = 0x00BD,
    Xf = 0x00E0,
    Sst = 0x00FC,
    ExtSst = 0x00FF,
    LabelSst = 0x00FD,
    SupBook = 0x01AE,
    Dimensions = 0x0200,
    Number = 0x0203,
    Label = 0x0204,
    BoolErr = 0x0205,
    StringValue = 0x0207, // STRING: the text result of the formula before it
    Index = 0x020B,
    Window2 = 0x023E,
    Rk = 0x027E,
    Style = 0x0293,
    TabId = 0x013D,
    Format = 0x041E,
    Bof = 0x0809,
};

// Most data a record may carry; longer data goes on in CONTINUE records.
const int MaxRecordData = 8224;

struct Record {
    quint16 type = 0;
    int offset = 0; // of the record header in the stream
    int length = 0; // of the data
    int dataOffset() const { return offset + 4; }
    int end() const { return offset + 4 + length; }
};

// The records of a stream from offset on, through the EOF that closes the substream started
// there (nested substreams included). False when the stream ends first.
bool readSubstream(const QByteArray& stream, int offset, std::vector<Record>* records);

void appendRecord(QByteArray& out, quint16 type, const QByteArray& data);

// XLUnicodeString (16-bit count) and ShortXLUnicodeString (8-bit count), stored as single bytes
// when every character fits.
QByteArray unicodeString(const QString& text);
QByteArray shortUnicodeString(const QString& text);
// Reads either form at data[at]; sets the byte count read.
QString readUnicodeString(const QByteArray& data, int at, bool shortCount, int* used = nullptr);

// One string of the shared string table, with any rich-text runs and phonetic data kept as
// they were.
struct SstString {
    QString text;
    quint16 runCount = 0;
    QByteArray runs;
    QByteArray ext;
    bool hasExt = false;
};

// The strings of an SST record and its CONTINUE records (the data of each, in order).
bool parseSst(
    const std::vector<QByteArray>& blocks, quint32* total, std::vector<SstString>* strings);

// Appends SST (with CONTINUE records as needed) and EXTSST for the strings to out, whose
// current size is the stream position the SST is written at.
void writeSst(QByteArray& out, quint32 total, const std::vector<SstString>& strings);

// Records of a book being written.
QByteArray bof(quint16 kind); // 0x0005 globals, 0x0010 worksheet
QByteArray font();
// A cell format: font 0, the number format, horizontal alignment (0 general, 2 centred), below
// the style format 0. With style set, the style formats of a new book.
QByteArray xf(quint16 numberFormat, quint8 alignment, bool style);
QByteArray window1(quint16 activeTab, quint16 firstTab);
// The globals of a new book, without sheets and strings; the save adds those as for any book.
QByteArray newGlobals();

} // namespace Biff
} // namespace Workbook
