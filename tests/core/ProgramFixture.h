// The whole program in a test: every window created in the program's order, a fresh
// data folder under a temporary XDG data folder, no serial port unless a test gives
// one, message boxes answered by text and file dialogs by a script.
#pragma once

#include "Dialogs.h"
#include "TestSupport.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <vector>

class QWidget;

// Answers boxes whose text starts with a registered prefix; everything else gets the
// test main's default answer (Cancel, else No, else OK). Every request is recorded.
class AnswerByText {
public:
    AnswerByText();
    ~AnswerByText();
    // Answer for boxes whose text starts with prefix: once each from the queue, then
    // the last answer again.
    AnswerByText& on(const QString& prefix, std::vector<int> answers);
    std::vector<MessageRequest> requests;
    bool saw(const QString& text) const;
    int count(const QString& text) const;
    const MessageRequest* find(const QString& prefix) const;
    void clear() { requests.clear(); }

private:
    std::vector<std::pair<QString, std::vector<int>>> rules_;
};

class ProgramFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program as its block does after the welcome wait, with this command
    // line, and waits for the first initialisation (run from the first paint).
    void StartProgram(const QStringList& params = {}, const QString& progName = QStringLiteral("Kestrovan10"));
    void StopProgram();
    // Processes events until cond holds or ms pass.
    bool WaitFor(const std::function<bool()>& cond, int ms = 5000);
    // Runs engine ticks (without waiting for the timer) until the test has a result.
    bool TickUntilResult(int maxTicks = 2000);
    // Clicks RUN and plays the demo to its result.
    bool PlayDemo();
    // A main-window control by name.
    QWidget* Control(const QString& name) const;
    QString Text(const QString& name) const;
    QString TraceText() const;
    QString DataFile(const QString& name) const { return QDir(dataFolder).filePath(name); }

    // Serial ports the program sees (device paths); empty: none.
    QStringList serialPorts;
    std::unique_ptr<TempCurrentDir> tmp;
    QString dataFolder;
    std::unique_ptr<AnswerByText> answers;
    // The file dialogs' answer: nullptr cancels; otherwise sets the dialog's FileName.
    std::function<bool(QString& fileName)> fileDialog;
    bool started = false;

private:
    QByteArray oldXdg_;
    bool hadXdg_ = false;
};
