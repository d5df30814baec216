#include "OpcPackage.h"

#include "XmlSplice.h"

#include <QFile>

#include <cstdlib>
#include <cstring>

namespace Workbook {

namespace {

// Largest part of each kind read into memory.
const zip_uint64_t MaxSmallPart = zip_uint64_t(64) << 20;
const zip_uint64_t MaxLargePart = zip_uint64_t(1) << 30;
// A small part above this size may inflate at most MaxRatio times its compressed size.
const zip_uint64_t RatioFloor = zip_uint64_t(4) << 20;
const zip_uint64_t MaxRatio = 500;

QString megabytes(zip_uint64_t bytes)
{
    return QString::number(static_cast<double>(bytes) / (1 << 20), 'f', 0);
}

QString openError(int code)
{
    zip_error_t ze;
    zip_error_init_with_code(&ze, code);
    const QString text = QString::fromLocal8Bit(zip_error_strerror(&ze));
    zip_error_fini(&ze);
    return text;
}

QString zipError(zip_t* zip)
{
    return QString::fromLocal8Bit(zip_error_strerror(zip_get_error(zip)));
}

} // namespace

OpcPackage::PartStream::~PartStream()
{
    zip_fclose(_file);
}

qint64 OpcPackage::PartStream::read(char* buffer, qint64 size)
{
    return static_cast<qint64>(zip_fread(_file, buffer, static_cast<zip_uint64_t>(size)));
}

OpcPackage::OpcPackage() = default;

OpcPackage::~OpcPackage() = default;

bool OpcPackage::open(const QString& path, Mode mode, QString* error)
{
    _memoryParts.clear();
    _path = path;
    int code = 0;
    _zip.reset(
        zip_open(QFile::encodeName(path).constData(), mode == ReadOnly ? ZIP_RDONLY : 0, &code));
    if (!_zip) {
        *error = openError(code);
        return false;
    }
    return true;
}

void OpcPackage::create(const QString& path, const QMap<QString, QByteArray>& parts)
{
    _zip.reset();
    _path = path;
    _memoryParts = parts;
}

QStringList OpcPackage::partNames() const
{
    if (!_zip)
        return _memoryParts.keys();
    QStringList names;
    const zip_int64_t n = zip_get_num_entries(_zip.get(), 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        const char* name = zip_get_name(_zip.get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
        if (name)
            names.append(QString::fromUtf8(name));
    }
    return names;
}

bool OpcPackage::hasPart(const QString& name) const
{
    if (!_zip)
        return _memoryParts.contains(name);
    return zip_name_locate(_zip.get(), name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

QString OpcPackage::actualName(const QString& name) const
{
    for (const auto& candidate : partNames())
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    return QString();
}

bool OpcPackage::readPart(
    const QString& name, PartSize size, QByteArray* data, QString* error) const
{
    if (!_zip) {
        if (!_memoryParts.contains(name)) {
            *error = QStringLiteral("the part %1 is missing").arg(name);
            return false;
        }
        *data = _memoryParts.value(name);
        return true;
    }
    const zip_int64_t index = zip_name_locate(_zip.get(), name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_stat_t st;
    if (index < 0 || zip_stat_index(_zip.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0) {
        *error = QStringLiteral("the part %1 is missing").arg(name);
        return false;
    }
    // The sizes come from the file: a damaged or hostile one may claim more than fits a
    // QByteArray, which would truncate the buffer below what zip_fread writes, or a small part
    // that inflates to gigabytes.
    const zip_uint64_t limit = size == SmallPart ? MaxSmallPart : MaxLargePart;
    bool tooLarge = !(st.valid & ZIP_STAT_SIZE) || st.size > limit;
    if (!tooLarge && size == SmallPart && st.size > RatioFloor)
        tooLarge = !(st.valid & ZIP_STAT_COMP_SIZE) || st.size / MaxRatio > st.comp_size;
    if (tooLarge) {
        *error = (st.valid & ZIP_STAT_SIZE)
            ? QStringLiteral("the part %1 is too large (it inflates to %2 MB)")
                  .arg(name, megabytes(st.size))
            : QStringLiteral("the part %1 is too large").arg(name);
        return false;
    }
    zip_file_t* file = zip_fopen_index(_zip.get(), static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        *error = QStringLiteral("the part %1 can't be read: %2").arg(name, zipError(_zip.get()));
        return false;
    }
    data->resize(static_cast<int>(st.size));
    const zip_int64_t got = zip_fread(file, data->data(), st.size);
    zip_fclose(file);
    if (got != static_cast<zip_int64_t>(st.size)) {
        *error = QStringLiteral("the part %1 can't be read").arg(name);
        return false;
    }
    return true;
}

std::unique_ptr<OpcPackage::PartStream> OpcPackage::openPart(const QString& name) const
{
    if (!_zip)
        return nullptr;
    const zip_int64_t index = zip_name_locate(_zip.get(), name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_file_t* file = index < 0 ? nullptr : zip_fopen_index(_zip.get(), zip_uint64_t(index), 0);
    return file ? std::make_unique<PartStream>(file) : nullptr;
}

bool OpcPackage::partSignature(const QString& name, uint32_t* crc, uint64_t* size) const
{
    if (!_zip)
        return false;
    const zip_int64_t index = zip_name_locate(_zip.get(), name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_stat_t st;
    if (index < 0 || zip_stat_index(_zip.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0)
        return false;
    if (!(st.valid & ZIP_STAT_CRC) || !(st.valid & ZIP_STAT_SIZE))
        return false;
    *crc = st.crc;
    *size = st.size;
    return true;
}

bool OpcPackage::readRelationships(const QString& relsPart, const QString& sourcePart,
    std::vector<Relationship>* rels, QString* error) const
{
    rels->clear();
    if (!hasPart(relsPart))
        return true;
    QByteArray data;
    return readPart(relsPart, SmallPart, &data, error)
        && parseRelationships(data, sourcePart, rels, error);
}

bool OpcPackage::parseRelationships(const QByteArray& data, const QString& sourcePart,
    std::vector<Relationship>* rels, QString* error)
{
    rels->clear();
    XmlPart xml;
    const bool parsed = xml.parse(data, error);
    for (const auto* element : xml.find(QStringLiteral("Relationship"))) {
        Relationship rel;
        rel.id = element->attribute(QStringLiteral("Id"));
        rel.type = element->attribute(QStringLiteral("Type"));
        rel.external
            = element->attribute(QStringLiteral("TargetMode")) == QLatin1String("External");
        const QString target = element->attribute(QStringLiteral("Target"));
        rel.target = rel.external ? target : resolve(sourcePart, target);
        rels->push_back(rel);
    }
    return parsed;
}

bool OpcPackage::commit(const Changes& changes, QString* error)
{
    zip_t* zip = _zip.release(); // closed or discarded below, either way
    if (!zip) {
        int code = 0;
        zip = zip_open(QFile::encodeName(_path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
        if (!zip) {
            *error = openError(code);
            return false;
        }
    }
    auto fail = [&](const QString& text) {
        *error = text;
        zip_discard(zip);
        return false;
    };
    const auto setEntryTime = [&](zip_int64_t index) {
        return changes.entryTime < 0
            || zip_file_set_mtime(
                   zip, static_cast<zip_uint64_t>(index), time_t(changes.entryTime), 0)
            == 0;
    };
    for (const auto& name : changes.removed) {
        const zip_int64_t index = zip_name_locate(zip, name.toUtf8().constData(), 0);
        if (index >= 0 && zip_delete(zip, static_cast<zip_uint64_t>(index)) != 0)
            return fail(zipError(zip));
    }
    // The parts of a created package, then the changed ones.
    QMap<QString, QByteArray> parts = _memoryParts;
    for (auto it = changes.parts.begin(); it != changes.parts.end(); ++it)
        parts.insert(it.key(), it.value());
    for (auto it = parts.begin(); it != parts.end(); ++it) {
        const QByteArray& data = it.value();
        void* copy = std::malloc(static_cast<size_t>(std::max(data.size(), 1)));
        std::memcpy(copy, data.constData(), static_cast<size_t>(data.size()));
        zip_source_t* source
            = zip_source_buffer(zip, copy, static_cast<zip_uint64_t>(data.size()), 1);
        if (!source) {
            std::free(copy);
            return fail(zipError(zip));
        }
        const zip_int64_t index
            = zip_name_locate(zip, it.key().toUtf8().constData(), ZIP_FL_NOCASE);
        const zip_int64_t written = index >= 0
            ? (zip_file_replace(zip, static_cast<zip_uint64_t>(index), source, 0) == 0 ? index : -1)
            : zip_file_add(zip, it.key().toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (written < 0) {
            zip_source_free(source);
            return fail(zipError(zip));
        }
        if (changes.compressionLevel > 0
            && zip_set_file_compression(zip, static_cast<zip_uint64_t>(written), ZIP_CM_DEFLATE,
                   static_cast<zip_uint32_t>(changes.compressionLevel))
                != 0)
            return fail(zipError(zip));
        if (!setEntryTime(written))
            return fail(zipError(zip));
    }
    for (const auto& part : changes.streamed) {
        zip_source_t* source = part.second(zip);
        if (!source)
            return fail(zipError(zip));
        const zip_int64_t index = zip_file_add(
            zip, part.first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(source);
            return fail(zipError(zip));
        }
        if (!setEntryTime(index))
            return fail(zipError(zip));
    }
    zip_register_progress_callback_with_state(
        zip, 0.001,
        [](zip_t*, double fraction, void* state) {
            const auto* c = static_cast<const Changes*>(state);
            if (c->progress)
                c->progress(fraction);
        },
        nullptr, const_cast<Changes*>(&changes));
    zip_register_cancel_callback_with_state(
        zip,
        [](zip_t*, void* state) {
            const auto* cancel = static_cast<const Changes*>(state)->cancel;
            return cancel && cancel->load() ? 1 : 0;
        },
        nullptr, const_cast<Changes*>(&changes));
    if (zip_close(zip) != 0)
        return fail(zipError(zip));
    return true;
}

QString OpcPackage::relsPartOf(const QString& part)
{
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1)
        + QStringLiteral(".rels");
}

QString OpcPackage::resolve(const QString& sourcePart, const QString& target)
{
    QString path;
    if (target.startsWith(QLatin1Char('/')))
        path = target.mid(1);
    else
        path = sourcePart.left(sourcePart.lastIndexOf(QLatin1Char('/')) + 1) + target;
    QStringList out;
    const auto segments = path.split(QLatin1Char('/'));
    for (const auto& segment : segments) {
        if (segment == QLatin1String(".."))
            out.isEmpty() ? void() : out.removeLast();
        else if (!segment.isEmpty() && segment != QLatin1String("."))
            out.append(segment);
    }
    return out.join(QLatin1Char('/'));
}

QString OpcPackage::relativeTarget(const QString& sourcePart, const QString& part)
{
    const QString dir = sourcePart.left(sourcePart.lastIndexOf(QLatin1Char('/')) + 1);
    if (!dir.isEmpty() && part.startsWith(dir))
        return part.mid(dir.size());
    return QLatin1Char('/') + part;
}

} // namespace Workbook
