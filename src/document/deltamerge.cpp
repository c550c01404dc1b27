#include "deltamerge.h"

#include "delta.h"
#include "unitdiff.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

// Unit keys: a character is its code point; an embed is kEmbedBase plus its
// index in the embed table, so equal embeds compare equal as integers.
constexpr int kEmbedBase = 0x110000;

// Attribute objects and embeds are interned once per merge, so the diff and
// the merge compare integers rather than JSON.
struct Tables
{
    QHash<QString, int> attributeIds;
    QList<QJsonObject> attributes{QJsonObject()};
    QList<std::pair<QJsonObject, int>> recentAttributes;
    QHash<QString, int> embedIds;
    QList<QJsonObject> embeds;

    int internAttributes(const QJsonObject &object)
    {
        if (object.isEmpty())
            return 0;
        // A note uses a handful of attribute sets: comparing with the recent
        // ones is cheaper than writing each out as JSON.
        for (const auto &[recent, id] : recentAttributes) {
            if (recent == object)
                return id;
        }
        const QString key = compactJson(object);
        auto it = attributeIds.constFind(key);
        if (it == attributeIds.cend()) {
            attributes.append(object);
            it = attributeIds.insert(key, int(attributes.size()) - 1);
        }
        if (recentAttributes.size() < 16)
            recentAttributes.append({object, *it});
        return *it;
    }

    int internEmbed(const QJsonObject &object)
    {
        const QString key = compactJson(object);
        const auto it = embedIds.constFind(key);
        if (it != embedIds.cend())
            return *it;
        embeds.append(object);
        return embedIds.insert(key, int(embeds.size()) - 1).value();
    }
};

struct Units
{
    QList<int> keys;
    QList<int> attributes;
};

// Reads the ops as parseDelta does, without building DeltaOps: this runs
// over three whole notes per merge.
Units flatten(const QJsonArray &ops, qsizetype sizeHint, Tables &tables)
{
    Units units;
    units.keys.reserve(sizeHint);
    units.attributes.reserve(sizeHint);
    const QString insertKey = QStringLiteral("insert");
    const QString attributesKey = QStringLiteral("attributes");
    for (const QJsonValue &value : ops) {
        if (!value.isObject())
            continue;
        const QJsonObject op = value.toObject();
        const QJsonValue insert = op.value(insertKey);
        const int attributes = tables.internAttributes(op.value(attributesKey).toObject());
        if (insert.isObject()) {
            units.keys.append(kEmbedBase + tables.internEmbed(insert.toObject()));
            units.attributes.append(attributes);
            continue;
        }
        // Retain and delete never occur in a stored body; they hold no units.
        const QString text = insert.toString();
        for (qsizetype i = 0; i < text.size(); ++i) {
            int key = text.at(i).unicode();
            if (QChar::isHighSurrogate(char16_t(key)) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                key = int(QChar::surrogateToUcs4(text.at(i), text.at(i + 1)));
                ++i;
            }
            units.keys.append(key);
            units.attributes.append(attributes);
        }
    }
    return units;
}

// One side's edit: base units [baseBegin, baseEnd) become the side's units
// [sideBegin, sideEnd). An empty base range is a pure insertion.
struct Hunk
{
    int baseBegin = 0;
    int baseEnd = 0;
    int sideBegin = 0;
    int sideEnd = 0;
    bool remote = false;

    bool isInsertion() const { return baseBegin == baseEnd; }
};

void collectHunks(const QList<int> &match, int sideSize, bool remote, QList<Hunk> &hunks)
{
    const int baseSize = int(match.size());
    int i = 0;
    int j = 0;
    while (i < baseSize || j < sideSize) {
        if (i < baseSize && match[i] == j) {
            ++i;
            ++j;
            continue;
        }
        Hunk hunk;
        hunk.baseBegin = i;
        while (i < baseSize && match[i] < 0)
            ++i;
        hunk.baseEnd = i;
        hunk.sideBegin = j;
        j = i < baseSize ? match[i] : sideSize;
        hunk.sideEnd = j;
        hunk.remote = remote;
        hunks.append(hunk);
    }
}

// Writes the compact Delta text from units, one insert per run of equal
// attributes and every line end an insert of its own, as the editor writes.
// The text is written directly, byte for byte as deltaToJson would write it:
// building a QJsonArray for a whole note and serialising it cost more than
// the merge itself.
class DeltaWriter
{
public:
    explicit DeltaWriter(const Tables &tables) : m_tables(tables)
    {
        m_out.reserve(4096);
        m_out.append(QLatin1Char('['));
    }

    void add(int key, int attributes)
    {
        if (key >= kEmbedBase || key == '\n') {
            flush();
            beginOp(attributes);
            if (key >= kEmbedBase)
                m_out.append(cachedJson(m_embedJson, m_tables.embeds, key - kEmbedBase));
            else
                m_out.append(QLatin1String("\"\\n\""));
            m_out.append(QLatin1Char('}'));
            return;
        }
        if (attributes != m_runAttributes)
            flush();
        m_runAttributes = attributes;
        if (key >= 0x10000) {
            m_run.append(QChar::highSurrogate(char32_t(key)));
            m_run.append(QChar::lowSurrogate(char32_t(key)));
        } else {
            m_run.append(QChar(char16_t(key)));
        }
    }

    QString finish()
    {
        flush();
        m_out.append(QLatin1Char(']'));
        return m_out;
    }

private:
    // Keys in the order QJsonObject keeps them: "attributes" before "insert".
    void beginOp(int attributes)
    {
        if (m_out.size() > 1)
            m_out.append(QLatin1Char(','));
        m_out.append(QLatin1Char('{'));
        if (attributes != 0) {
            m_out.append(QLatin1String("\"attributes\":"));
            m_out.append(cachedJson(m_attributeJson, m_tables.attributes, attributes));
            m_out.append(QLatin1Char(','));
        }
        m_out.append(QLatin1String("\"insert\":"));
    }

    void flush()
    {
        if (m_run.isEmpty())
            return;
        beginOp(m_runAttributes);
        appendJsonString(m_run);
        m_out.append(QLatin1Char('}'));
        m_run.clear();
    }

    static const QString &cachedJson(QList<QString> &cache, const QList<QJsonObject> &objects, int index)
    {
        if (cache.size() <= index)
            cache.resize(index + 1);
        if (cache[index].isNull())
            cache[index] = compactJson(objects.at(index));
        return cache[index];
    }

    // Qt's JSON writer escapes the quote, the backslash, control characters
    // (short forms where JSON has them) and unpaired surrogates; the document
    // layer also escapes U+FEFF, which a parser would drop as a byte-order mark.
    void appendJsonString(const QString &text)
    {
        static constexpr char kHex[] = "0123456789abcdef";
        const auto escapeAsCode = [this](char16_t c) {
            m_out.append(QLatin1String("\\u"));
            for (int shift = 12; shift >= 0; shift -= 4)
                m_out.append(QLatin1Char(kHex[(c >> shift) & 0xF]));
        };
        m_out.append(QLatin1Char('"'));
        const qsizetype size = text.size();
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t c = text.at(i).unicode();
            switch (c) {
            case u'"': m_out.append(QLatin1String("\\\"")); continue;
            case u'\\': m_out.append(QLatin1String("\\\\")); continue;
            case u'\b': m_out.append(QLatin1String("\\b")); continue;
            case u'\f': m_out.append(QLatin1String("\\f")); continue;
            case u'\n': m_out.append(QLatin1String("\\n")); continue;
            case u'\r': m_out.append(QLatin1String("\\r")); continue;
            case u'\t': m_out.append(QLatin1String("\\t")); continue;
            case 0xFEFF: escapeAsCode(c); continue;
            default: break;
            }
            if (c < 0x20) {
                escapeAsCode(c);
            } else if (QChar::isHighSurrogate(c) && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
                m_out.append(text.at(i));
                m_out.append(text.at(++i));
            } else if (QChar::isSurrogate(c)) {
                escapeAsCode(c);
            } else {
                m_out.append(QChar(c));
            }
        }
        m_out.append(QLatin1Char('"'));
    }

    const Tables &m_tables;
    QList<QString> m_attributeJson;
    QList<QString> m_embedJson;
    QString m_out;
    QString m_run;
    int m_runAttributes = 0;
};

class Merger
{
public:
    Merger(Tables &tables, const Units &base, const Units &local, const Units &remote)
        : m_tables(tables), m_base(base), m_local(local), m_remote(remote),
          m_localMatch(matchUnits(base, local, remote)), m_remoteMatch(matchUnits(base, remote, local))
    {
    }

    DeltaMergeResult run()
    {
        QList<Hunk> hunks;
        collectHunks(m_localMatch, int(m_local.keys.size()), false, hunks);
        collectHunks(m_remoteMatch, int(m_remote.keys.size()), true, hunks);
        // Insertions before the edits that start at the same place, and the
        // remote side first, so equal positions always come out in one order.
        std::sort(hunks.begin(), hunks.end(), [](const Hunk &a, const Hunk &b) {
            if (a.baseBegin != b.baseBegin)
                return a.baseBegin < b.baseBegin;
            if (a.isInsertion() != b.isInsertion())
                return a.isInsertion();
            return a.remote && !b.remote;
        });

        DeltaWriter writer(m_tables);
        int position = 0;
        for (qsizetype i = 0; i < hunks.size();) {
            const int begin = hunks[i].baseBegin;
            int end = hunks[i].baseEnd;
            qsizetype next = i + 1;
            while (next < hunks.size() && overlaps(begin, end, hunks[next])) {
                end = std::max(end, hunks[next].baseEnd);
                ++next;
            }
            for (; position < begin; ++position)
                writer.add(m_base.keys[position], mergedAttributes(position));
            if (!resolve(hunks.mid(i, next - i), begin, end, writer))
                return {false, QString(), begin};
            position = std::max(position, end);
            i = next;
        }
        for (; position < m_base.keys.size(); ++position)
            writer.add(m_base.keys[position], mergedAttributes(position));
        return {true, writer.finish(), -1};
    }

private:
    // base→side matches. The units all three share at the start and the end
    // are kept on both sides before diffing the rest, so a diff that could
    // align a repeated unit either way never moves an edit out of the middle
    // (and the final line end stays the final line end).
    static QList<int> matchUnits(const Units &base, const Units &side, const Units &other)
    {
        const qsizetype shortest = std::min({base.keys.size(), side.keys.size(), other.keys.size()});
        // The end first: a note always ends with its line end.
        qsizetype suffix = 0;
        const auto fromEnd = [](const Units &units, qsizetype k) { return units.keys[units.keys.size() - 1 - k]; };
        while (suffix < shortest && fromEnd(base, suffix) == fromEnd(side, suffix)
               && fromEnd(base, suffix) == fromEnd(other, suffix))
            ++suffix;
        qsizetype prefix = 0;
        while (prefix < shortest - suffix && base.keys[prefix] == side.keys[prefix]
               && base.keys[prefix] == other.keys[prefix])
            ++prefix;
        const qsizetype baseMiddle = base.keys.size() - prefix - suffix;
        const qsizetype sideMiddle = side.keys.size() - prefix - suffix;
        const QList<int> middle = diffUnits(base.keys.mid(prefix, baseMiddle), side.keys.mid(prefix, sideMiddle));
        QList<int> match(base.keys.size());
        for (qsizetype i = 0; i < prefix; ++i)
            match[i] = int(i);
        for (qsizetype i = 0; i < baseMiddle; ++i)
            match[prefix + i] = middle[i] < 0 ? -1 : int(prefix + middle[i]);
        for (qsizetype k = 0; k < suffix; ++k)
            match[prefix + baseMiddle + k] = int(prefix + sideMiddle + k);
        return match;
    }

    static bool overlaps(int begin, int end, const Hunk &hunk)
    {
        if (begin == end)
            return hunk.isInsertion() && hunk.baseBegin == begin;
        // An insertion at either edge of an edit stays beside it.
        return hunk.baseBegin < end && (!hunk.isInsertion() || hunk.baseBegin > begin);
    }

    const Units &side(const Hunk &hunk) const { return hunk.remote ? m_remote : m_local; }

    bool sameEdit(const Hunk &a, const Hunk &b) const
    {
        if (a.baseBegin != b.baseBegin || a.baseEnd != b.baseEnd
            || a.sideEnd - a.sideBegin != b.sideEnd - b.sideBegin)
            return false;
        const Units &sa = side(a);
        const Units &sb = side(b);
        for (int k = 0; k < a.sideEnd - a.sideBegin; ++k) {
            if (sa.keys[a.sideBegin + k] != sb.keys[b.sideBegin + k]
                || sa.attributes[a.sideBegin + k] != sb.attributes[b.sideBegin + k])
                return false;
        }
        return true;
    }

    // True when the side changed the attributes of a base unit it kept in [begin, end).
    bool changesAttributes(bool remote, int begin, int end) const
    {
        const QList<int> &match = remote ? m_remoteMatch : m_localMatch;
        const Units &units = remote ? m_remote : m_local;
        for (int i = begin; i < end; ++i) {
            if (match[i] >= 0 && units.attributes[match[i]] != m_base.attributes[i])
                return true;
        }
        return false;
    }

    void write(const Hunk &hunk, DeltaWriter &writer) const
    {
        const Units &units = side(hunk);
        for (int k = hunk.sideBegin; k < hunk.sideEnd; ++k)
            writer.add(units.keys[k], units.attributes[k]);
    }

    bool resolve(const QList<Hunk> &cluster, int begin, int end, DeltaWriter &writer) const
    {
        if (cluster.size() == 1) {
            // The other side may not have restyled what this edit replaces.
            if (changesAttributes(!cluster[0].remote, begin, end))
                return false;
            write(cluster[0], writer);
            return true;
        }
        if (cluster.size() != 2 || cluster[0].remote == cluster[1].remote)
            return false;
        if (sameEdit(cluster[0], cluster[1])) {
            write(cluster[0], writer);
            return true;
        }
        if (cluster[0].isInsertion() && cluster[1].isInsertion()) {
            write(cluster[0], writer); // sorted: the remote one
            write(cluster[1], writer);
            return true;
        }
        return false;
    }

    int mergedAttributes(int i)
    {
        const int base = m_base.attributes[i];
        const int local = m_local.attributes[m_localMatch[i]];
        const int remote = m_remote.attributes[m_remoteMatch[i]];
        if (local == base || local == remote)
            return remote;
        if (remote == base)
            return local;
        const quint64 cacheKey = (quint64(quint32(local)) << 32) | quint32(remote);
        const auto cached = m_combined.constFind({base, cacheKey});
        if (cached != m_combined.cend())
            return *cached;
        // Key by key: a key only one side changed takes that side's value; a
        // key both changed takes the remote value.
        const QJsonObject &b = m_tables.attributes.at(base);
        const QJsonObject &l = m_tables.attributes.at(local);
        QJsonObject result = m_tables.attributes.at(remote);
        for (auto it = l.begin(); it != l.end(); ++it) {
            if (b.value(it.key()) != it.value() && result.value(it.key()) == b.value(it.key()))
                result.insert(it.key(), it.value());
        }
        for (auto it = b.begin(); it != b.end(); ++it) {
            // Removed on the local side and left alone on the remote one.
            if (!l.contains(it.key()) && result.value(it.key()) == it.value())
                result.remove(it.key());
        }
        const int id = m_tables.internAttributes(result);
        m_combined.insert({base, cacheKey}, id);
        return id;
    }

    Tables &m_tables;
    const Units &m_base;
    const Units &m_local;
    const Units &m_remote;
    const QList<int> m_localMatch;
    const QList<int> m_remoteMatch;
    QHash<std::pair<int, quint64>, int> m_combined;
};

} // namespace

DeltaMergeResult mergeDeltaBodies(const QString &base, const QString &local, const QString &remote)
{
    const QJsonDocument baseJson = parseJsonText(base);
    const QJsonDocument localJson = parseJsonText(local);
    const QJsonDocument remoteJson = parseJsonText(remote);
    if (!baseJson.isArray() || !localJson.isArray() || !remoteJson.isArray()) {
        // Plain-text bodies have no units to merge; only the trivial cases hold.
        if (local == remote || remote == base)
            return {true, local, -1};
        if (local == base)
            return {true, remote, -1};
        return {false, QString(), 0};
    }
    Tables tables;
    const Units baseUnits = flatten(baseJson.array(), base.size(), tables);
    const Units localUnits = flatten(localJson.array(), local.size(), tables);
    const Units remoteUnits = flatten(remoteJson.array(), remote.size(), tables);
    return Merger(tables, baseUnits, localUnits, remoteUnits).run();
}
