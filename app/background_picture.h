#pragma once
// The window's background picture (Image1), kept only where it can be seen.
// The native drawing panels paint over their own places, so the picture
// under them never shows: keeping the whole 1024 x 740 picture cost 3 MB of
// resident memory, the visible parts cost under 1 MB. The hidden places are
// painted black, as the picture's bays behind the panels are, for the moment
// before a panel shows its first frame.

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <vector>

class BackgroundPicture : public QWidget {
public:
    // `hidden`: the places the panels cover, in this widget's coordinates.
    BackgroundPicture(const QImage& picture, const QRegion& hidden, QWidget* parent);

    // Bytes of picture kept (tests compare it with the whole picture's).
    qsizetype keptBytes() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Piece {
        QPoint at;
        QImage image;
    };
    std::vector<Piece> pieces_;
    QRegion hidden_;
};
