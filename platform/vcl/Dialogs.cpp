#include "Dialogs.h"

#include "Forms.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <map>
#include <vector>

namespace {
MessageResponder g_responder;

QMessageBox::Icon iconForType(TMsgDlgType t)
{
    switch (t) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
    }
}

QString captionForType(TMsgDlgType t)
{
    switch (t) {
    case mtWarning: return QStringLiteral("Warning");
    case mtError: return QStringLiteral("Error");
    case mtInformation: return QStringLiteral("Information");
    case mtConfirmation: return QStringLiteral("Confirm");
    default: return Application.Title;
    }
}

struct ButtonDef { const char* text; int result; };

int runBox(const QString& text, const QString& caption, QMessageBox::Icon icon,
           const std::vector<ButtonDef>& buttons, int defaultIndex, int escapeResult)
{
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    std::map<QAbstractButton*, int> results;
    for (size_t i = 0; i < buttons.size(); ++i) {
        QPushButton* b = box.addButton(QString::fromLatin1(buttons[i].text), QMessageBox::ActionRole);
        results[b] = buttons[i].result;
        if (static_cast<int>(i) == defaultIndex)
            box.setDefaultButton(b);
        // Esc (and the close box) answer like the framework's boxes: Cancel, No, or the only button.
        if (buttons[i].result == escapeResult)
            box.setEscapeButton(b);
    }
    box.exec();
    auto it = results.find(box.clickedButton());
    return it == results.end() ? escapeResult : it->second;
}
}  // namespace

void SetMessageResponder(MessageResponder responder) { g_responder = std::move(responder); }
bool HasMessageResponder() { return static_cast<bool>(g_responder); }

int MessageDlg(const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons, int /*helpCtx*/)
{
    const QString caption = captionForType(type);
    if (g_responder)
        return g_responder({MessageRequest::Dialog, msg, caption, type, buttons, 0});
    static const ButtonDef all[] = {{"&Yes", mrYes}, {"&No", mrNo}, {"OK", mrOk}, {"Cancel", mrCancel},
                                    {"&Abort", mrAbort}, {"&Retry", mrRetry}, {"&Ignore", mrIgnore},
                                    {"&All", mrYes}, {"N&o to All", mrNo}, {"Yes to &All", mrYes},
                                    {"&Help", mrNone}};
    std::vector<ButtonDef> defs;
    int escape = mrCancel;
    for (int b = mbYes; b <= mbHelp; ++b)
        if (buttons & (1u << b))
            defs.push_back(all[b]);
    if (!(buttons & Btn(mbCancel)))
        escape = (buttons & Btn(mbNo)) ? mrNo : (defs.empty() ? mrOk : defs.front().result);
    if (defs.empty())
        defs.push_back(all[mbOK]);
    return runBox(msg, caption, iconForType(type), defs, 0, escape);
}

void ShowMessage(const QString& msg)
{
    if (g_responder) {
        g_responder({MessageRequest::Show, msg, Application.Title, mtCustom, Btn(mbOK), 0});
        return;
    }
    runBox(msg, Application.Title, QMessageBox::NoIcon, {{"OK", mrOk}}, 0, mrOk);
}

int MessageBoxEx(const QString& text, const QString& caption, unsigned flags)
{
    if (g_responder)
        return g_responder({MessageRequest::Box, text, caption, mtCustom, 0, flags});
    std::vector<ButtonDef> defs;
    int escape = IDCANCEL;
    switch (flags & 0xF) {
    case MB_OKCANCEL: defs = {{"OK", IDOK}, {"Cancel", IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE: defs = {{"&Abort", IDABORT}, {"&Retry", IDRETRY}, {"&Ignore", IDIGNORE}}; escape = IDABORT; break;
    case MB_YESNOCANCEL: defs = {{"&Yes", IDYES}, {"&No", IDNO}, {"Cancel", IDCANCEL}}; break;
    case MB_YESNO: defs = {{"&Yes", IDYES}, {"&No", IDNO}}; escape = IDNO; break;
    case MB_RETRYCANCEL: defs = {{"&Retry", IDRETRY}, {"Cancel", IDCANCEL}}; break;
    default: defs = {{"OK", IDOK}}; escape = IDOK; break;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case MB_ICONHAND: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONEXCLAMATION: icon = QMessageBox::Warning; break;
    case MB_ICONASTERISK: icon = QMessageBox::Information; break;
    default: break;
    }
    int def = (flags & MB_DEFBUTTON2) ? 1 : 0;
    return runBox(text, caption, icon, defs, def, escape);
}

// ---- File dialogs ----

namespace {
FileDialogResponder g_fileDialogResponder;

// "Text|*.a|Text|*.b" as Qt's ";;"-separated filter list.
QString QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    return out.join(QStringLiteral(";;"));
}
} // namespace

void SetFileDialogResponder(FileDialogResponder responder) { g_fileDialogResponder = std::move(responder); }

bool TFileDialog::Execute(QWidget* owner)
{
    if (g_fileDialogResponder)
        return g_fileDialogResponder(*this);
    QFileDialog dlg(owner, Title, InitialDir, QtFilter(Filter));
    dlg.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QString ext = DefaultExt;
    ext.remove(QLatin1Char('*')).remove(QLatin1Char('.'));
    dlg.setDefaultSuffix(ext);
    if (!FileName.isEmpty())
        dlg.selectFile(FileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    FileName = dlg.selectedFiles().first();
    return true;
}

void ShowModal(QWidget* w)
{
    w->setWindowModality(Qt::ApplicationModal);
    w->show();
    // Sleeps between events: a time-limited pass would ignore the wait and spin.
    QEventLoop loop;
    while (w->isVisible())
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    w->setWindowModality(Qt::NonModal);
}

namespace {
DirectoryDialogResponder g_directoryDialogResponder;
}

void SetDirectoryDialogResponder(DirectoryDialogResponder responder)
{
    g_directoryDialogResponder = std::move(responder);
}

bool SelectDirectory(QString& directory, QWidget* owner)
{
    QString chosen = directory;
    if (g_directoryDialogResponder) {
        if (!g_directoryDialogResponder(chosen))
            return false;
    } else {
        QFileDialog dlg(owner, QString(), directory);
        dlg.setFileMode(QFileDialog::Directory);
        dlg.setOption(QFileDialog::ShowDirsOnly, true);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return false;
        chosen = dlg.selectedFiles().first();
    }
    QDir().mkpath(chosen);
    directory = chosen;
    return true;
}
