#include "CompoundFile.h"

#include "LittleEndian.h"

#include <algorithm>
#include <functional>

namespace Workbook {

namespace {

const quint32 FreeSect = 0xFFFFFFFF;
const quint32 EndOfChain = 0xFFFFFFFE;
const quint32 FatSect = 0xFFFFFFFD;
const quint32 DifSect = 0xFFFFFFFC;
const quint32 NoStream = 0xFFFFFFFF;
const int SectorSize = 512;
const int MiniSectorSize = 64;
const quint32 MiniCutoff = 4096;
const char Signature[8] = { '\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1' };

// Directory order of sibling names: shorter first, then by upper-cased UTF-16 units.
bool nameLess(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    const QString ua = a.toUpper();
    const QString ub = b.toUpper();
    for (int i = 0; i < ua.size(); ++i)
        if (ua.at(i) != ub.at(i))
            return ua.at(i).unicode() < ub.at(i).unicode();
    return false;
}

} // namespace

bool CompoundFile::read(const QByteArray& input, QString* error)
{
    auto fail = [&](const char* why) {
        *error = QString::fromLatin1(why);
        return false;
    };
    if (input.size() < 512 || !input.startsWith(QByteArray(Signature, 8)))
        return fail("not a compound file");
    const int sectorShift = get16(input, 30);
    const int miniShift = get16(input, 32);
    if (sectorShift != 9 && sectorShift != 12)
        return fail("unsupported sector size");
    if (miniShift != 6)
        return fail("unsupported mini sector size");
    const qint64 sectorSize = qint64(1) << sectorShift;
    const qint64 miniSize = qint64(1) << miniShift;
    // A damaged or cut file may end inside a sector (or inside the header of a 4096-byte
    // sector file); padded to whole sectors, every sector below sectorCount can be read whole.
    QByteArray file = input;
    const qint64 wholeSectors = (file.size() + sectorSize - 1) / sectorSize;
    if (wholeSectors < 2)
        return fail("not a compound file");
    file.append(QByteArray(static_cast<int>(wholeSectors * sectorSize - file.size()), '\0'));
    const quint32 fatCount = get32(file, 44);
    const quint32 dirStart = get32(file, 48);
    const quint32 cutoff = get32(file, 56);
    const quint32 miniFatStart = get32(file, 60);
    quint32 difatNext = get32(file, 68);
    const qint64 sectorCount = (file.size() - sectorSize + sectorSize - 1) / sectorSize;
    auto sectorOffset = [&](quint32 s) { return (qint64(s) + 1) * sectorSize; };

    std::vector<quint32> fatSectors;
    for (int i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(get32(file, 76 + 4 * i));
    for (int guard = 0;
         difatNext != EndOfChain && difatNext != FreeSect && fatSectors.size() < fatCount;
         ++guard) {
        if (difatNext >= sectorCount || guard > sectorCount)
            return fail("broken sector allocation table");
        const qint64 at = sectorOffset(difatNext);
        for (qint64 i = 0; i < sectorSize / 4 - 1 && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(get32(file, at + 4 * i));
        difatNext = get32(file, at + sectorSize - 4);
    }
    std::vector<quint32> fat;
    for (const quint32 s : fatSectors) {
        if (s >= sectorCount)
            return fail("broken sector allocation table");
        for (qint64 i = 0; i < sectorSize / 4; ++i)
            fat.push_back(get32(file, sectorOffset(s) + 4 * i));
    }
    // A chain of sectors, read whole; false on loops and out-of-range links.
    auto chain = [&](quint32 start, const std::vector<quint32>& table, const QByteArray& source,
                     qint64 unit, bool mini, QByteArray* out) {
        out->clear();
        size_t steps = 0;
        for (quint32 s = start; s != EndOfChain; s = table[s]) {
            if (s >= table.size() || ++steps > table.size())
                return false;
            const qint64 at = mini ? qint64(s) * unit : (qint64(s) + 1) * unit;
            if (at + unit > source.size())
                out->append(source.mid(at));
            else
                out->append(source.constData() + at, static_cast<int>(unit));
        }
        return true;
    };
    QByteArray directory;
    if (!chain(dirStart, fat, file, sectorSize, false, &directory))
        return fail("broken directory chain");
    QByteArray miniFatBytes;
    if (miniFatStart != EndOfChain
        && !chain(miniFatStart, fat, file, sectorSize, false, &miniFatBytes))
        return fail("broken mini allocation table");
    std::vector<quint32> miniFat;
    for (int i = 0; i + 4 <= miniFatBytes.size(); i += 4)
        miniFat.push_back(get32(miniFatBytes, i));

    const int entryCount = directory.size() / 128;
    if (entryCount < 1)
        return fail("empty directory");
    QByteArray miniStream;
    if (!chain(get32(directory, 116), fat, file, sectorSize, false, &miniStream)
        && get32(directory, 116) != EndOfChain)
        return fail("broken mini stream");

    std::vector<bool> visited(static_cast<size_t>(entryCount), false);
    // Sibling links are followed before the entry is marked visited; a bound on the walk's
    // steps stops a link loop (a node that is its own left sibling) from recursing forever.
    int walkSteps = 0;
    // The entries of a tree of siblings, in order (left, node, right), into children.
    std::function<bool(quint32, std::vector<Entry>&)> walk;
    std::function<bool(quint32, Entry&)> load = [&](quint32 id, Entry& entry) -> bool {
        if (id >= static_cast<quint32>(entryCount) || visited[id])
            return false;
        visited[id] = true;
        const int at = static_cast<int>(id) * 128;
        const int nameBytes = std::min<int>(get16(directory, at + 64), 64);
        entry.name
            = QString::fromUtf16(reinterpret_cast<const char16_t*>(directory.constData() + at),
                std::max(nameBytes / 2 - 1, 0));
        const int type = static_cast<unsigned char>(directory.at(at + 66));
        entry.storage = type == 1 || type == 5;
        entry.clsid = directory.mid(at + 80, 16);
        entry.stateBits = get32(directory, at + 96);
        entry.times = directory.mid(at + 100, 16);
        const quint32 start = get32(directory, at + 116);
        const quint64 size
            = sectorShift == 9 ? get32(directory, at + 120) : get64(directory, at + 120);
        if (type == 2) {
            const bool mini = size < cutoff;
            if (size > 0) {
                const bool ok = mini
                    ? chain(start, miniFat, miniStream, miniSize, true, &entry.data)
                    : chain(start, fat, file, sectorSize, false, &entry.data);
                if (!ok || quint64(entry.data.size()) < size)
                    return false;
                entry.data.truncate(static_cast<int>(size));
            }
        }
        // Children of a storage: the tree below its child link.
        if (entry.storage && type != 5)
            return walk(get32(directory, at + 76), entry.children);
        return true;
    };
    walk = [&](quint32 node, std::vector<Entry>& children) -> bool {
        if (node == NoStream)
            return true;
        if (node >= static_cast<quint32>(entryCount) || ++walkSteps > entryCount)
            return false;
        if (!walk(get32(directory, static_cast<int>(node) * 128 + 68), children))
            return false;
        Entry child;
        if (!load(node, child))
            return false;
        children.push_back(child);
        return walk(get32(directory, static_cast<int>(node) * 128 + 72), children);
    };
    _root = Entry();
    if (!load(0, _root))
        return fail("broken directory");
    // The root's children are read through the same walk.
    std::vector<bool>(static_cast<size_t>(entryCount), false).swap(visited);
    walkSteps = 0;
    visited[0] = true;
    _root.children.clear();
    if (!walk(get32(directory, 76), _root.children))
        return fail("broken directory");
    _root.storage = true;
    _root.data.clear();
    return true;
}

CompoundFile::Entry* CompoundFile::stream(const QString& name)
{
    for (auto& child : _root.children)
        if (!child.storage && child.name.compare(name, Qt::CaseInsensitive) == 0)
            return &child;
    return nullptr;
}

const CompoundFile::Entry* CompoundFile::stream(const QString& name) const
{
    return const_cast<CompoundFile*>(this)->stream(name);
}

QByteArray CompoundFile::write() const
{
    // Flatten the tree: entry 0 is the root; each storage's children follow in name order.
    struct Flat {
        const Entry* entry;
        quint32 left = NoStream, right = NoStream, child = NoStream;
        quint32 start = EndOfChain;
        quint32 size = 0;
    };
    std::vector<Flat> flat;
    flat.push_back({ &_root });
    std::function<void(size_t)> addChildren = [&](size_t parent) {
        std::vector<const Entry*> kids;
        for (const auto& c : flat[parent].entry->children)
            kids.push_back(&c);
        std::sort(kids.begin(), kids.end(),
            [](const Entry* a, const Entry* b) { return nameLess(a->name, b->name); });
        const size_t first = flat.size();
        for (const auto* k : kids)
            flat.push_back({ k });
        // A balanced binary tree over the sorted siblings; all nodes black is a valid red-black
        // tree only when it is perfectly balanced in black height, so the tree is built from the
        // middle and nodes below the last complete level are made red.
        std::function<quint32(size_t, size_t, int)> build
            = [&](size_t lo, size_t hi, int depth) -> quint32 {
            if (lo >= hi)
                return NoStream;
            const size_t mid = lo + (hi - lo) / 2;
            flat[first + mid].left = build(lo, mid, depth + 1);
            flat[first + mid].right = build(mid + 1, hi, depth + 1);
            return static_cast<quint32>(first + mid);
        };
        flat[parent].child = build(0, kids.size(), 0);
        for (size_t i = 0; i < kids.size(); ++i)
            if (kids[i]->storage)
                addChildren(first + i);
    };
    addChildren(0);

    // Colours: black for nodes down to the shallowest leaf depth, red below, which keeps every
    // path's black count equal in a tree built from the middle.
    std::vector<unsigned char> colour(flat.size(), 1);
    std::function<int(quint32)> minDepth = [&](quint32 n) -> int {
        if (n == NoStream)
            return 0;
        return 1 + std::min(minDepth(flat[n].left), minDepth(flat[n].right));
    };
    std::function<void(quint32, int, int)> paint = [&](quint32 n, int depth, int blackDepth) {
        if (n == NoStream)
            return;
        colour[n] = depth < blackDepth ? 1 : 0;
        paint(flat[n].left, depth + 1, blackDepth);
        paint(flat[n].right, depth + 1, blackDepth);
    };
    for (const auto& f : flat)
        if (f.child != NoStream)
            paint(f.child, 0, minDepth(f.child));

    // Mini stream and regular streams.
    QByteArray miniStream;
    std::vector<quint32> miniFat;
    std::vector<std::pair<size_t, const QByteArray*>> big;
    for (size_t i = 1; i < flat.size(); ++i) {
        const Entry* e = flat[i].entry;
        if (e->storage)
            continue;
        flat[i].size = static_cast<quint32>(e->data.size());
        if (e->data.isEmpty())
            continue;
        if (static_cast<quint32>(e->data.size()) < MiniCutoff) {
            const quint32 first = static_cast<quint32>(miniFat.size());
            const int n = (e->data.size() + MiniSectorSize - 1) / MiniSectorSize;
            for (int k = 0; k < n; ++k)
                miniFat.push_back(k + 1 < n ? first + k + 1 : EndOfChain);
            flat[i].start = first;
            miniStream.append(e->data);
            miniStream.append(QByteArray(n * MiniSectorSize - e->data.size(), '\0'));
        } else {
            big.emplace_back(i, &e->data);
        }
    }

    std::vector<quint32> fat;
    QByteArray body;
    auto allocate = [&](const QByteArray& data) -> quint32 {
        if (data.isEmpty())
            return EndOfChain;
        const quint32 first = static_cast<quint32>(fat.size());
        const int n = (data.size() + SectorSize - 1) / SectorSize;
        for (int k = 0; k < n; ++k)
            fat.push_back(k + 1 < n ? first + k + 1 : EndOfChain);
        body.append(data);
        body.append(QByteArray(n * SectorSize - data.size(), '\0'));
        return first;
    };
    flat[0].start = allocate(miniStream);
    flat[0].size = static_cast<quint32>(miniStream.size());
    for (const auto& [index, data] : big)
        flat[index].start = allocate(*data);
    QByteArray miniFatBytes(static_cast<int>(miniFat.size() * 4), '\0');
    for (size_t k = 0; k < miniFat.size(); ++k)
        put32(miniFatBytes, static_cast<int>(k * 4), miniFat[k]);
    if (miniFatBytes.size() % SectorSize)
        miniFatBytes.append(QByteArray(SectorSize - miniFatBytes.size() % SectorSize, '\xFF'));
    const quint32 miniFatStart = allocate(miniFatBytes);
    const quint32 miniFatSectors = static_cast<quint32>(miniFatBytes.size() / SectorSize);

    QByteArray directory(static_cast<int>(((flat.size() + 3) / 4) * 4 * 128), '\0');
    for (size_t i = 0; i < flat.size(); ++i) {
        const int at = static_cast<int>(i) * 128;
        const Entry* e = flat[i].entry;
        const QString name = i == 0 ? QStringLiteral("Root Entry") : e->name.left(31);
        for (int k = 0; k < name.size(); ++k)
            put16(directory, at + 2 * k, name.at(k).unicode());
        put16(directory, at + 64, static_cast<quint16>((name.size() + 1) * 2));
        directory[at + 66] = static_cast<char>(i == 0 ? 5 : (e->storage ? 1 : 2));
        directory[at + 67] = static_cast<char>(i == 0 ? 1 : colour[i]);
        put32(directory, at + 68, flat[i].left);
        put32(directory, at + 72, flat[i].right);
        put32(directory, at + 76, flat[i].child);
        if (e->clsid.size() == 16)
            std::copy(e->clsid.begin(), e->clsid.end(), directory.begin() + at + 80);
        put32(directory, at + 96, e->stateBits);
        if (e->times.size() == 16 && i != 0)
            std::copy(e->times.begin(), e->times.end(), directory.begin() + at + 100);
        put32(directory, at + 116, e->storage && i != 0 ? 0 : flat[i].start);
        put32(directory, at + 120, e->storage && i != 0 ? 0 : flat[i].size);
    }
    for (size_t i = flat.size(); i < static_cast<size_t>(directory.size() / 128); ++i) {
        const int at = static_cast<int>(i) * 128;
        put32(directory, at + 68, NoStream);
        put32(directory, at + 72, NoStream);
        put32(directory, at + 76, NoStream);
    }
    const quint32 dirStart = allocate(directory);

    // FAT and DIFAT sectors also need FAT entries, so their number is found by iteration.
    const quint32 used = static_cast<quint32>(fat.size());
    quint32 fatSectors = 0;
    quint32 difatSectors = 0;
    for (;;) {
        const quint32 total = used + fatSectors + difatSectors;
        const quint32 needFat = (total + 127) / 128;
        const quint32 needDifat = needFat > 109 ? (needFat - 109 + 126) / 127 : 0;
        if (needFat == fatSectors && needDifat == difatSectors)
            break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    const quint32 fatStart = used;
    for (quint32 k = 0; k < fatSectors; ++k)
        fat.push_back(FatSect);
    const quint32 difatStart = static_cast<quint32>(fat.size());
    for (quint32 k = 0; k < difatSectors; ++k)
        fat.push_back(DifSect);
    fat.resize(fatSectors * 128, FreeSect);
    QByteArray fatBytes(static_cast<int>(fat.size() * 4), '\0');
    for (size_t k = 0; k < fat.size(); ++k)
        put32(fatBytes, static_cast<int>(k * 4), fat[k]);
    body.append(fatBytes);
    QByteArray difat(static_cast<int>(difatSectors * SectorSize), '\xFF');
    for (quint32 k = 109; k < fatSectors; ++k) {
        const quint32 slot = (k - 109) % 127;
        const quint32 sector = (k - 109) / 127;
        put32(difat, static_cast<int>(sector * SectorSize + slot * 4), fatStart + k);
    }
    for (quint32 s = 0; s < difatSectors; ++s)
        put32(difat, static_cast<int>(s * SectorSize + 508),
            s + 1 < difatSectors ? difatStart + s + 1 : EndOfChain);
    body.append(difat);

    QByteArray header(SectorSize, '\0');
    std::copy(Signature, Signature + 8, header.begin());
    put16(header, 24, 0x003E);
    put16(header, 26, 0x0003);
    put16(header, 28, 0xFFFE);
    put16(header, 30, 9);
    put16(header, 32, 6);
    put32(header, 44, fatSectors);
    put32(header, 48, dirStart);
    put32(header, 56, MiniCutoff);
    put32(header, 60, miniFatSectors ? miniFatStart : EndOfChain);
    put32(header, 64, miniFatSectors);
    put32(header, 68, difatSectors ? difatStart : EndOfChain);
    put32(header, 72, difatSectors);
    for (int k = 0; k < 109; ++k)
        put32(header, 76 + 4 * k, static_cast<quint32>(k) < fatSectors ? fatStart + k : FreeSect);
    return header + body;
}

} // namespace Workbook
