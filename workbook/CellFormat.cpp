#include "CellFormat.h"

#include <QCoreApplication>

#include <algorithm>
#include <charconv>
#include <string>

namespace Workbook {
namespace XlCell {

int serialOf(const QDate& date)
{
    if (!date.isValid() || date < QDate(1900, 1, 1))
        return 0;
    if (date < QDate(1900, 3, 1))
        return static_cast<int>(QDate(1899, 12, 31).daysTo(date));
    return static_cast<int>(QDate(1899, 12, 30).daysTo(date));
}

QString dateText(const QDate& date)
{
    // By hand: QDate::toString with a format goes through the locale, which is not safe on the
    // threads that write sheets side by side.
    if (!date.isValid())
        return QString();
    return QString::number(date.month()) + QLatin1Char('/')
        + QString::number(date.year()).rightJustified(4, QLatin1Char('0'));
}

size_t formatNumber(double value, char* buf)
{
    if (value == 0.0) { // also folds -0 into the "0" every reader shows
        buf[0] = '0';
        return 1;
    }
    const auto result = std::to_chars(buf, buf + 32, value);
    return static_cast<size_t>(result.ptr - buf);
}

char* appendColumnName(int column, char* out)
{
    char letters[4];
    int n = 0;
    int c = column + 1;
    while (c > 0 && n < 4) {
        const int rem = (c - 1) % 26;
        letters[n++] = static_cast<char>('A' + rem);
        c = (c - 1) / 26;
    }
    while (n > 0)
        *out++ = letters[--n];
    return out;
}

void appendColumnName(int column, std::string& out)
{
    char letters[4];
    out.append(letters, static_cast<size_t>(appendColumnName(column, letters) - letters));
}

QString unescapeText(const QString& text)
{
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('_') && i + 6 < text.size()
            && text.at(i + 1) == QLatin1Char('x') && text.at(i + 6) == QLatin1Char('_')) {
            bool ok = false;
            const ushort code = text.midRef(i + 2, 4).toUShort(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 6;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

bool parseRowNumber(std::string_view digits, int* row)
{
    if (digits.empty())
        return false;
    long long r = 0;
    for (const char ch : digits) {
        if (ch < '0' || ch > '9')
            return false;
        r = std::min<long long>(r * 10 + (ch - '0'), MaxRows + 1);
    }
    if (r < 1)
        return false;
    *row = static_cast<int>(r);
    return true;
}

bool parseCellRef(std::string_view ref, int* row, int* column)
{
    size_t i = 0;
    int c = 0;
    while (
        i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        c = std::min(c * 26 + ((ref[i] & ~0x20) - 'A' + 1), MaxColumns + 1);
        ++i;
    }
    int r = 0;
    if (c == 0 || !parseRowNumber(ref.substr(i), &r))
        return false;
    *row = r - 1;
    *column = c - 1;
    return true;
}

QString pastGridError()
{
    return QStringLiteral("the sheet has a cell past the last row or column of a worksheet "
                          "(XFD1048576)");
}

QString columnName(int column)
{
    std::string s;
    appendColumnName(column, s);
    return QString::fromLatin1(s.data(), static_cast<int>(s.size()));
}

QString sheetNameProblem(const QString& name)
{
    const char* context = "LibXlConnect";
    if (name.isEmpty())
        return QCoreApplication::translate(context, "a sheet name can't be empty");
    if (name.size() > 31)
        return QCoreApplication::translate(
            context, "a sheet name can't be longer than 31 characters");
    for (const QChar ch : name) {
        if (QStringLiteral("[]:*?/\\").contains(ch))
            return QCoreApplication::translate(
                context, "a sheet name can't contain any of [ ] : * ? / \\");
        if (ch.unicode() < 0x20)
            return QCoreApplication::translate(
                context, "a sheet name can't contain control characters");
    }
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
        return QCoreApplication::translate(
            context, "a sheet name can't begin or end with an apostrophe");
    return QString();
}

} // namespace XlCell
} // namespace Workbook
