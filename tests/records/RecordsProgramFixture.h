// The whole program with the records' windows as the program installs them: the report
// window made first and freed last, beeps silent, and the data form's boxes typed into
// and picked from as a user does.
#pragma once

#include "ProgramFixture.h"

#include "FakeRecords.h"
#include "InputBox.h"
#include "KyrRecords.h"
#include "KyrResults.h"
#include "Sound.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

class RecordsProgramFixture : public ProgramFixture {
protected:
    TKyrRecords records;
    ScopedRecords installed{&records};

    void SetUp() override
    {
        ProgramFixture::SetUp();
        // The report window comes first and goes last, as in the program block.
        records.CreateReportWindow();
        SetMessageBeepHandler([](UINT) {});
    }
    void TearDown() override
    {
        ProgramFixture::TearDown();
        records.FreeReportWindow();
        ResultsAnalyzed = false;
        SetMessageBeepHandler(nullptr);
        SetInputResponder(nullptr);
    }

    // Types a text into an editable box and leaves it.
    void Type(QComboBox* box, const QString& text)
    {
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Tab);
        QCoreApplication::processEvents();
    }
    void Pick(QComboBox* box, const QString& text)
    {
        // The user goes to the box first: leaving the last one runs its exit.
        box->setFocus();
        QCoreApplication::processEvents();
        const int i = box->findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        box->setCurrentIndex(i);
        emit box->activated(i);
        QCoreApplication::processEvents();
    }
};
