// The program's running trace: one hidden window that numbers every line and stamps
// it with its own tick clock; saved beside the data at exit.
#pragma once

#include <QTimer>
#include <QWidget>

namespace Ui { class TfmDebug; }
class QPlainTextEdit;
class QPushButton;

class TfmDebug : public QWidget {
    Q_OBJECT
public:
    explicit TfmDebug(QWidget* parent = nullptr);
    ~TfmDebug() override;

    // Appends a trace line when the trace window exists; does nothing otherwise.
    static void AddLine(const QString& text);
    // Writes every trace line (CR LF) to the trace file in the current folder.
    // Raises EInOutError when the file cannot be written.
    void SaveLog();
    // The trace file's name for a program file name: up to its first dot + ".dbg".
    static QString LogFileName(const QString& programFileName);

    QPlainTextEdit* memoDebug = nullptr;
    QPushButton* btDebugHide = nullptr;
    QTimer* DebugTimer = nullptr;
    float ElapsedMs = 0;
    int LineCount = 0;

    QString TraceText() const;

public slots:
    void DebugTimerTick();
    void ButtonHideClick();

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void FormShow();

private:
    void PlaceOnScreen();
    bool framePlaced_ = false;
    // The trace text's margins in the stored 268 x 262 window.
    static constexpr int MemoLeft = 16, MemoTop = 40, MemoRightGap = 268 - 16 - 225, MemoBottomGap = 262 - 40 - 177;
    Ui::TfmDebug* ui;
    void AppendLine(const QString& text);
};

extern TfmDebug* fmDebug;
