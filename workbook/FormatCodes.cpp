#include "FormatCodes.h"

#include <string>

#include "pClExcelShared.h"

namespace pclexcel {
// ColorIndex n of the standard palette is palette entry (icv) n + 7.
std::uint16_t fillColor(std::int32_t colorIndex) {
    if (colorIndex >= 1 && colorIndex <= 56)
        return static_cast<std::uint16_t>(colorIndex + 7);
    if (colorIndex == xlAutomatic)
        return xls::kDefaultFg;
    throw refused("Interior クラスの ColorIndex プロパティを設定できません(色番号 " +
                  std::to_string(colorIndex) + ")。");
}

std::uint16_t fontColor(std::int32_t colorIndex) {
    if (colorIndex >= 1 && colorIndex <= 56)
        return static_cast<std::uint16_t>(colorIndex + 7);
    if (colorIndex == xlAutomatic || colorIndex == xlNone || colorIndex == 0)
        return xls::kAutoColor;
    throw refused("Font クラスの ColorIndex プロパティを設定できません(色番号 " +
                  std::to_string(colorIndex) + ")。");
}

// Line styles and weights of the interface against the file's border styles.
constexpr std::int32_t xlContinuous = 1, xlDash = -4115, xlDot = -4118, xlDouble = -4119,
                       xlDashDot = 4, xlDashDotDot = 5, xlSlantDashDot = 13;
constexpr std::int32_t xlHairline = 1, xlThin = 2, xlMedium = -4138, xlThick = 4;

bool validLineStyle(std::int32_t s) {
    return s == xlContinuous || s == xlDash || s == xlDot || s == xlDouble || s == xlDashDot ||
           s == xlDashDotDot || s == xlSlantDashDot || s == xlNone;
}
bool validWeight(std::int32_t w) {
    return w == xlHairline || w == xlThin || w == xlMedium || w == xlThick;
}

struct Line {
    std::int32_t style;
    std::int32_t weight;
};

Line lineOf(std::uint8_t biff) {
    switch (biff) {
        case 1:
            return {xlContinuous, xlThin};
        case 2:
            return {xlContinuous, xlMedium};
        case 3:
            return {xlDash, xlThin};
        case 4:
            return {xlDot, xlThin};
        case 5:
            return {xlContinuous, xlThick};
        case 6:
            return {xlDouble, xlThick};
        case 7:
            return {xlContinuous, xlHairline};
        case 8:
            return {xlDash, xlMedium};
        case 9:
            return {xlDashDot, xlThin};
        case 10:
            return {xlDashDot, xlMedium};
        case 11:
            return {xlDashDotDot, xlThin};
        case 12:
            return {xlDashDotDot, xlMedium};
        case 13:
            return {xlSlantDashDot, xlMedium};
        default:
            return {xlNone, xlThin};
    }
}

std::uint8_t biffOf(Line line) {
    const bool heavy = line.weight == xlMedium || line.weight == xlThick;
    switch (line.style) {
        case xlContinuous:
            if (line.weight == xlHairline)
                return 7;
            if (line.weight == xlMedium)
                return 2;
            if (line.weight == xlThick)
                return 5;
            return 1;
        case xlDash:
            return heavy ? 8 : 3;
        case xlDot:
            return 4;
        case xlDouble:
            return 6;
        case xlDashDot:
            return heavy ? 10 : 9;
        case xlDashDotDot:
            return heavy ? 12 : 11;
        case xlSlantDashDot:
            return 13;
        default:
            return 0;
    }
}

// LineStyle := style, then Weight := weight when not 0. A new style keeps
// the border's weight; a weight on a border without line draws a
// continuous one, as the spreadsheet does.
void setLine(xls::Border& border, std::int32_t style, std::int32_t weight) {
    Line line = lineOf(border.style);
    line.style = style;
    border.style = biffOf(line);
    if (weight != 0) {
        line = lineOf(border.style);
        if (line.style == xlNone)
            line.style = xlContinuous;
        line.weight = weight;
        border.style = biffOf(line);
    }
}

std::uint8_t hAlignOf(std::int32_t code) {
    switch (code) {
        case 1:
            return 0;  // general
        case -4131:
            return 1;  // left
        case -4108:
            return 2;  // centre
        case -4152:
            return 3;  // right
        case 5:
            return 4;  // fill
        case -4130:
            return 5;  // justify
        case 7:
            return 6;  // centre across selection
        case -4117:
            return 7;  // distributed
        default:
            throw refused("Range クラスの HorizontalAlignment プロパティを設定できません(" +
                          std::to_string(code) + ")。");
    }
}

std::uint8_t vAlignOf(std::int32_t code) {
    switch (code) {
        case -4160:
            return 0;  // top
        case -4108:
            return 1;  // centre
        case -4107:
            return 2;  // bottom
        case -4130:
            return 3;  // justify
        case -4117:
            return 4;  // distributed
        default:
            throw refused("Range クラスの VerticalAlignment プロパティを設定できません(" +
                          std::to_string(code) + ")。");
    }
}

}  // namespace pclexcel
