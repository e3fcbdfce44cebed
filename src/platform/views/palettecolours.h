#pragma once

#include <QColor>

// Colours chosen to stay readable on whatever background the desktop's colour scheme gives.
namespace PaletteColours {

// The contrast ratio of two colours as the web's accessibility guidelines define it, 1 to 21.
double Contrast(const QColor& a, const QColor& b);
// The text size the guidelines call normal needs this much.
constexpr double kReadable = 4.5;
// What text colours aim at on a dark background: there the thin strokes of a glyph, blended with
// the background at their edges, come out markedly dimmer than their colour.
constexpr double kReadableOnDark = 7.0;
// `wanted` where it already stands out from `background` (by kReadable, kReadableOnDark on a dark
// one); else the nearest shade of it that does, lighter on a dark background, darker on a light.
QColor Readable(const QColor& wanted, const QColor& background);
// The same for a contrast of `ratio`.
QColor Readable(const QColor& wanted, const QColor& background, double ratio);
// `tint` (a light background meant to mark some text) as it should look over `base`: itself
// over a light base, a faint trace of it over a dark one.
QColor Tinted(const QColor& tint, const QColor& base);
bool IsDark(const QColor& background);

} // namespace PaletteColours
