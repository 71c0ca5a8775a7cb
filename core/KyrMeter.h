// The meter window: the measured current on an analog meter in tenths of a percent of
// the range's full scale. It stays on top and switches between a small and a large size.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

namespace Ui { class TfmKyrMeter; }
class QPushButton;
class TAnalogMeter;

class TfmKyrMeter : public QWidget {
    Q_OBJECT
public:
    explicit TfmKyrMeter(QWidget* parent = nullptr);
    ~TfmKyrMeter() override;

    TAnalogMeter* Meter = nullptr;
    QPushButton* Button1 = nullptr;
    // The main window's outer width, read each time the window is placed: the small
    // window stands beside it. Handed in by whoever makes the main window; unset, or
    // 0 while there is none, and a 520-pixel main window stands in.
    std::function<int()> MainWidth;

    void Button1Click();
    void FormClick() {}

    // Left edge of the window: the large one at the screen's right edge, the small one
    // just right of a main window centred on the screen.
    static int LeftFor(bool large, int screenWidth, int windowWidth, int mainWindowWidth);
    // The window's outer width and height for its size (the client area plus the frame
    // of a dialog border).
    static constexpr int SmallWidth = 300, SmallHeight = 325, LargeWidth = 564, LargeHeight = 535;
    static constexpr int FrameWidth = 16, FrameHeight = 36;

protected:
    void FormCreate();
    void FormDestroy();
    void FormShow();
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    Ui::TfmKyrMeter* ui;
    int meterHeight_ = 262;
    void SetOuterWidth(int width, int height);
    void PlaceMeter();
    int MainWindowWidth() const;
    void PlaceAt(bool large, std::optional<int> top);
};

extern TfmKyrMeter* fmKyrMeter;
