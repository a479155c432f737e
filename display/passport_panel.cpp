#include "display/passport_panel.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "display/catalogue/chart_texts.h"
#include "display/indicator_colours.h"
#include "display/panel_init.h"
#include "display/panel_snapshot.h"
#include "display/panel_surface.h"

namespace m797 {
namespace {

struct Point {
    int x, y;
};
constexpr Point kLowerFrame[6] = {{323, 27}, {320, 27}, {320, 0}, {368, 0}, {368, 27}, {358, 27}};
constexpr Point kUpperFrame[6] = {{323, 101}, {320, 101}, {320, 33}, {368, 33}, {368, 101}, {366, 101}};

enum class Kind { Heading, Caption, Ident };

struct Line {
    Kind kind;
    const char* text;  // headings and captions; UTF-8
    int ident;         // identText index for Kind::Ident
    int x, y;
};
constexpr Line kLines[24] = {{Kind::Heading, "Паспорт блока управления", 0, 20, 15},
                             {Kind::Caption, "Модель автомобиля", 0, 10, 35},
                             {Kind::Ident, "", 0, 35, 50},
                             {Kind::Caption, "Серийный номер", 0, 10, 65},
                             {Kind::Ident, "", 1, 35, 80},
                             {Kind::Caption, "Код ЭБУ", 0, 10, 95},
                             {Kind::Ident, "", 2, 35, 110},
                             {Kind::Caption, "Код программы", 0, 10, 125},
                             {Kind::Ident, "", 3, 35, 140},
                             {Kind::Caption, "Двигатель", 0, 10, 155},
                             {Kind::Ident, "", 4, 35, 170},
                             {Kind::Caption, "Код запчастей", 0, 10, 185},
                             {Kind::Ident, "", 5, 35, 200},
                             {Kind::Caption, "Подготовка ПЗУ", 0, 10, 215},
                             {Kind::Ident, "", 6, 35, 230},
                             {Kind::Caption, "Идентификатор", 0, 10, 245},
                             {Kind::Ident, "", 7, 35, 260},
                             {Kind::Heading, "Паспорт автомобиля", 0, 20, 295},
                             {Kind::Caption, "Двигатель", 0, 10, 315},
                             {Kind::Ident, "", 8, 35, 330},
                             {Kind::Caption, "Кузов", 0, 10, 345},
                             {Kind::Ident, "", 9, 35, 360},
                             {Kind::Caption, "Дата изготовления", 0, 10, 375},
                             {Kind::Ident, "", 10, 35, 390}};

const Text& fixedText(int i) {
    static const auto texts = cp1251Column(kLines, &Line::text);
    return texts[i];
}

void strip(const Point (&points)[6]) {
    glBegin(GL_LINE_STRIP);
    for (const Point& p : points) glVertex3i(p.x, p.y, 0);
    glEnd();
}

void setColour(const Colour& c) { glColor4f(c[0], c[1], c[2], c[3]); }

// What the passport shows, copied under record.lock: the drawing (slow under
// software rendering) then runs with the lock released. Kept from paint to
// paint, so the texts reuse their storage.
struct PassportView {
    float nameTextColour[4] = {};
    float valueTextColour[4] = {};
    std::array<Text, 11> ident;
    Text usvk;
};

void copyPassport(PassportView& v, const LiveRecord& r) {
    const RecordLock held(r);
    std::copy_n(r.nameTextColour, 4, v.nameTextColour);
    std::copy_n(r.valueTextColour, 4, v.valueTextColour);
    for (std::size_t i = 0; i < v.ident.size(); ++i) v.ident[i] = r.identText[i];
    v.usvk = chartValueText(74, held);
}

const SnapshotKey& passportKey(SnapshotKey& key, const PassportView& v) {
    key.add(v.nameTextColour).add(v.valueTextColour).add(v.usvk);
    for (const Text& ident : v.ident) key.add(ident);
    return key;
}

void drawPassport(PanelSurface& panel, const PassportView& v) {
    beginLinePaint();
    glTranslated(-400, -50, -150);
    glTranslated(55, -1.1, -150);
    setColour(withBrightness(v.nameTextColour, kFrame));
    strip(kLowerFrame);
    strip(kUpperFrame);
    glPopMatrix();

    beginTextLayer(panel);
    for (int i = 0; i < 24; ++i) {
        const Line& line = kLines[i];
        setColour(withBrightness(v.nameTextColour, line.kind == Kind::Caption ? kCaption : 1.0f));
        glRasterPos2i(line.x, line.y);
        panel.draw2DText(line.kind == Kind::Ident ? v.ident[line.ident] : fixedText(i));
    }
    endTextLayer();
    // The USVK value as the charts draw theirs; panel 7 has no outline font,
    // so this draws nothing.
    drawValueText(panel, v.valueTextColour, v.usvk);
}

}  // namespace

void paintPassport(PanelSurface& panel, const LiveRecord& r, PanelSnapshot& snapshot) {
    static PassportView view;  // paints run on the window thread only
    copyPassport(view, r);     // key and picture from one reading of the record
    snapshot.showWhole(panel, passportKey(snapshot.newKey(), view), [&] { drawPassport(panel, view); });
}

}  // namespace m797
