// The operation guide window: the product's plain-text operation guide in a simple
// modeless window, separate from the HTML help.
#pragma once

#include <QWidget>

namespace Ui { class TfmKyrHelp; }
class QPlainTextEdit;
class QPushButton;

class TfmKyrHelp : public QWidget {
    Q_OBJECT
public:
    explicit TfmKyrHelp(QWidget* parent = nullptr);
    ~TfmKyrHelp() override;

    void CloseClick();

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Close = nullptr;

private:
    Ui::TfmKyrHelp* ui;
};

extern TfmKyrHelp* fmKyrHelp;

// Shows "Kestrovan Operation Guide.txt" of the current folder (the data folder), loaded
// afresh each time; without the file nothing happens. A file that cannot be read raises
// EInOutError after the window is shown.
void ShowOperationGuide();
