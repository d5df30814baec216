#pragma once

#include "WorkbookFile.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <zip.h>

namespace TARN {

class XmlPart;

// An Office Open XML workbook (.xlsx, .xlsm) in its ZIP package. A loaded package stays open
// until it is saved or the book is destroyed; the save rewrites only the parts that must change
// (workbook, its relationships, content types, styles and the replaced sheets) and lets libzip
// copy every other entry unchanged.
class XlsxBook : public WorkbookFile {
public:
    XlsxBook() = default;
    ~XlsxBook() override;
    XlsxBook(const XlsxBook&) = delete;
    XlsxBook& operator=(const XlsxBook&) = delete;

    // A new book that will be written to path; macroEnabled gives it the .xlsm content type.
    void create(const QString& path, bool macroEnabled);
    bool load(const QString& path, QString* error);

    QStringList sheetNames() const override;
    int maxRows() const override { return 1048576; }
    int maxColumns() const override { return 16384; }
    QString formatName() const override { return QStringLiteral(".xlsx"); }
    bool save(const std::vector<NewSheet>& sheets, const std::atomic_bool* cancel,
        QString* error) override;

private:
    struct Sheet {
        QString name;
        QString relId;
        QString part; // package path without the leading '/'
        int sheetId = 0;
    };
    struct Relationship {
        QString id;
        QString type;
        QString target; // resolved package path, or the raw target for external ones
        bool external = false;
    };

    bool readPart(const QString& name, QByteArray* data, QString* error) const;
    bool hasPart(const QString& name) const;
    QString actualName(const QString& name) const;
    QStringList partNames() const;
    bool readRelationships(const QString& relsPart, const QString& sourcePart,
        std::vector<Relationship>* rels, QString* error) const;
    bool loadStructure(QString* error);
    // Brings the custom properties part up to date in changed (adding it, with its package
    // relationship and content type, when the book has none).
    bool applyPropertyChanges(QMap<QString, QByteArray>& changed, QString* error) const;
    bool writeArchive(const QMap<QString, QByteArray>& changed, const QStringList& deleted,
        const std::vector<std::pair<QString, class XlsxSheetStream*>>& streams, QString* error);

    QString _path;
    zip_t* _zip = nullptr;
    QMap<QString, QByteArray> _templateParts; // a new book's parts
    QString _workbookPart;
    QString _workbookRelsPart;
    std::vector<Sheet> _sheets;
    std::vector<Relationship> _workbookRels;
};

// Package path helpers.
namespace Opc {
QString relsPartOf(const QString& part);
QString resolve(const QString& sourcePart, const QString& target);
QString relativeTarget(const QString& sourcePart, const QString& part);
} // namespace Opc

} // namespace TARN
