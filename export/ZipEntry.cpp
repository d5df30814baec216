#include "ZipEntry.h"

namespace TARN {

namespace ZipEntry {

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

} // namespace

bool read(zip_t* zip, const QString& name, Kind kind, QByteArray* data, QString* error)
{
    const zip_int64_t index = zip_name_locate(zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_stat_t st;
    if (index < 0 || zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &st) != 0) {
        *error = QStringLiteral("the part %1 is missing").arg(name);
        return false;
    }
    // The sizes come from the file: a damaged or hostile one may claim more than fits a
    // QByteArray, which would truncate the buffer below what zip_fread writes, or a small part
    // that inflates to gigabytes.
    const zip_uint64_t limit = kind == SmallPart ? MaxSmallPart : MaxLargePart;
    bool tooLarge = !(st.valid & ZIP_STAT_SIZE) || st.size > limit;
    if (!tooLarge && kind == SmallPart && st.size > RatioFloor)
        tooLarge = !(st.valid & ZIP_STAT_COMP_SIZE) || st.size / MaxRatio > st.comp_size;
    if (tooLarge) {
        *error = (st.valid & ZIP_STAT_SIZE)
            ? QStringLiteral("the part %1 is too large (it inflates to %2 MB)")
                  .arg(name, megabytes(st.size))
            : QStringLiteral("the part %1 is too large").arg(name);
        return false;
    }
    zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        *error = QStringLiteral("the part %1 can't be read: %2")
                     .arg(name, QString::fromLocal8Bit(zip_error_strerror(zip_get_error(zip))));
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

bool signature(zip_t* zip, const QString& name, uint32_t* crc, uint64_t* size)
{
    const zip_int64_t index = zip_name_locate(zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
    zip_stat_t st;
    if (index < 0 || zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &st) != 0)
        return false;
    if (!(st.valid & ZIP_STAT_CRC) || !(st.valid & ZIP_STAT_SIZE))
        return false;
    *crc = st.crc;
    *size = st.size;
    return true;
}

} // namespace ZipEntry

} // namespace TARN
