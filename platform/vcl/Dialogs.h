// Message boxes with the framework's kinds, button sets and results. Every window
// asks its questions through these calls; tests install a responder so that no test
// ever waits on a modal box.
#pragma once

#include <QString>

class QWidget;
#include <functional>

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons Btn(TMsgDlgBtn b) { return 1u << b; }
constexpr TMsgDlgButtons mbYesNo = (1u << mbYes) | (1u << mbNo);
constexpr TMsgDlgButtons mbYesNoCancel = (1u << mbYes) | (1u << mbNo) | (1u << mbCancel);
constexpr TMsgDlgButtons mbOKCancel = (1u << mbOK) | (1u << mbCancel);
constexpr TMsgDlgButtons mbAbortRetryIgnore = (1u << mbAbort) | (1u << mbRetry) | (1u << mbIgnore);
constexpr TMsgDlgButtons mbOKOnly = 1u << mbOK;

// Modal results of MessageDlg.
enum : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7 };

// Win32 MessageBox flags and results (Application.MessageBox).
enum : unsigned {
    MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5, MB_ICONHAND = 0x10, MB_ICONSTOP = 0x10, MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30, MB_ICONWARNING = 0x30,
    MB_ICONASTERISK = 0x40, MB_ICONINFORMATION = 0x40, MB_DEFBUTTON2 = 0x100
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

struct MessageRequest {
    enum Kind { Dialog, Box, Show } kind;
    QString text;
    QString caption;
    TMsgDlgType dlgType = mtInformation;  // Dialog
    TMsgDlgButtons buttons = 0;           // Dialog: button set
    unsigned flags = 0;                   // Box: MB_ flags
};

// Answers a request with the result the chosen button gives (mr... for dialogs,
// ID... for boxes, anything for ShowMessage). Installed by tests; empty: real boxes.
using MessageResponder = std::function<int(const MessageRequest&)>;
void SetMessageResponder(MessageResponder responder);
bool HasMessageResponder();

int MessageDlg(const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0);
void ShowMessage(const QString& msg);
// The Win32-style box with a caption; used as Application.MessageBox.
int MessageBoxEx(const QString& text, const QString& caption, unsigned flags);

// The framework's open and save dialogs. Execute returns true when the user confirmed;
// FileName then holds the chosen file's full path. Tests install a responder so that
// no dialog ever waits for a person.
struct TFileDialog {
    bool Save = false;
    QString Title;
    QString DefaultExt;
    QString Filter;       // "Text|*.ext|Text|*.ext"
    QString FileName;
    QString InitialDir;
    bool Execute(QWidget* owner);
};
using FileDialogResponder = std::function<bool(TFileDialog&)>;
void SetFileDialogResponder(FileDialogResponder responder);

// Shows a window application-modal and returns when it is hidden again.
void ShowModal(QWidget* w);

// The framework's folder selection dialog: opens on `directory`, lets the user choose a
// folder or make a new one; on OK `directory` is the chosen folder, created when it did
// not exist yet. Tests install a responder so that no dialog waits for a person.
using DirectoryDialogResponder = std::function<bool(QString& directory)>;
void SetDirectoryDialogResponder(DirectoryDialogResponder responder);
bool SelectDirectory(QString& directory, QWidget* owner);
