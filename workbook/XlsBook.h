#pragma once

#include "BiffRecords.h"
#include "CompoundFile.h"
#include "WorkbookFile.h"

namespace Workbook {

// An Excel 97-2003 workbook (.xls): BIFF8 records in the "Workbook" stream of an OLE2 compound
// file. Saving rebuilds the stream: the globals keep their records (with the export's number
// format, cell formats, sheets and strings added, and sheet positions brought up to date), the
// kept sheets are copied record for record, and every other stream of the file is kept.
class XlsBook : public WorkbookFile {
public:
    void create(const QString& path);
    bool load(const QString& path, QString* error) override;

    QStringList sheetNames() const override;
    int maxRows() const override { return 65536; }
    int maxColumns() const override { return 256; }
    QString formatName() const override { return QStringLiteral(".xls"); }
    bool save(const std::vector<NewSheet>& sheets, const std::atomic_bool* cancel,
        QString* error) override;

private:
    struct Sheet {
        QString name;
        int boundSheet = 0; // index into _globals
        int start = 0; // substream span in _stream
        int end = 0;
    };
    class Build; // the steps of build()

    bool parse(QString* error);
    // The Workbook stream the save writes. newRanges: where each new sheet's substream lies in
    // it (offset, length).
    bool build(const std::vector<NewSheet>& sheets, const std::atomic_bool* cancel, QByteArray* out,
        std::vector<std::pair<int, int>>* newRanges, QString* error) const;
    // Brings the user-defined properties of the DocumentSummaryInformation stream up to date.
    bool applyPropertyChanges(
        CompoundFile& file, const PropertyChanges& changes, QString* error) const;

    QString _path;
    CompoundFile _file;
    QByteArray _stream;
    std::vector<Biff::Record> _globals;
    std::vector<Sheet> _sheets;
};

} // namespace Workbook
