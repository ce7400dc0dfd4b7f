#pragma once

#include <QFont>
#include <QFontMetricsF>

// Whether console columns line up in `font` as the user sees it: narrow and wide glyphs advance
// alike. A font's fixed-pitch flag is not that: some monospace fonts (Noto Sans Mono) do not set
// it, and which font the host resolves for the requested family is the host's.
inline bool advancesAlike(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal advance = metrics.horizontalAdvance(QLatin1Char('M'));
    for (const char glyph : {'i', 'W', '.', '1', ' '}) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(glyph)), advance))
            return false;
    }
    return advance > 0;
}
