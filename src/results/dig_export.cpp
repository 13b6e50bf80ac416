#include "results/dig_export.h"

#include "base/errors.h"
#include "results/ordering.h"

#include <QFileInfo>
#include <QHash>
#include <QPair>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <array>
#include <unordered_set>

namespace {

// The named references of HTML 4 (what entity-encoding page generators emit), plus &apos;.
struct NamedReference {
    const char16_t* name;
    char32_t code;
};
constexpr NamedReference kNamedReferences[] = {
    {u"AElig", 0x00C6},   {u"Aacute", 0x00C1},  {u"Acirc", 0x00C2},    {u"Agrave", 0x00C0},
    {u"Alpha", 0x0391},   {u"Aring", 0x00C5},   {u"Atilde", 0x00C3},   {u"Auml", 0x00C4},
    {u"Beta", 0x0392},    {u"Ccedil", 0x00C7},  {u"Chi", 0x03A7},      {u"Dagger", 0x2021},
    {u"Delta", 0x0394},   {u"ETH", 0x00D0},     {u"Eacute", 0x00C9},   {u"Ecirc", 0x00CA},
    {u"Egrave", 0x00C8},  {u"Epsilon", 0x0395}, {u"Eta", 0x0397},      {u"Euml", 0x00CB},
    {u"Gamma", 0x0393},   {u"Iacute", 0x00CD},  {u"Icirc", 0x00CE},    {u"Igrave", 0x00CC},
    {u"Iota", 0x0399},    {u"Iuml", 0x00CF},    {u"Kappa", 0x039A},    {u"Lambda", 0x039B},
    {u"Mu", 0x039C},      {u"Ntilde", 0x00D1},  {u"Nu", 0x039D},       {u"OElig", 0x0152},
    {u"Oacute", 0x00D3},  {u"Ocirc", 0x00D4},   {u"Ograve", 0x00D2},   {u"Omega", 0x03A9},
    {u"Omicron", 0x039F}, {u"Oslash", 0x00D8},  {u"Otilde", 0x00D5},   {u"Ouml", 0x00D6},
    {u"Phi", 0x03A6},     {u"Pi", 0x03A0},      {u"Prime", 0x2033},    {u"Psi", 0x03A8},
    {u"Rho", 0x03A1},     {u"Scaron", 0x0160},  {u"Sigma", 0x03A3},    {u"THORN", 0x00DE},
    {u"Tau", 0x03A4},     {u"Theta", 0x0398},   {u"Uacute", 0x00DA},   {u"Ucirc", 0x00DB},
    {u"Ugrave", 0x00D9},  {u"Upsilon", 0x03A5}, {u"Uuml", 0x00DC},     {u"Xi", 0x039E},
    {u"Yacute", 0x00DD},  {u"Yuml", 0x0178},    {u"Zeta", 0x0396},     {u"aacute", 0x00E1},
    {u"acirc", 0x00E2},   {u"acute", 0x00B4},   {u"aelig", 0x00E6},    {u"agrave", 0x00E0},
    {u"alefsym", 0x2135}, {u"alpha", 0x03B1},   {u"amp", 0x0026},      {u"and", 0x2227},
    {u"ang", 0x2220},     {u"apos", 0x0027},    {u"aring", 0x00E5},    {u"asymp", 0x2248},
    {u"atilde", 0x00E3},  {u"auml", 0x00E4},    {u"bdquo", 0x201E},    {u"beta", 0x03B2},
    {u"brvbar", 0x00A6},  {u"bull", 0x2022},    {u"cap", 0x2229},      {u"ccedil", 0x00E7},
    {u"cedil", 0x00B8},   {u"cent", 0x00A2},    {u"chi", 0x03C7},      {u"circ", 0x02C6},
    {u"clubs", 0x2663},   {u"cong", 0x2245},    {u"copy", 0x00A9},     {u"crarr", 0x21B5},
    {u"cup", 0x222A},     {u"curren", 0x00A4},  {u"dArr", 0x21D3},     {u"dagger", 0x2020},
    {u"darr", 0x2193},    {u"deg", 0x00B0},     {u"delta", 0x03B4},    {u"diams", 0x2666},
    {u"divide", 0x00F7},  {u"eacute", 0x00E9},  {u"ecirc", 0x00EA},    {u"egrave", 0x00E8},
    {u"empty", 0x2205},   {u"emsp", 0x2003},    {u"ensp", 0x2002},     {u"epsilon", 0x03B5},
    {u"equiv", 0x2261},   {u"eta", 0x03B7},     {u"eth", 0x00F0},      {u"euml", 0x00EB},
    {u"euro", 0x20AC},    {u"exist", 0x2203},   {u"fnof", 0x0192},     {u"forall", 0x2200},
    {u"frac12", 0x00BD},  {u"frac14", 0x00BC},  {u"frac34", 0x00BE},   {u"frasl", 0x2044},
    {u"gamma", 0x03B3},   {u"ge", 0x2265},      {u"gt", 0x003E},       {u"hArr", 0x21D4},
    {u"harr", 0x2194},    {u"hearts", 0x2665},  {u"hellip", 0x2026},   {u"iacute", 0x00ED},
    {u"icirc", 0x00EE},   {u"iexcl", 0x00A1},   {u"igrave", 0x00EC},   {u"image", 0x2111},
    {u"infin", 0x221E},   {u"int", 0x222B},     {u"iota", 0x03B9},     {u"iquest", 0x00BF},
    {u"isin", 0x2208},    {u"iuml", 0x00EF},    {u"kappa", 0x03BA},    {u"lArr", 0x21D0},
    {u"lambda", 0x03BB},  {u"lang", 0x2329},    {u"laquo", 0x00AB},    {u"larr", 0x2190},
    {u"lceil", 0x2308},   {u"ldquo", 0x201C},   {u"le", 0x2264},       {u"lfloor", 0x230A},
    {u"lowast", 0x2217},  {u"loz", 0x25CA},     {u"lrm", 0x200E},      {u"lsaquo", 0x2039},
    {u"lsquo", 0x2018},   {u"lt", 0x003C},      {u"macr", 0x00AF},     {u"mdash", 0x2014},
    {u"micro", 0x00B5},   {u"middot", 0x00B7},  {u"minus", 0x2212},    {u"mu", 0x03BC},
    {u"nabla", 0x2207},   {u"nbsp", 0x00A0},    {u"ndash", 0x2013},    {u"ne", 0x2260},
    {u"ni", 0x220B},      {u"not", 0x00AC},     {u"notin", 0x2209},    {u"nsub", 0x2284},
    {u"ntilde", 0x00F1},  {u"nu", 0x03BD},      {u"oacute", 0x00F3},   {u"ocirc", 0x00F4},
    {u"oelig", 0x0153},   {u"ograve", 0x00F2},  {u"oline", 0x203E},    {u"omega", 0x03C9},
    {u"omicron", 0x03BF}, {u"oplus", 0x2295},   {u"or", 0x2228},       {u"ordf", 0x00AA},
    {u"ordm", 0x00BA},    {u"oslash", 0x00F8},  {u"otilde", 0x00F5},   {u"otimes", 0x2297},
    {u"ouml", 0x00F6},    {u"para", 0x00B6},    {u"part", 0x2202},     {u"permil", 0x2030},
    {u"perp", 0x22A5},    {u"phi", 0x03C6},     {u"pi", 0x03C0},       {u"piv", 0x03D6},
    {u"plusmn", 0x00B1},  {u"pound", 0x00A3},   {u"prime", 0x2032},    {u"prod", 0x220F},
    {u"prop", 0x221D},    {u"psi", 0x03C8},     {u"quot", 0x0022},     {u"rArr", 0x21D2},
    {u"radic", 0x221A},   {u"rang", 0x232A},    {u"raquo", 0x00BB},    {u"rarr", 0x2192},
    {u"rceil", 0x2309},   {u"rdquo", 0x201D},   {u"real", 0x211C},     {u"reg", 0x00AE},
    {u"rfloor", 0x230B},  {u"rho", 0x03C1},     {u"rlm", 0x200F},      {u"rsaquo", 0x203A},
    {u"rsquo", 0x2019},   {u"sbquo", 0x201A},   {u"scaron", 0x0161},   {u"sdot", 0x22C5},
    {u"sect", 0x00A7},    {u"shy", 0x00AD},     {u"sigma", 0x03C3},    {u"sigmaf", 0x03C2},
    {u"sim", 0x223C},     {u"spades", 0x2660},  {u"sub", 0x2282},      {u"sube", 0x2286},
    {u"sum", 0x2211},     {u"sup", 0x2283},     {u"sup1", 0x00B9},     {u"sup2", 0x00B2},
    {u"sup3", 0x00B3},    {u"supe", 0x2287},    {u"szlig", 0x00DF},    {u"tau", 0x03C4},
    {u"there4", 0x2234},  {u"theta", 0x03B8},   {u"thetasym", 0x03D1}, {u"thinsp", 0x2009},
    {u"thorn", 0x00FE},   {u"tilde", 0x02DC},   {u"times", 0x00D7},    {u"trade", 0x2122},
    {u"uArr", 0x21D1},    {u"uacute", 0x00FA},  {u"uarr", 0x2191},     {u"ucirc", 0x00FB},
    {u"ugrave", 0x00F9},  {u"uml", 0x00A8},     {u"upsih", 0x03D2},    {u"upsilon", 0x03C5},
    {u"uuml", 0x00FC},    {u"weierp", 0x2118},  {u"xi", 0x03BE},       {u"yacute", 0x00FD},
    {u"yen", 0x00A5},     {u"yuml", 0x00FF},    {u"zeta", 0x03B6},     {u"zwj", 0x200D},
    {u"zwnj", 0x200C},
};

// Browsers read &#128; to &#159; as windows-1252, and old pages rely on it (&#150; for a dash).
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::optional<char32_t> namedReference(QStringView name) {
    static const QHash<QString, char32_t> table = [] {
        QHash<QString, char32_t> t;
        for (const NamedReference& r : kNamedReferences)
            t.insert(QString::fromUtf16(r.name), r.code);
        return t;
    }();
    const auto it = table.constFind(name.toString());
    if (it == table.constEnd())
        return std::nullopt;
    return *it;
}

bool isAsciiAlnum(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

int digitValue(QChar c, int base) {
    const char16_t u = c.unicode();
    int v = 99;
    if (u >= u'0' && u <= u'9')
        v = u - u'0';
    else if (u >= u'a' && u <= u'f')
        v = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        v = u - u'A' + 10;
    return v < base ? v : -1;
}

// The reference that starts at text[at] ('&'): its character and the index after its ';'.
std::optional<QPair<char32_t, qsizetype>> referenceAt(const QString& text, qsizetype at) {
    const qsizetype n = text.size();
    qsizetype i = at + 1;
    if (i < n && text[i] == u'#') {
        ++i;
        int base = 10;
        if (i < n && (text[i] == u'x' || text[i] == u'X')) {
            base = 16;
            ++i;
        }
        const qsizetype digits = i;
        char32_t value = 0;
        bool tooLarge = false;
        for (int d; i < n && (d = digitValue(text[i], base)) >= 0; ++i) {
            value = value * char32_t(base) + char32_t(d);
            if (value > 0x10FFFF) {
                tooLarge = true;
                value = 0x110000;
            }
        }
        if (i == digits || i == n || text[i] != u';')
            return std::nullopt;
        if (tooLarge || value == 0 || (value >= 0xD800 && value <= 0xDFFF))
            return std::nullopt;
        if (value >= 0x80 && value <= 0x9F)
            value = kWindows1252[value - 0x80];
        return QPair<char32_t, qsizetype>(value, i + 1);
    }
    const qsizetype start = i;
    while (i < n && isAsciiAlnum(text[i]))
        ++i;
    if (i == start || i == n || text[i] != u';')
        return std::nullopt;
    const std::optional<char32_t> code = namedReference(QStringView(text).mid(start, i - start));
    if (!code)
        return std::nullopt;
    return QPair<char32_t, qsizetype>(*code, i + 1);
}

void appendCodePoint(QString& out, char32_t code) {
    if (QChar::requiresSurrogates(code)) {
        out += QChar(QChar::highSurrogate(code));
        out += QChar(QChar::lowSurrogate(code));
    } else {
        out += QChar(char16_t(code));
    }
}

// ---- the columns ----

enum class Kind { Text, Integer, Long };

struct Column {
    const char* name;
    Kind kind;
};

constexpr std::array<Column, 11> kColumns = {{
    {"position", Kind::Integer},
    {"id", Kind::Text},
    {"title", Kind::Text},
    {"length", Kind::Text},
    {"seconds", Kind::Long},
    {"views", Kind::Text},
    {"view_count", Kind::Long},
    {"level", Kind::Integer},
    {"found_via", Kind::Text},
    {"times_listed", Kind::Integer},
    {"thumbnail", Kind::Text},
}};

// One cell: text for text columns, a number (or none) for numeric ones.
struct Cell {
    QString text;
    std::optional<qint64> number;
};
using Cells = std::array<Cell, kColumns.size()>;

std::optional<qint64> seconds(const QString& length) {
    try {
        return lengthKey(length);
    } catch (const AppError&) {
        return std::nullopt;
    }
}

// A level or count below 1 marks a row whose origin is not known.
std::optional<qint64> positive(int value) {
    return value >= 1 ? std::optional<qint64>(value) : std::nullopt;
}

Cells cellsOf(const DigRow& row, qsizetype position) {
    const RelatedVideo& v = row.video;
    return {{
        {{}, position},
        {v.id, {}},
        {decodeCharacterReferences(v.title), {}},
        {v.length, {}},
        {{}, seconds(v.length)},
        {v.views, {}},
        {{}, viewCountKey(v.views)},
        {{}, positive(row.level)},
        {row.foundVia, {}},
        {{}, positive(row.timesListed)},
        {QStringLiteral("http:") + v.thumb, {}},
    }};
}

// The edges between nodes, each (source, target) pair once.
std::vector<const DigEdge*> keptEdges(const DigTable& table) {
    QHash<QString, quint32> nodes;
    nodes.reserve(qsizetype(table.rows.size()) + 1);
    nodes.insert(table.start, 0);
    for (const DigRow& row : table.rows) {
        if (!nodes.contains(row.video.id))
            nodes.insert(row.video.id, quint32(nodes.size()));
    }
    std::unordered_set<quint64> seen;
    seen.reserve(table.edges.size());
    std::vector<const DigEdge*> kept;
    kept.reserve(table.edges.size());
    for (const DigEdge& edge : table.edges) {
        const auto source = nodes.constFind(edge.source);
        const auto target = nodes.constFind(edge.target);
        if (source == nodes.constEnd() || target == nodes.constEnd())
            continue;
        if (seen.insert(quint64(*source) << 32 | *target).second)
            kept.push_back(&edge);
    }
    return kept;
}

// ---- CSV ----

void appendCsvField(QByteArray& out, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') &&
        !bytes.contains('\n')) {
        out += bytes;
        return;
    }
    out += '"';
    for (const char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

QByteArray exportCsv(const DigTable& table) {
    // Lines end in CRLF as RFC 4180 has it; spreadsheets and CSV readers take both.
    QByteArray out;
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        if (c)
            out += ',';
        out += kColumns[c].name;
    }
    out += "\r\n";
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const Cells cells = cellsOf(table.rows[r], qsizetype(r) + 1);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c)
                out += ',';
            if (kColumns[c].kind == Kind::Text)
                appendCsvField(out, cells[c].text);
            else if (cells[c].number)
                out += QByteArray::number(*cells[c].number);
        }
        out += "\r\n";
    }
    return out;
}

// ---- JSON ----

void appendJsonString(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    const QByteArray bytes = text.toUtf8();
    out += '"';
    if (std::none_of(bytes.begin(), bytes.end(), [](char c) {
            return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
        })) {
        out += bytes;
        out += '"';
        return;
    }
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20) {
                    out += "\\u00";
                    out += hex[u >> 4];
                    out += hex[u & 15];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

QByteArray exportJson(const DigTable& table) {
    // Written by hand: view counts are 64-bit and must not pass through a double.
    QByteArray out = "{\n  \"start\": ";
    appendJsonString(out, table.start);
    out += ",\n  \"depth\": " + QByteArray::number(table.depth);
    out += ",\n  \"interrupted\": ";
    out += table.interrupted ? "true" : "false";
    out += ",\n  \"rows\": [";
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        out += r ? ",\n    {" : "\n    {";
        const Cells cells = cellsOf(table.rows[r], qsizetype(r) + 1);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c)
                out += ", ";
            out += '"';
            out += kColumns[c].name;
            out += "\": ";
            if (kColumns[c].kind == Kind::Text)
                appendJsonString(out, cells[c].text);
            else
                out += cells[c].number ? QByteArray::number(*cells[c].number) : "null";
        }
        out += '}';
    }
    out += table.rows.empty() ? "],\n  \"edges\": [" : "\n  ],\n  \"edges\": [";
    const std::vector<const DigEdge*> edges = keptEdges(table);
    for (std::size_t e = 0; e < edges.size(); ++e) {
        out += e ? ",\n    {\"source\": " : "\n    {\"source\": ";
        appendJsonString(out, edges[e]->source);
        out += ", \"target\": ";
        appendJsonString(out, edges[e]->target);
        out += '}';
    }
    out += edges.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

// ---- GEXF ----

// Attribute-value text: XML 1.0 has no place for most control characters, and tabs and line
// breaks in attributes must be escaped to survive.
QByteArray xmlText(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    // 0xEF leads U+FFFE and U+FFFF, which XML does not allow either.
    const auto special = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0xEF || c == '&' || c == '<' || c == '>' || c == '"';
    };
    if (std::none_of(bytes.begin(), bytes.end(), special))
        return bytes;
    QByteArray out;
    out.reserve(bytes.size() + 16);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\t':
                out += "&#9;";
                break;
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\xEF\xBF\xBD";
                } else if (bytes.mid(i, 3) == "\xEF\xBF\xBE" || bytes.mid(i, 3) == "\xEF\xBF\xBF") {
                    out += "\xEF\xBF\xBD";
                    i += 2;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

const char* gexfType(Kind kind) {
    switch (kind) {
        case Kind::Integer:
            return "integer";
        case Kind::Long:
            return "long";
        case Kind::Text:
            break;
    }
    return "string";
}

void appendAttValue(QByteArray& out, std::size_t column, const QByteArray& value) {
    out += "          <attvalue for=\"";
    out += QByteArray::number(qulonglong(column));
    out += "\" value=\"";
    out += value;
    out += "\"/>\n";
}

QByteArray exportGexf(const DigTable& table) {
    // The 1.2 namespace is the "draft" one: it is what Gephi writes and networkx reads.
    QByteArray out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gexf xmlns=\"http://www.gexf.net/1.2draft\" version=\"1.2\">\n"
        "  <meta>\n"
        "    <creator>Clipvane</creator>\n"
        "    <description>Related videos of " +
        xmlText(table.start) + ", depth " + QByteArray::number(table.depth) +
        (table.interrupted ? ", interrupted" : "") +
        "</description>\n"
        "  </meta>\n"
        "  <graph mode=\"static\" defaultedgetype=\"directed\">\n"
        "    <attributes class=\"node\" mode=\"static\">\n";
    for (std::size_t c = 0; c < kColumns.size(); ++c)
        out += "      <attribute id=\"" + QByteArray::number(qulonglong(c)) + "\" title=\"" +
               kColumns[c].name + "\" type=\"" + gexfType(kColumns[c].kind) + "\"/>\n";
    out += "    </attributes>\n    <nodes>\n";

    // A video the start page lists twice is one node, described by its first row.
    QSet<QString> written;
    bool startIsRow = false;
    for (const DigRow& row : table.rows)
        startIsRow = startIsRow || row.video.id == table.start;
    const std::vector<const DigEdge*> edges = keptEdges(table);
    if (!startIsRow) {
        int timesListed = 0;
        for (const DigEdge* edge : edges)
            timesListed += edge->target == table.start;
        const QByteArray id = xmlText(table.start);
        out += "      <node id=\"" + id + "\" label=\"" + id + "\">\n        <attvalues>\n";
        appendAttValue(out, 1, id);
        // Level 0: the page the dig began with.
        appendAttValue(out, 7, "0");
        appendAttValue(out, 9, QByteArray::number(timesListed));
        out += "        </attvalues>\n      </node>\n";
        written.insert(table.start);
    }
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const DigRow& row = table.rows[r];
        if (written.contains(row.video.id))
            continue;
        written.insert(row.video.id);
        const Cells cells = cellsOf(row, qsizetype(r) + 1);
        out += "      <node id=\"";
        out += xmlText(row.video.id);
        out += "\" label=\"";
        out += xmlText(cells[2].text);
        out += "\">\n        <attvalues>\n";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (kColumns[c].kind == Kind::Text)
                appendAttValue(out, c, xmlText(cells[c].text));
            else if (cells[c].number)
                appendAttValue(out, c, QByteArray::number(*cells[c].number));
        }
        out += "        </attvalues>\n      </node>\n";
    }
    out += "    </nodes>\n    <edges>\n";
    for (std::size_t e = 0; e < edges.size(); ++e) {
        out += "      <edge id=\"";
        out += QByteArray::number(qulonglong(e));
        out += "\" source=\"";
        out += xmlText(edges[e]->source);
        out += "\" target=\"";
        out += xmlText(edges[e]->target);
        out += "\" weight=\"1\"/>\n";
    }
    out += "    </edges>\n  </graph>\n</gexf>\n";
    return out;
}

}  // namespace

std::optional<ExportFormat> exportFormatNamed(const QString& name) {
    const QString lower = name.toLower();
    if (lower == QLatin1String("csv"))
        return ExportFormat::Csv;
    if (lower == QLatin1String("json"))
        return ExportFormat::Json;
    if (lower == QLatin1String("gexf"))
        return ExportFormat::Gexf;
    return std::nullopt;
}

ExportFormat exportFormatForPath(const QString& path) {
    return exportFormatNamed(QFileInfo(path).suffix()).value_or(ExportFormat::Csv);
}

DigTable digTable(const DigEngine& engine, int depth, bool interrupted) {
    DigTable table;
    table.start = engine.startId();
    table.depth = depth;
    table.interrupted = interrupted;
    table.rows = engine.rows();
    // The engine counts later listings on a video's first row only; a video the start page
    // lists twice gets the same count on both rows.
    for (DigRow& row : table.rows) {
        if (const DigRow* first = engine.find(row.video.id))
            row.timesListed = first->timesListed;
    }
    table.edges = engine.edges();
    return table;
}

QByteArray exportDig(const DigTable& table, ExportFormat format) {
    switch (format) {
        case ExportFormat::Csv:
            return exportCsv(table);
        case ExportFormat::Json:
            return exportJson(table);
        case ExportFormat::Gexf:
            return exportGexf(table);
    }
    return {};
}

QString decodeCharacterReferences(const QString& text) {
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (text[i] == u'&') {
            if (const auto reference = referenceAt(text, i)) {
                appendCodePoint(out, reference->first);
                i = reference->second;
                continue;
            }
        }
        out += text[i];
        ++i;
    }
    return out;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    auto fail = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    if (file.write(bytes) != bytes.size())
        return fail();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
