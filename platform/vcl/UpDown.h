// The framework's up-down control: an up and a down arrow that step a position within
// its bounds, without wrapping. A click on an arrow moves the position one step (the up
// arrow increases it) and raises OnClick, also at a bound where the position stays.
#pragma once

#include <QWidget>
#include <functional>

class QToolButton;

class TUpDown : public QWidget {
    Q_OBJECT
public:
    enum TUDBtnType { btNext, btPrev };

    explicit TUpDown(QWidget* parent = nullptr);

    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetRange(int min, int max);
    int Position() const { return position_; }
    // A program-set position raises no OnClick.
    void SetPosition(int position);

    std::function<void(TUDBtnType)> OnClick;

    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void Step(TUDBtnType button);
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};
