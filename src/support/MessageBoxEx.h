#pragma once

#include <QObject>
#include <QString>

namespace tallyrow {

/// Message-box flags (buttons, icon, default button, modality) as callers pass them.
namespace MsgFlag {
inline constexpr int OKOnly = 0;
inline constexpr int OKCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
inline constexpr int DefaultButton2 = 256;
inline constexpr int DefaultButton3 = 512;
inline constexpr int SystemModal = 4096;
inline constexpr int SetForeground = 65536;
} // namespace MsgFlag

/// Answer codes of a message box.
namespace MsgAnswer {
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace MsgAnswer

/// One message box as shown to the user.
struct MessageRequest {
    QString prompt;
    int buttons = 0;
    QString title;
    QString helpFile;
    long helpContext = 0;
    QString rememberName;
    QObject* owner = nullptr;
    bool showCheckBox = false;
    QString checkBoxCaption;
};

struct MessageResult {
    int answer = MsgAnswer::OK;
    bool checked = false;
};

/// Message box with an optional check box whose ticked answer can be remembered under the
/// settings key (sub-key "Remembered Answers" of the per-user hive, kSettingsHive): a later Show
/// with the same remember-name returns the remembered answer without showing anything. With a
/// CheckedAnswer set, a ticked box is remembered only when the user gave that answer. ShowCheckBox,
/// CheckBoxCaption and CheckedAnswer apply to the next Show only. Subclasses only present a box (Qt dialog,
/// or a scripted queue).
class MessageBoxEx {
public:
    MessageBoxEx();
    virtual ~MessageBoxEx();

    int Show(const QString& prompt, int buttons, const QString& title, const QString& helpFile,
             long helpContext, const QString& rememberName, QObject* owner);

    bool ShowCheckBox() const { return m_showCheckBox; }
    void setShowCheckBox(bool on) { m_showCheckBox = on; }
    QString CheckBoxCaption() const { return m_checkBoxCaption; }
    void setCheckBoxCaption(const QString& caption) { m_checkBoxCaption = caption; }
    /// The answer that a ticked box stands for; 0 = whatever the user answered.
    int CheckedAnswer() const { return m_checkedAnswer; }
    void setCheckedAnswer(int answer) { m_checkedAnswer = answer; }
    int Mode() const { return m_mode; }
    void setMode(int mode) { m_mode = mode; }
    /// Settings key under which remembered answers are kept (empty: nothing is remembered).
    QString SettingsKey() const { return m_settingsKey; }
    void setSettingsKey(const QString& key) { m_settingsKey = key; }

protected:
    virtual MessageResult present(const MessageRequest& request) = 0;

private:
    bool m_showCheckBox = false;
    QString m_checkBoxCaption;
    int m_checkedAnswer = 0;
    int m_mode = 0;
    QString m_settingsKey;
};

/// Forgets every answer remembered under `settingsKey`, so that each box shows again; false when
/// the settings could not be written.
bool ForgetRememberedAnswers(const QString& settingsKey);

} // namespace tallyrow
