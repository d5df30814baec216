#include "WorkbookReader.h"

#include "SheetFingerprint.h"
#include "XlsReader.h"
#include "XlsxReader.h"

#include <QFile>

namespace Workbook {

std::unique_ptr<WorkbookReader> WorkbookReader::openFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return nullptr;
    }
    const QByteArray magic = file.read(8);
    file.close();
    std::unique_ptr<WorkbookReader> reader;
    if (magic.startsWith("PK\x03\x04"))
        reader = std::make_unique<XlsxReader>();
    else if (magic == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        reader = std::make_unique<XlsReader>();
    if (!reader) {
        *error = QStringLiteral("the file is not an Excel workbook (.xlsx, .xlsm or .xls)");
        return nullptr;
    }
    if (!reader->open(path, error))
        return nullptr;
    return reader;
}

QHash<QString, QByteArray> WorkbookReader::trustedSheetHashes() const
{
    const DocProperties& properties = customProperties();
    const QHash<QString, QByteArray> hashes = Fingerprint::sheetHashes(properties);
    const QHash<QString, QString> parts = Fingerprint::partSignatures(properties);
    QHash<QString, QByteArray> trusted;
    const QStringList names = sheetNames();
    for (int i = 0; i < names.size(); ++i) {
        const QString key = names.at(i).toLower();
        const auto hash = hashes.constFind(key);
        const auto part = parts.constFind(key);
        if (hash == hashes.cend() || part == parts.cend())
            continue;
        const QString now = partSignature(i);
        if (!now.isEmpty() && now == *part)
            trusted.insert(key, *hash);
    }
    return trusted;
}

} // namespace Workbook
