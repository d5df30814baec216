#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <zip.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace Workbook {

// An Open Packaging Conventions package: the ZIP archive of an .xlsx or .xlsm workbook, as the
// writer and the reader see it. Parts are found by name without regard to case, as OPC names
// them, and read into memory within limits that keep a damaged or hostile file from taking the
// machine's memory: a part that claims to inflate beyond them is refused before anything is
// allocated. A commit rewrites the package as a whole; libzip copies every part it isn't told
// to change without inflating it.
class OpcPackage {
public:
    enum Mode { ReadOnly, ReadWrite };

    enum PartSize {
        // Relationships, content types, the workbook, styles, document properties: a few
        // megabytes at most in any real book, and never compressed a thousandfold.
        SmallPart,
        // Worksheets and shared strings, which grow with the data.
        LargePart
    };

    struct Relationship {
        QString id;
        QString type;
        QString target; // resolved package path, or the raw target for external ones
        bool external = false;
    };

    // A part read a piece at a time.
    class PartStream {
    public:
        explicit PartStream(zip_file_t* file)
            : _file(file)
        {
        }
        ~PartStream();
        PartStream(const PartStream&) = delete;
        PartStream& operator=(const PartStream&) = delete;
        // Fills buffer with up to size bytes; returns how many, 0 at the end, -1 on an error.
        qint64 read(char* buffer, qint64 size);

    private:
        zip_file_t* _file;
    };

    // What a commit changes: the parts it drops (by their names in the package), the parts it
    // writes from memory (replacing one of the same name, found without regard to case) and the
    // parts a libzip source made for the archive being written gives, in that order.
    struct Changes {
        using SourceMaker = std::function<zip_source_t*(zip_t* archive)>;

        QStringList removed;
        QMap<QString, QByteArray> parts;
        std::vector<std::pair<QString, SourceMaker>> streamed;
        // How far writing the archive has come (0 to 1), as libzip reports it.
        std::function<void(double fraction)> progress;
        // While set, a running commit fails and leaves the file as it was.
        const std::atomic_bool* cancel = nullptr;
        // The deflate level (1 fastest to 9 smallest) of the parts written from memory; 0 keeps
        // libzip's default.
        int compressionLevel = 0;
        // The modification time recorded for the parts written (seconds since the epoch);
        // -1 records the moment of the commit, which makes two equal packages differ.
        qint64 entryTime = -1;
    };

    OpcPackage();
    ~OpcPackage();
    OpcPackage(const OpcPackage&) = delete;
    OpcPackage& operator=(const OpcPackage&) = delete;

    // Opens the archive at path; ReadWrite keeps it open for a commit.
    bool open(const QString& path, Mode mode, QString* error);
    // A package that is not on disk yet: these parts, which the commit writes to path.
    void create(const QString& path, const QMap<QString, QByteArray>& parts);

    const QString& path() const { return _path; }

    QStringList partNames() const;
    bool hasPart(const QString& name) const;
    // The name as the package spells it; empty when it has no such part.
    QString actualName(const QString& name) const;

    // Reads the part of that name. False with the reason when the part is missing, too large
    // for its kind or can't be read.
    bool readPart(const QString& name, PartSize size, QByteArray* data, QString* error) const;
    // The part for reading a piece at a time; null when it is missing or can't be opened.
    std::unique_ptr<PartStream> openPart(const QString& name) const;
    // The CRC-32 and size of the part's uncompressed bytes, as the archive records them; false
    // when the part is missing or the archive doesn't record them.
    bool partSignature(const QString& name, uint32_t* crc, uint64_t* size) const;

    // The relationships in relsPart, their targets resolved against sourcePart; none when the
    // package has no such part. False when the part can't be read or is damaged: rels then
    // holds those found before the damage.
    bool readRelationships(const QString& relsPart, const QString& sourcePart,
        std::vector<Relationship>* rels, QString* error) const;
    // The same for the data of a relationships part.
    static bool parseRelationships(const QByteArray& data, const QString& sourcePart,
        std::vector<Relationship>* rels, QString* error);

    // Writes the package to its path: libzip writes the archive next to the file and renames it
    // over the old one, so the file changes only when the commit succeeds. The package is closed
    // afterwards, whether or not it did.
    bool commit(const Changes& changes, QString* error);

    // Part names: "xl/_rels/workbook.xml.rels" for "xl/workbook.xml".
    static QString relsPartOf(const QString& part);
    // The part a relationship target names, relative to its source part (or absolute).
    static QString resolve(const QString& sourcePart, const QString& target);
    // The target that names part from sourcePart.
    static QString relativeTarget(const QString& sourcePart, const QString& part);

private:
    struct Discard {
        void operator()(zip_t* zip) const { zip_discard(zip); }
    };

    QString _path;
    std::unique_ptr<zip_t, Discard> _zip;
    QMap<QString, QByteArray> _memoryParts; // the parts of a created package
};

} // namespace Workbook
