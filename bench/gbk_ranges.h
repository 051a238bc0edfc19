#pragma once

// The ranges of GBK characters the benchmark corpora draw on.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringDecoder>

#include <optional>

namespace bench {

// The characters the text draws on, uniformly:
// - gb2312-1: GB2312's first level (the 3,755 frequent characters, lead bytes 0xB0-0xD7);
// - gb2312-2: GB2312's second level (lead bytes 0xD8-0xF7);
// - gbk: the whole GBK range, GB2312's characters and the areas beyond (lead bytes 0x81-0xA0
//   with any trail byte, 0xAA-0xFE with trail bytes 0x40-0xA0), as traditional characters
//   written in GBK have; two thirds of the characters come from beyond.
enum class Range { Gb2312Level1, Gb2312Level2, Gbk };

inline std::optional<Range> rangeNamed(const QString &name)
{
    static const QHash<QString, Range> ranges = {{QStringLiteral("gb2312-1"), Range::Gb2312Level1},
                                                 {QStringLiteral("gb2312-2"), Range::Gb2312Level2},
                                                 {QStringLiteral("gbk"), Range::Gbk}};
    const auto found = ranges.constFind(name);
    return found == ranges.cend() ? std::nullopt : std::optional<Range>(*found);
}

// True when GBK has a character (not a private-use one) at the pair.
inline bool isGbkCharacter(const QByteArray &pair)
{
    QStringDecoder decoder("GBK");
    const QString text = decoder.decode(pair);
    return text.size() == 1 && !decoder.hasError() && text.at(0) != QChar::ReplacementCharacter &&
           (text.at(0).unicode() < 0xE000 || text.at(0).unicode() > 0xF8FF);
}

// The pairs of a range, lead byte by lead byte (GB2312's first level unchecked, as the corpora
// have always been made).
inline QList<QByteArray> pairsOf(Range range)
{
    QList<QByteArray> pairs;
    const bool check = range != Range::Gb2312Level1;
    const auto add = [&pairs, check](int leadFrom, int leadTo, int trailFrom, int trailTo) {
        for (int lead = leadFrom; lead <= leadTo; ++lead) {
            for (int trail = trailFrom; trail <= trailTo; ++trail) {
                const QByteArray pair = QByteArray(1, char(lead)) + char(trail);
                if (!check || (trail != 0x7F && isGbkCharacter(pair)))
                    pairs.append(pair);
            }
        }
    };
    switch (range) {
    case Range::Gb2312Level1:
        add(0xB0, 0xD7, 0xA1, 0xFE);
        break;
    case Range::Gb2312Level2:
        add(0xD8, 0xF7, 0xA1, 0xFE);
        break;
    case Range::Gbk:
        add(0x81, 0xA0, 0x40, 0xFE);
        add(0xAA, 0xFE, 0x40, 0xA0);
        add(0xB0, 0xF7, 0xA1, 0xFE);
        break;
    }
    return pairs;
}

} // namespace bench
