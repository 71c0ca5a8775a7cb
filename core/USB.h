// The USB status window: created at start and never started; the program reaches
// the instrument only through its serial port.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>

namespace Ui { class TfmUSB; }

class TfmUSB : public QWidget {
    Q_OBJECT
public:
    explicit TfmUSB(QWidget* parent = nullptr);
    ~TfmUSB() override;

    int32_t ErrorCount = 0;   // cleared by the engine at each test's start
    bool Connected = false;   // never set
    QTimer* StatusTimer = nullptr;  // 200 ms, never enabled

private:
    Ui::TfmUSB* ui;
};

extern TfmUSB* fmUSB;
