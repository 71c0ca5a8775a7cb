// The waveform window, which is also the program-wide store of current samples: the
// test engine writes the running test into it, demo mode loads a waveform file into it,
// and the view draws it. Also reading and writing the waveform file ".kwf" (its layout
// is in WaveFile) and the two demo files.
#pragma once

#include "PaintBox.h"
#include "SampleStore.h"
#include "WaveFile.h"

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

namespace Ui { class TfmWaveform; }
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TUpDown;
class QSlider;
class QResizeEvent;
struct TFileDialog;

// One piece of a synthesised waveform.
struct WaveSegment {
    double Amplitude;  // peak amplitude at the start of the piece, counts
    double OnTime;     // seconds of sine current
    double Phase;      // phase of the first sample, degrees
    double EndRatio;   // amplitude at the end of the on time / amplitude at its start
    double OffTime;    // seconds of zero current after it
};
using WaveSegments = std::array<WaveSegment, 5>;

// Four trip operations of decaying 60 Hz current ("KestrovanNorm.kwf").
extern const WaveSegments NormSegments;
// Current rising tenfold over 1.5 s, then one trip ("KestrovanMpu.kwf").
extern const WaveSegments MpuSegments;

class TfmWaveform : public QWidget, public TSampleStore {
    Q_OBJECT
public:
    explicit TfmWaveform(QWidget* parent = nullptr);
    ~TfmWaveform() override;

    // ---- The sample store: the fields of TSampleStore ----

    // ---- View state that a file load resets ----
    float ViewStart = 0;         // left edge of the viewed span, seconds
    float ViewEnd = 0;           // right edge of the viewed span, seconds
    float TotalTime = 0;         // time the trackbar scale and the cursor limit cover
    float MinTime = 0;           // lower time limit of the cursors; always 0
    float CursorStart = 0;       // start cursor, seconds
    float CursorEnd = 0;         // end cursor, seconds

    // ---- The viewer ----
    int FirstShown = 0;          // index of the first sample drawn
    int LastShown = 0;           // index of the last sample drawn
    float YMax = 0;              // top of the current axis, amperes
    float YMin = 0;              // bottom of the current axis, amperes
    float Zoom = 1;              // vertical zoom factor
    int LastTrackPos = 0;        // trackbar position last applied to the view

    // The view's handlers and the two routines they share.
    void FormShow();
    void PaintBox1Paint();
    void PaintBox1MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    void Contract();
    void Expand();
    void SaveButtonClick();
    void ExitButtonClick();
    void TrackBar1Change();
    void TrackToView();
    void SetStart();
    void SetEnd();
    void SetCurStart();
    void SetCurSpan();
    void UpDown1Click();
    float RmsBetweenCursors(float T1, float T2);
    // Draws the view now (inside a drawing too, as the trackbar snap needs).
    void Draw();
    // The view's save dialog.
    TFileDialog* SaveWaveformDialog = nullptr;

    // Reads a waveform file into the store; true on success.
    bool ReadWaveform(const QString& FileName);
    // ReadWaveform, and on success the view over the new samples from their start.
    bool LoadFile(const QString& FileName);
    // Saves the first 60000 samples with a header, asking for the identification first.
    void WriteWaveform(const QString& FileName);
    // Synthesises a demo file from five segments into the store and, when the user
    // agrees, writes it; on Cancel no file is made.
    void MakeWaveFile(const QString& FileName, bool MpuType, WaveSegments Segments);

    // The file's bytes for a header and the store's first 60000 samples.
    QByteArray WaveFileBytes(const WaveFileHeader& h) const;

    // Asks for a line of text (caption, prompt, default); Cancel gives the default.
    // Replaceable so that no test waits on the box; with scripted message boxes and no
    // replacement it answers the default.
    using InputBoxFn = std::function<QString(const QString&, const QString&, const QString&)>;
    static InputBoxFn InputBox;
    static QString AskText(const QString& caption, const QString& prompt, const QString& def);

    // ---- The form's components ----
    TPaintBox* PaintBox1 = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* ContractButton = nullptr;
    QPushButton* ExpandButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* ExitButton = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLineEdit* TStart = nullptr;
    QLineEdit* TEnd = nullptr;
    QLineEdit* CurStart = nullptr;
    QLineEdit* CurSpan = nullptr;
    QLineEdit* CurValue = nullptr;
    TUpDown* UpDown1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;

protected:
    void FormCreate();
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Ui::TfmWaveform* ui;
    // Distances kept by the anchors: the paint box to all four sides, the panel to the bottom.
    int paintRightGap_ = 0;
    int paintBottomGap_ = 0;
    int panelBottomGap_ = 0;
    bool drawing_ = false;
    void ViewerSetup();
};

extern TfmWaveform* fmWaveform;
