#include "platform/icons/ProgramIcons.h"

#include <QPainter>
#include <QPolygonF>
#include <vector>

namespace {

// A shape of the 64 x 64 drawing. Colours are "#rrggbb"; an empty one draws nothing.
struct Shape {
    enum Kind { Circle, Rect, Line, Polygon } kind;
    std::vector<double> points;  // circle: cx cy r; rect: x y w h; line: x1 y1 x2 y2; polygon: x y ...
    const char* fill;
    const char* stroke;
    double width;
};

std::vector<Shape> Chip(double x, double y, double w, double h) {
    std::vector<Shape> chip;
    const double pins = 4, step = h / (pins + 1);
    for (int i = 1; i <= pins; ++i) {
        chip.push_back({Shape::Line, {x - 4, y + i * step, x, y + i * step}, "", "#90a4ae", 2});
        chip.push_back({Shape::Line, {x + w, y + i * step, x + w + 4, y + i * step}, "", "#90a4ae", 2});
    }
    chip.push_back({Shape::Rect, {x, y, w, h}, "#37474f", "#263238", 1.5});
    return chip;
}

std::vector<Shape> Drawing(ProgramIcon icon) {
    switch (icon) {
        case ProgramIcon::SkyLedger:
            return {{Shape::Circle, {32, 32, 29}, "#87cefa", "#4682b4", 2.5},
                    {Shape::Circle, {32, 32, 19}, "", "#2f4f4f", 1},
                    {Shape::Circle, {32, 32, 9}, "", "#2f4f4f", 1},
                    {Shape::Line, {32, 4, 32, 60}, "", "#696969", 1},
                    {Shape::Line, {4, 32, 60, 32}, "", "#696969", 1},
                    {Shape::Circle, {21, 17, 5.5}, "#0000ff", "#00008b", 1},
                    {Shape::Circle, {45, 24, 5.5}, "#00c000", "#006400", 1},
                    {Shape::Circle, {38, 46, 5.5}, "#ff0000", "#8b0000", 1},
                    {Shape::Circle, {17, 41, 4.5}, "#ffff00", "#b8860b", 1}};
        case ProgramIcon::Burnkit: {
            std::vector<Shape> s = Chip(18, 24, 28, 32);
            s.push_back({Shape::Polygon, {26, 2, 38, 2, 38, 12, 45, 12, 32, 24, 19, 12, 26, 12}, "#ff8c00", "#b35900", 1.5});
            s.push_back({Shape::Circle, {32, 40, 4}, "#7cfc00", "", 0});
            return s;
        }
        case ProgramIcon::Gangburn: {
            std::vector<Shape> s;
            for (double y : {8.0, 36.0})
                for (double x : {10.0, 38.0}) {
                    const auto chip = Chip(x, y, 16, 20);
                    s.insert(s.end(), chip.begin(), chip.end());
                    s.push_back({Shape::Circle, {x + 8, y + 10, 3}, "#7cfc00", "", 0});
                }
            return s;
        }
    }
    return {};
}

}  // namespace

QString IconName(ProgramIcon icon) {
    switch (icon) {
        case ProgramIcon::SkyLedger: return "skyledger";
        case ProgramIcon::Burnkit: return "burnkit";
        case ProgramIcon::Gangburn: return "gangburn";
    }
    return {};
}

QImage RenderProgramIcon(ProgramIcon icon, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    for (const Shape& s : Drawing(icon)) {
        p.setPen(*s.stroke ? QPen(QColor(s.stroke), s.width) : QPen(Qt::NoPen));
        p.setBrush(*s.fill ? QBrush(QColor(s.fill)) : QBrush(Qt::NoBrush));
        const auto& v = s.points;
        switch (s.kind) {
            case Shape::Circle: p.drawEllipse(QPointF(v[0], v[1]), v[2], v[2]); break;
            case Shape::Rect: p.drawRect(QRectF(v[0], v[1], v[2], v[3])); break;
            case Shape::Line: p.drawLine(QPointF(v[0], v[1]), QPointF(v[2], v[3])); break;
            case Shape::Polygon: {
                QPolygonF polygon;
                for (std::size_t i = 0; i + 1 < v.size(); i += 2) polygon << QPointF(v[i], v[i + 1]);
                p.drawPolygon(polygon);
                break;
            }
        }
    }
    return image;
}

QIcon MakeProgramIcon(ProgramIcon icon) {
    QIcon result;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) result.addPixmap(QPixmap::fromImage(RenderProgramIcon(icon, size)));
    return result;
}

QString ProgramIconSvg(ProgramIcon icon) {
    QString svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">\n";
    for (const Shape& s : Drawing(icon)) {
        const QString paint = QString(" fill=\"%1\" stroke=\"%2\" stroke-width=\"%3\"")
                                  .arg(*s.fill ? s.fill : "none", *s.stroke ? s.stroke : "none")
                                  .arg(s.width);
        const auto& v = s.points;
        switch (s.kind) {
            case Shape::Circle:
                svg += QString("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\"").arg(v[0]).arg(v[1]).arg(v[2]) + paint + "/>\n";
                break;
            case Shape::Rect:
                svg += QString("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]) +
                       paint + "/>\n";
                break;
            case Shape::Line:
                svg += QString("  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\"").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]) +
                       paint + "/>\n";
                break;
            case Shape::Polygon: {
                QString points;
                for (std::size_t i = 0; i + 1 < v.size(); i += 2) points += QString("%1,%2 ").arg(v[i]).arg(v[i + 1]);
                svg += "  <polygon points=\"" + points.trimmed() + "\"" + paint + "/>\n";
                break;
            }
        }
    }
    return svg + "</svg>\n";
}
