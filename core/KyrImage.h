// The welcome window: the program's picture and name, shown at start until a click.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QWidget>

namespace Ui { class TfmKyr560; }
class QLabel;

// Decodes a JPEG image through libjpeg; a null image when the data is not a JPEG
// the library can read.
QImage DecodeJpeg(const QByteArray& data);
// The welcome picture stored in the program.
QByteArray WelcomePictureJpeg();

class TfmKyr560 : public QWidget {
    Q_OBJECT
public:
    explicit TfmKyr560(QWidget* parent = nullptr);
    ~TfmKyr560() override;

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;

    void Image1Click();
    void Label1Click();
    bool FormCloseQuery();
    void FormClose();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Ui::TfmKyr560* ui;
};

extern TfmKyr560* fmKyr560;
