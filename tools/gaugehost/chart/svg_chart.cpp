// SPDX-License-Identifier: MIT
// svg_chart.cpp
//
// Writing the chart: geometry, axes, series, limits and legend.
#include "tools/gaugehost/chart/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace gaugehost {

namespace {

constexpr double kWidth = 800;
constexpr double kPanelHeight = 240;
constexpr double kLeft = 70;
constexpr double kRight = 190; // room for the legend
constexpr double kTop = 50;
constexpr double kGap = 60;
constexpr const char* kColors[] = {"#d62728", "#1f77b4", "#2ca02c", "#9467bd",
                                   "#ff7f0e", "#17becf", "#8c564b", "#e377c2"};
// Each series of a panel its own stroke, so lines with equal values stay
// apart: the first solid and wide, the others narrower and dashed, so the
// lines below show through the gaps.
struct Stroke {
    const char* width;
    const char* dashes; // "" for a solid line
};
constexpr Stroke kStrokes[] = {{"3.5", ""}, {"2.5", "9 5"}, {"2", "3 4"}, {"2", "10 3 2 3"}};

// The length of the well-formed UTF-8 sequence at text[at] of a character
// XML 1.0 allows (tab, LF, CR, U+0020 on, but no surrogate, U+FFFE or
// U+FFFF); 0 for anything else.
size_t allowedCharacter(const std::string& text, size_t at)
{
    const auto byte = [&](size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80)
        return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4)
        return 0;
    unsigned code = lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    const unsigned shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
        code == 0xFFFE || code == 0xFFFF)
        return 0;
    return length;
}

// Text for XML character data and attribute values: the five markup
// characters as references, a byte that is not part of a character XML
// allows (a control byte, invalid UTF-8) as U+FFFD.
std::string xmlText(const std::string& text)
{
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t length = allowedCharacter(text, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        switch (text[at]) {
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
        case '\'':
            out += "&apos;";
            break;
        default:
            out.append(text, at, length);
        }
        at += length;
    }
    return out;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string out = text;
    if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0)
        out.resize(out.size() - 2);
    return out == "-0" ? "0" : out;
}

struct Range {
    double low;
    double high;
};

Range valueRange(const ChartPanel& panel)
{
    double low = INFINITY, high = -INFINITY;
    for (const ChartSeries& series : panel.series)
        for (const auto& value : series.values)
            if (value) {
                low = std::min(low, *value);
                high = std::max(high, *value);
            }
    for (const ChartLimit& limit : panel.limits) {
        low = std::min(low, limit.value);
        high = std::max(high, limit.value);
    }
    if (!std::isfinite(low))
        return {0, 1};
    if (panel.fromZero)
        low = std::min(low, 0.0);
    if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    }
    const double margin = (high - low) * 0.05;
    return {panel.fromZero && low >= 0 ? 0 : low - margin, high + margin};
}

class PanelGeometry {
  public:
    PanelGeometry(double top, Range time, Range value) : top_(top), time_(time), value_(value) {}
    double x(double time) const
    {
        return kLeft + (time - time_.low) / (time_.high - time_.low) * (kWidth - kLeft - kRight);
    }
    double y(double value) const
    {
        return top_ + kPanelHeight -
               (value - value_.low) / (value_.high - value_.low) * kPanelHeight;
    }
    double top() const
    {
        return top_;
    }
    double bottom() const
    {
        return top_ + kPanelHeight;
    }

  private:
    double top_;
    Range time_;
    Range value_;
};

void drawPanel(std::ostringstream& out, const Chart& chart, const ChartPanel& panel, double top,
               Range time, bool lastPanel)
{
    const Range values = valueRange(panel);
    const PanelGeometry at(top, time, values);
    const double right = kWidth - kRight;
    out << "<g class=\"panel\">\n";
    out << "<text x=\"" << kLeft << "\" y=\"" << number(top - 8) << "\" font-weight=\"bold\">"
        << xmlText(panel.title) << " (" << xmlText(panel.unit) << ")</text>\n";
    out << "<rect x=\"" << kLeft << "\" y=\"" << top << "\" width=\"" << number(right - kLeft)
        << "\" height=\"" << kPanelHeight << "\" fill=\"none\" stroke=\"#444\"/>\n";
    for (double tick : axisTicks(values.low, values.high, 5)) {
        const std::string y = number(at.y(tick));
        out << "<line x1=\"" << kLeft << "\" y1=\"" << y << "\" x2=\"" << number(right)
            << "\" y2=\"" << y << "\" stroke=\"#ddd\"/>";
        out << "<text x=\"" << kLeft - 6 << "\" y=\"" << y
            << "\" text-anchor=\"end\" dominant-baseline=\"middle\">" << number(tick)
            << "</text>\n";
    }
    for (double tick : axisTicks(time.low, time.high, 8)) {
        const std::string x = number(at.x(tick));
        out << "<line x1=\"" << x << "\" y1=\"" << number(at.bottom()) << "\" x2=\"" << x
            << "\" y2=\"" << number(at.bottom() + 5) << "\" stroke=\"#444\"/>";
        out << "<text x=\"" << x << "\" y=\"" << number(at.bottom() + 18)
            << "\" text-anchor=\"middle\">" << number(tick) << "</text>\n";
    }
    if (lastPanel)
        out << "<text x=\"" << number((kLeft + right) / 2) << "\" y=\"" << number(at.bottom() + 38)
            << "\" text-anchor=\"middle\">" << xmlText(chart.timeLabel) << "</text>\n";
    for (const ChartLimit& limit : panel.limits) {
        const std::string y = number(at.y(limit.value));
        out << "<line class=\"limit\" x1=\"" << kLeft << "\" y1=\"" << y << "\" x2=\""
            << number(right) << "\" y2=\"" << y
            << "\" stroke=\"#b00\" stroke-dasharray=\"6 4\"/>\n";
    }
    size_t index = 0;
    for (const ChartSeries& series : panel.series) {
        // A series without a value (a reader that never answered) is
        // neither drawn nor listed.
        if (std::none_of(series.values.begin(), series.values.end(),
                         [](const std::optional<double>& value) { return value.has_value(); }))
            continue;
        const char* color = kColors[index % std::size(kColors)];
        const Stroke& stroke = kStrokes[index % std::size(kStrokes)];
        const std::string look =
            std::string("stroke=\"") + color + "\" stroke-width=\"" + stroke.width + "\"" +
            (*stroke.dashes ? std::string(" stroke-dasharray=\"") + stroke.dashes + "\""
                            : std::string());
        std::string path;
        bool pen = false;
        for (size_t i = 0; i < series.values.size() && i < chart.times.size(); ++i) {
            if (!series.values[i]) {
                pen = false;
                continue;
            }
            path += (pen ? " L" : (path.empty() ? "M" : " M")) + number(at.x(chart.times[i])) +
                    " " + number(at.y(*series.values[i]));
            pen = true;
        }
        out << "<path id=\"series-" << xmlText(series.key) << "\" d=\"" << path
            << "\" fill=\"none\" " << look << "><title>" << xmlText(series.label)
            << "</title></path>\n";
        const double legendY = top + 14 + 20 * double(index);
        out << "<line x1=\"" << number(right + 12) << "\" y1=\"" << number(legendY) << "\" x2=\""
            << number(right + 32) << "\" y2=\"" << number(legendY) << "\" " << look << "/>";
        out << "<text x=\"" << number(right + 38) << "\" y=\"" << number(legendY)
            << "\" dominant-baseline=\"middle\">" << xmlText(series.label) << "</text>\n";
        ++index;
    }
    // The limits' labels over the lines, on a white rim, so no data hides them.
    for (const ChartLimit& limit : panel.limits)
        out << "<text class=\"limit-label\" x=\"" << number(right - 4) << "\" y=\""
            << number(at.y(limit.value) - 5)
            << "\" text-anchor=\"end\" fill=\"#b00\" stroke=\"white\" stroke-width=\"4\" "
               "stroke-linejoin=\"round\" paint-order=\"stroke\">"
            << xmlText(limit.label) << "</text>\n";
    out << "</g>\n";
}

} // namespace

std::vector<double> axisTicks(double low, double high, int count)
{
    std::vector<double> ticks;
    if (!(high > low) || count < 1)
        return ticks;
    const double rough = (high - low) / count;
    const double power = std::pow(10, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    for (double tick = std::ceil(low / step) * step; tick <= high + step * 1e-9; tick += step)
        ticks.push_back(std::abs(tick) < step * 1e-9 ? 0 : tick);
    return ticks;
}

TimeUnit timeAxisUnit(double spanSeconds)
{
    if (spanSeconds <= 3 * 60)
        return {"seconds", 1};
    if (spanSeconds <= 3 * 3600)
        return {"minutes", 60};
    return {"hours", 3600};
}

std::string renderSvgChart(const Chart& chart)
{
    Range time = {0, 1};
    if (!chart.times.empty()) {
        const auto [low, high] = std::minmax_element(chart.times.begin(), chart.times.end());
        time = {*low, *high};
        if (time.high - time.low < 1e-9)
            time.high = time.low + 1;
    }
    const double height = kTop + double(chart.panels.size()) * (kPanelHeight + kGap) + 10;
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << number(height) << "\" viewBox=\"0 0 " << kWidth << " " << number(height)
        << "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    out << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    out << "<text x=\"" << kLeft << "\" y=\"22\" font-size=\"15\" font-weight=\"bold\">"
        << xmlText(chart.title) << "</text>\n";
    double top = kTop + 10;
    for (size_t i = 0; i < chart.panels.size(); ++i) {
        drawPanel(out, chart, chart.panels[i], top, time, i + 1 == chart.panels.size());
        top += kPanelHeight + kGap;
    }
    out << "</svg>\n";
    return out.str();
}

} // namespace gaugehost
