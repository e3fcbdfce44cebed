#include "platform/views/palettecolours.h"

#include <cmath>

namespace PaletteColours {
namespace {
double channel(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
double luminance(const QColor& c) {
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
           0.0722 * channel(c.blueF());
}
// In whole steps of 1/255, as the screen shows it.
QColor mix(const QColor& a, const QColor& b, double share) {
    const auto part = [share](int from, int to) { return qRound(from + (to - from) * share); };
    return QColor(part(a.red(), b.red()), part(a.green(), b.green()), part(a.blue(), b.blue()));
}
} // namespace

double Contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsDark(const QColor& background) {
    return luminance(background) < 0.18;
}

// Mixed step by step towards white or black, so the hue stays recognisable as long as it can.
QColor Readable(const QColor& wanted, const QColor& background) {
    return Readable(wanted, background, IsDark(background) ? kReadableOnDark : kReadable);
}

QColor Readable(const QColor& wanted, const QColor& background, double ratio) {
    if (Contrast(wanted, background) >= ratio)
        return wanted;
    const QColor end = IsDark(background) ? QColor(Qt::white) : QColor(Qt::black);
    for (int step = 1; step <= 20; ++step) {
        const QColor shade = mix(wanted, end, step / 20.0);
        if (Contrast(shade, background) >= ratio)
            return shade;
    }
    return end;
}

QColor Tinted(const QColor& tint, const QColor& base) {
    return IsDark(base) ? mix(base, tint, 0.12) : tint;
}

} // namespace PaletteColours
