#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace Workbook {

// An OLE2 compound file (the container of .xls workbooks) as a tree of storages and streams,
// read whole into memory and written back as a new file. Version 3 (512-byte sectors); streams
// under 4096 bytes live in the mini stream, as readers expect them there.
class CompoundFile {
public:
    struct Entry {
        QString name;
        bool storage = false;
        QByteArray data; // streams
        QByteArray clsid; // 16 bytes
        quint32 stateBits = 0;
        QByteArray times; // creation and modification, 16 bytes
        std::vector<Entry> children; // storages
    };

    bool read(const QByteArray& file, QString* error);
    QByteArray write() const;

    Entry& root() { return _root; }
    const Entry& root() const { return _root; }

    // The stream of that name directly under the root (names compare without regard to case).
    Entry* stream(const QString& name);
    const Entry* stream(const QString& name) const;

private:
    Entry _root;
};

} // namespace Workbook
