#pragma once
// The dial's drawing surface: shows the scale image its gauge rendered, nothing else. The owner
// sets its background (palette Window), digit colour (WindowText) and font face.
#include <QPixmap>
#include <QWidget>

namespace kx {

class GaugePicture : public QWidget {
    Q_OBJECT
public:
    explicit GaugePicture(QWidget* parent = nullptr);

    void setScaleImage(const QPixmap& image);
    const QPixmap& scaleImage() const { return scale_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap scale_;
};

} // namespace kx
