#include "XlsBook.h"

#include "SheetData.h"
#include "SheetFingerprint.h"
#include "SummaryInformation.h"

#include <QFile>
#include <QSaveFile>

#include <zlib.h>

namespace Workbook {

using namespace Biff;

void XlsBook::create(const QString& path)
{
    _path = path;
    _file = CompoundFile();
    _stream = newGlobals();
    QString error;
    parse(&error);
}

bool XlsBook::load(const QString& path, QString* error)
{
    _path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!_file.read(file.readAll(), error))
        return false;
    const CompoundFile::Entry* workbook = _file.stream(QStringLiteral("Workbook"));
    if (!workbook) {
        *error = _file.stream(QStringLiteral("Book"))
            ? QStringLiteral("the workbook is in the Excel 5.0/95 format, which can't be updated; "
                             "please save it in a newer format first")
            : QStringLiteral("the file holds no workbook");
        return false;
    }
    _stream = workbook->data;
    return parse(error);
}

bool XlsBook::parse(QString* error)
{
    _globals.clear();
    _sheets.clear();
    if (!readSubstream(_stream, 0, &_globals) || _globals.empty() || _globals.front().type != Bof) {
        *error = QStringLiteral("the workbook stream is damaged");
        return false;
    }
    if (_globals.front().length < 2 || get16(_stream, _globals.front().dataOffset()) != 0x0600) {
        *error = QStringLiteral(
            "the workbook is not in the Excel 97-2003 format, which can't be updated; "
            "please save it in a newer format first");
        return false;
    }
    for (size_t i = 0; i < _globals.size(); ++i) {
        const Record& r = _globals[i];
        if (r.type == FilePass) {
            *error = QStringLiteral(
                "the workbook is encrypted (password protected), which can't be updated");
            return false;
        }
        if (r.type == BoundSheet) {
            Sheet sheet;
            const QByteArray data = _stream.mid(r.dataOffset(), r.length);
            sheet.name = readUnicodeString(data, 6, true);
            sheet.boundSheet = static_cast<int>(i);
            sheet.start = static_cast<int>(get32(data, 0));
            std::vector<Record> records;
            if (!readSubstream(_stream, sheet.start, &records) || records.front().type != Bof) {
                *error = QStringLiteral("the sheet \"%1\" is damaged").arg(sheet.name);
                return false;
            }
            sheet.end = records.back().end();
            _sheets.push_back(sheet);
        }
    }
    return true;
}

QStringList XlsBook::sheetNames() const
{
    return namesOf(_sheets);
}

bool XlsBook::applyPropertyChanges(
    CompoundFile& file, const PropertyChanges& changes, QString* error) const
{
    if (changes.empty())
        return true;
    CompoundFile::Entry* summary = file.stream(SummaryInformation::StreamName);
    if (!summary && changes.added.empty())
        return true;
    QByteArray updated;
    bool modified = false;
    if (!SummaryInformation::update(
            summary ? summary->data : QByteArray(), changes, &updated, &modified, error))
        return false;
    if (!modified)
        return true;
    if (!summary) {
        CompoundFile::Entry entry;
        entry.name = SummaryInformation::StreamName;
        file.root().children.push_back(entry);
        summary = &file.root().children.back();
    }
    summary->data = updated;
    return true;
}

bool XlsBook::save(
    const std::vector<NewSheet>& sheets, const std::atomic_bool* cancel, QString* error)
{
    QByteArray stream;
    std::vector<std::pair<int, int>> ranges;
    if (!build(sheets, cancel, &stream, &ranges, error))
        return false;
    // Each new sheet's substream is recorded beside its content hash, so that a later
    // comparison can tell whether the sheet is still the one written.
    PropertyChanges properties = _propertyChanges;
    for (size_t n = 0; n < sheets.size(); ++n) {
        const auto& range = ranges[n];
        const uLong crc = crc32_z(crc32_z(0, nullptr, 0),
            reinterpret_cast<const Bytef*>(stream.constData() + range.first),
            static_cast<size_t>(range.second));
        Fingerprint::addPartSignature(properties, sheets[n].data->name(),
            Fingerprint::partSignatureText(
                static_cast<uint32_t>(crc), static_cast<uint64_t>(range.second)));
    }
    CompoundFile file = _file;
    if (!applyPropertyChanges(file, properties, error))
        return false;
    CompoundFile::Entry* workbook = file.stream(QStringLiteral("Workbook"));
    if (!workbook) {
        CompoundFile::Entry entry;
        entry.name = QStringLiteral("Workbook");
        file.root().children.push_back(entry);
        workbook = &file.root().children.back();
    }
    // Small streams would go to the mini stream, where some readers don't look for the
    // workbook; padding is harmless after the last EOF.
    if (stream.size() < 4096)
        stream.append(QByteArray(4096 - stream.size(), '\0'));
    workbook->data = stream;
    const QByteArray bytes = file.write();
    if (cancel && cancel->load()) {
        *error = QStringLiteral("the export was cancelled");
        return false;
    }
    QSaveFile out(_path);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    qint64 written = 0;
    while (written < bytes.size()) {
        // In pieces, so that a cancel can come in between.
        if (cancel && cancel->load()) {
            out.cancelWriting();
            *error = QStringLiteral("the export was cancelled");
            return false;
        }
        const qint64 n = out.write(
            bytes.constData() + written, std::min<qint64>(bytes.size() - written, 1 << 20));
        if (n <= 0) {
            *error = out.errorString();
            out.cancelWriting();
            return false;
        }
        written += n;
    }
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

} // namespace Workbook
