// The busy window shown around a wait.
#pragma once

#include <QWidget>

namespace Ui { class TfmDelay; }
class QLineEdit;

class TfmDelay : public QWidget {
    Q_OBJECT
public:
    explicit TfmDelay(QWidget* parent = nullptr);
    ~TfmDelay() override;
    QLineEdit* Edit1 = nullptr;
private:
    Ui::TfmDelay* ui;
};

extern TfmDelay* fmDelay;
