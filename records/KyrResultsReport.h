// The banded report "Kestrovan Test Results": one detail band per saved test row with
// its identification, its results text, its comments and the grid of the four
// operations (current, time, the time limits and optimum, reclose time), under a
// framed heading and above a page footer with the printing date and time, the page
// number and the title. Trip times print green within their limits and red outside;
// a minimum pick-up row colours its current instead.
#pragma once

#include "QuickRpt.h"

#include <QColor>
#include <QString>

class TKyrResultsReport {
public:
    explicit TKyrResultsReport(TQRRowSource* rows = nullptr);
    TKyrResultsReport(const TKyrResultsReport&) = delete;
    TKyrResultsReport& operator=(const TKyrResultsReport&) = delete;

    // The rows printed: the report's data set and every field's.
    void SetDataSet(TQRRowSource* rows);
    TQRRowSource* DataSet() const { return rows_; }

    TQuickRep QuickRep1;
    TQRBand* QRSubDetail1 = nullptr;
    // The data field of the detail band showing the named field, or nullptr.
    TQRDBText* FieldText(const QString& field) const;

    // Colours one detail row before it prints: a minimum pick-up row ("MPU") shows
    // CURR1 green within MIN1..MAX1 and red outside, TIME1 black; any other row shows
    // the currents black and each TIMEn green within MINn..MAXn, red outside. Empty
    // numbers count as 0. A row that cannot be read shows "Error in Report" and prints
    // with the colours it has.
    void QRSubDetail1BeforePrint(TQRBand* sender, bool& printBand);

    static const QColor Green;
    static const QColor Red;
    static const QColor Black;

private:
    TQRRowSource* rows_ = nullptr;
    TQRDBText* curr_[5] = {};
    TQRDBText* time_[5] = {};
};
