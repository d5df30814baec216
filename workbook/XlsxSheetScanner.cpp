#include "XlsxSheetScanner.h"

#include "CellFormat.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

namespace Workbook {

namespace {

using namespace std::string_view_literals;

const size_t Chunk = 1 << 20;
// Longest run of text (or a single tag) held while looking for its end.
const size_t MaxToken = size_t(64) << 20;

void appendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x110000) {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Character data with its entity and character references resolved, appended to out.
void appendDecoded(std::string& out, std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(text.data() + i, text.size() - i);
            return;
        }
        out.append(text.data() + i, amp - i);
        const size_t semi = text.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 12) {
            out += '&';
            i = amp + 1;
            continue;
        }
        const std::string_view name = text.substr(amp + 1, semi - amp - 1);
        if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "amp")
            out += '&';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            uint32_t code = 0;
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const char* first = name.data() + (hex ? 2 : 1);
            const auto r = std::from_chars(first, name.data() + name.size(), code, hex ? 16 : 10);
            if (r.ec == std::errc() && r.ptr == name.data() + name.size())
                appendUtf8(out, code);
        } else {
            out.append(text.data() + amp, semi - amp + 1);
        }
        i = semi + 1;
    }
}

std::string_view localName(std::string_view qualified)
{
    const size_t colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Calls visit(name, value) with the local name and the raw (undecoded) value of each attribute
// of a start tag (the text between '<' and '>'), in order, until visit returns false or the tag
// ends or breaks off.
template<typename Visit>
void forEachAttribute(std::string_view tag, Visit&& visit)
{
    size_t i = 0;
    while (i < tag.size() && !isSpace(tag[i]))
        ++i; // the element name
    while (i < tag.size()) {
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        const size_t nameStart = i;
        while (i < tag.size() && tag[i] != '=' && !isSpace(tag[i]))
            ++i;
        const std::string_view attr = localName(tag.substr(nameStart, i - nameStart));
        while (i < tag.size() && (isSpace(tag[i]) || tag[i] == '='))
            ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
            return;
        const char quote = tag[i];
        const size_t valueStart = ++i;
        while (i < tag.size() && tag[i] != quote)
            ++i;
        const std::string_view value = tag.substr(valueStart, i - valueStart);
        ++i;
        if (!visit(attr, value))
            return;
    }
}

// The value of an attribute of a start tag, decoded; false when the tag doesn't have it.
// Matches the local name, so "r" also finds "x:r".
bool attribute(std::string_view tag, std::string_view name, std::string& value)
{
    bool found = false;
    forEachAttribute(tag, [&](std::string_view attr, std::string_view raw) {
        if (attr != name)
            return true;
        value.clear();
        appendDecoded(value, raw);
        found = true;
        return false;
    });
    return found;
}

// The r and t attributes of a <c> tag in one pass; values holding references are decoded into
// the scratch strings.
void cellAttributes(std::string_view tag, std::string_view* ref, std::string_view* type,
    std::string& refScratch, std::string& typeScratch)
{
    *ref = std::string_view();
    *type = std::string_view();
    forEachAttribute(tag, [&](std::string_view attr, std::string_view value) {
        std::string_view* target = attr == "r"sv ? ref : attr == "t"sv ? type : nullptr;
        if (!target)
            return true;
        if (value.find('&') == std::string_view::npos) {
            *target = trimmed(value);
        } else {
            std::string& scratch = target == ref ? refScratch : typeScratch;
            scratch.clear();
            appendDecoded(scratch, value);
            *target = trimmed(scratch);
        }
        return true;
    });
}

bool parseDouble(std::string_view text, double* value)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

} // namespace

bool XlsxSheetScanner::scan(const Source& source, const CellVisitor& visit, QString* error) const
{
    std::string buf;
    size_t pos = 0;
    bool eof = false;
    bool readFailed = false;
    // Reads more input behind what is held (dropping what was consumed); false at the end.
    auto more = [&]() {
        if (eof)
            return false;
        if (pos > 0) {
            buf.erase(0, pos);
            pos = 0;
        }
        if (buf.size() > MaxToken) {
            eof = true;
            return false;
        }
        const size_t old = buf.size();
        buf.resize(old + Chunk);
        const qint64 n = source(&buf[old], static_cast<qint64>(Chunk));
        buf.resize(old + static_cast<size_t>(std::max<qint64>(n, 0)));
        if (n <= 0) {
            readFailed = n < 0;
            eof = true;
            return false;
        }
        return true;
    };

    int row = -1;
    int column = -1;
    // The cell being read.
    int cellRow = 0;
    int cellColumn = 0;
    // The cell's type attribute (t).
    enum class Type { Number, Shared, Inline, FormulaText, Boolean, Error, Date };
    Type type = Type::Number;
    std::string typeText;
    std::string value; // <v>, decoded
    std::string inlineText; // the <t> runs of <is>
    bool hasValue = false;
    bool inCell = false;
    bool inInline = false;
    bool inPhonetic = false;
    std::string* capture = nullptr;
    std::string scratch;
    std::string refText;

    const QStringList* shared = nullptr;
    bool outside = false;
    auto emit = [&]() -> bool {
        if (cellRow >= XlCell::MaxRows || cellColumn >= XlCell::MaxColumns) {
            outside = true;
            return false;
        }
        if (type == Type::Inline)
            return visit(
                cellRow, cellColumn, ReadCell::Text, 0, XlCell::unescapeText(fromUtf8(inlineText)));
        if (!hasValue)
            return true;
        if (type == Type::Shared) {
            int index = -1;
            const std::string_view v = trimmed(value);
            std::from_chars(v.data(), v.data() + v.size(), index);
            if (!shared)
                shared = &_sharedStrings();
            return visit(cellRow, cellColumn, ReadCell::Text, 0, shared->value(index));
        }
        if (type == Type::FormulaText)
            return visit(
                cellRow, cellColumn, ReadCell::Text, 0, XlCell::unescapeText(fromUtf8(value)));
        if (type == Type::Date)
            return visit(cellRow, cellColumn, ReadCell::Text, 0, fromUtf8(value));
        if (type == Type::Boolean)
            return visit(
                cellRow, cellColumn, ReadCell::Boolean, trimmed(value) == "1"sv ? 1 : 0, QString());
        if (type == Type::Error)
            return visit(cellRow, cellColumn, ReadCell::Error, 0, fromUtf8(value));
        double number = 0;
        if (parseDouble(value, &number))
            return visit(cellRow, cellColumn, ReadCell::Number, number, QString());
        return visit(cellRow, cellColumn, ReadCell::Text, 0, fromUtf8(value));
    };

    // Why a cell ended the scan: the visitor said stop, or the cell lies outside the grid.
    auto stopped = [&]() { return outside ? XlCell::pastGridError() : QStringLiteral("stopped"); };

    for (;;) {
        // Character data up to the next markup.
        size_t lt = buf.find('<', pos);
        while (lt == std::string::npos) {
            if (!capture)
                pos = buf.size();
            if (!more()) {
                if (readFailed) {
                    *error = QStringLiteral("the sheet part can't be read");
                    return false;
                }
                if (capture || inCell) {
                    *error = QStringLiteral("the sheet part ends inside a cell");
                    return false;
                }
                return true;
            }
            lt = buf.find('<', pos);
        }
        if (capture)
            appendDecoded(*capture, std::string_view(buf).substr(pos, lt - pos));
        pos = lt;

        // The whole markup token; more input until its end is held.
        size_t end = std::string::npos;
        int kind = 0; // 0 tag, 1 comment, 2 CDATA, 3 processing instruction or declaration
        for (;;) {
            const std::string_view rest = std::string_view(buf).substr(pos);
            if (rest.size() >= 2) {
                const char second = rest[1];
                if (second == '!') {
                    if (rest.size() >= 4 && rest.substr(0, 4) == "<!--"sv) {
                        kind = 1;
                        const size_t e = rest.find("-->"sv, 4);
                        end = e == std::string_view::npos ? e : pos + e + 3;
                    } else if (rest.size() >= 9 && rest.substr(0, 9) == "<![CDATA["sv) {
                        kind = 2;
                        const size_t e = rest.find("]]>"sv, 9);
                        end = e == std::string_view::npos ? e : pos + e + 3;
                    } else if (rest.size() >= 9) {
                        kind = 3;
                        const size_t e = rest.find('>', 2);
                        end = e == std::string_view::npos ? e : pos + e + 1;
                    }
                } else if (second == '?') {
                    kind = 3;
                    const size_t e = rest.find("?>"sv, 2);
                    end = e == std::string_view::npos ? e : pos + e + 2;
                } else {
                    kind = 0;
                    // A quote may hold a '>'; most tags have few characters to look through.
                    const char* p = rest.data() + 1;
                    const char* const stop = rest.data() + rest.size();
                    char quote = 0;
                    for (; p < stop; ++p) {
                        const char c = *p;
                        if (quote) {
                            if (c == quote)
                                quote = 0;
                        } else if (c == '"' || c == '\'') {
                            quote = c;
                        } else if (c == '>') {
                            end = pos + static_cast<size_t>(p - rest.data()) + 1;
                            break;
                        }
                    }
                }
            }
            if (end != std::string::npos)
                break;
            const size_t held = buf.size() - pos;
            if (!more()) {
                *error = readFailed ? QStringLiteral("the sheet part can't be read")
                                    : QStringLiteral("the sheet part ends inside markup");
                return false;
            }
            if (held > MaxToken) {
                *error = QStringLiteral("the sheet part holds markup that is too long");
                return false;
            }
        }
        const std::string_view token = std::string_view(buf).substr(pos, end - pos);
        pos = end;
        if (kind == 1 || kind == 3)
            continue;
        if (kind == 2) {
            if (capture)
                capture->append(token.data() + 9, token.size() - 12);
            continue;
        }

        if (token[1] == '/') {
            const std::string_view name = localName(trimmed(token.substr(2, token.size() - 3)));
            if (name == "c"sv) {
                if (inCell && !emit()) {
                    *error = stopped();
                    return false;
                }
                inCell = false;
                capture = nullptr;
            } else if (name == "v"sv || name == "f"sv) {
                capture = nullptr;
            } else if (name == "t"sv) {
                if (capture == &scratch)
                    inlineText += scratch;
                capture = nullptr;
            } else if (name == "is"sv) {
                inInline = false;
            } else if (name == "rPh"sv) {
                inPhonetic = false;
            } else if (name == "sheetData"sv) {
                return true;
            }
            continue;
        }

        const bool selfClosing = token.size() >= 2 && token[token.size() - 2] == '/';
        const std::string_view inner = token.substr(1, token.size() - (selfClosing ? 3 : 2));
        size_t nameEnd = 0;
        while (nameEnd < inner.size() && !isSpace(inner[nameEnd]))
            ++nameEnd;
        const std::string_view name = localName(inner.substr(0, nameEnd));
        if (name == "row"sv) {
            int r = 0;
            if (attribute(inner, "r"sv, refText) && XlCell::parseRowNumber(trimmed(refText), &r))
                row = r - 1;
            else
                row = std::min(row + 1, XlCell::MaxRows);
            column = -1;
        } else if (name == "c"sv) {
            std::string_view ref;
            std::string_view typeName;
            cellAttributes(inner, &ref, &typeName, refText, typeText);
            int r = row;
            int c = column + 1;
            if (ref.empty() || !XlCell::parseCellRef(ref, &r, &c)) {
                r = std::max(row, 0);
                c = std::min(column + 1, XlCell::MaxColumns);
            }
            column = c;
            type = Type::Number;
            if (typeName == "s"sv)
                type = Type::Shared;
            else if (typeName == "inlineStr"sv)
                type = Type::Inline;
            else if (typeName == "str"sv)
                type = Type::FormulaText;
            else if (typeName == "b"sv)
                type = Type::Boolean;
            else if (typeName == "e"sv)
                type = Type::Error;
            else if (typeName == "d"sv)
                type = Type::Date;
            cellRow = r;
            cellColumn = c;
            hasValue = false;
            value.clear();
            inlineText.clear();
            inCell = !selfClosing;
            inInline = false;
            inPhonetic = false;
            capture = nullptr;
            // Most cells are <c ...><v>text</v></c>: taken in one step when all of it is held.
            if (inCell) {
                const std::string_view rest = std::string_view(buf).substr(pos);
                if (rest.size() > 3 && rest.substr(0, 3) == "<v>"sv) {
                    const size_t lt = rest.find('<', 3);
                    if (lt != std::string_view::npos && rest.size() >= lt + 8
                        && rest.substr(lt, 8) == "</v></c>"sv) {
                        const std::string_view text = rest.substr(3, lt - 3);
                        if (text.find('&') == std::string_view::npos) {
                            value.assign(text.data(), text.size());
                            hasValue = true;
                            pos += lt + 8;
                            inCell = false;
                            if (!emit()) {
                                *error = stopped();
                                return false;
                            }
                        }
                    }
                }
            }
        } else if (!inCell || selfClosing) {
            continue;
        } else if (name == "v"sv) {
            value.clear();
            hasValue = true;
            capture = &value;
        } else if (name == "f"sv) {
            capture = nullptr;
        } else if (name == "is"sv) {
            inInline = true;
        } else if (name == "rPh"sv) {
            inPhonetic = true;
        } else if (name == "t" && inInline && !inPhonetic) {
            scratch.clear();
            capture = &scratch;
        }
    }
}

} // namespace Workbook
