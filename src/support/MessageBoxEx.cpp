#include "support/MessageBoxEx.h"

#include "support/Registry.h"

namespace tallyrow {

namespace {

// Remembered answers live in a key of their own below the settings key, so that a remember-name
// can never collide with one of the program's settings.
QString rememberedKey(const QString& settingsKey) {
    return settingsKey + QStringLiteral("\\Remembered Answers");
}

bool isAnswerCode(std::uint32_t code) {
    return code >= MsgAnswer::OK && code <= MsgAnswer::No;
}

int rememberedAnswer(const QString& settingsKey, const QString& rememberName) {
    const RegValue value = readSettingsValue(kSettingsHive, rememberedKey(settingsKey), rememberName, true);
    if (const auto* number = std::get_if<std::uint32_t>(&value))
        return isAnswerCode(*number) ? int(*number) : 0;
    if (const auto* text = std::get_if<QString>(&value)) {
        bool ok = false;
        const uint code = text->trimmed().toUInt(&ok);
        return ok && isAnswerCode(code) ? int(code) : 0;
    }
    return 0;
}

} // namespace

bool ForgetRememberedAnswers(const QString& settingsKey) {
    if (settingsKey.isEmpty())
        return true;
    const long result = deleteSettingsKey(kSettingsHive, rememberedKey(settingsKey));
    return result == 0 || result == 2; // nothing remembered is as good as forgotten
}

MessageBoxEx::MessageBoxEx() = default;

MessageBoxEx::~MessageBoxEx() = default;

int MessageBoxEx::Show(const QString& prompt, int buttons, const QString& title, const QString& helpFile,
                       long helpContext, const QString& rememberName, QObject* owner) {
    // The check-box settings belong to this one box, whatever happens while it is up.
    MessageRequest request;
    request.prompt = prompt;
    request.buttons = buttons;
    request.title = title;
    request.helpFile = helpFile;
    request.helpContext = helpContext;
    request.rememberName = rememberName;
    request.owner = owner;
    request.showCheckBox = m_showCheckBox;
    request.checkBoxCaption = m_checkBoxCaption;
    const int checkedAnswer = m_checkedAnswer;
    m_showCheckBox = false;
    m_checkBoxCaption.clear();
    m_checkedAnswer = 0;

    const bool canRemember = !rememberName.isEmpty() && !m_settingsKey.isEmpty();
    if (canRemember) {
        if (const int remembered = rememberedAnswer(m_settingsKey, rememberName))
            return remembered;
    }

    const MessageResult result = present(request);

    // A ticked box remembers the answer it stands for, and only when the user gave that answer:
    // ticking "always overwrite" and then answering No must not overwrite files later.
    if (canRemember && request.showCheckBox && result.checked &&
        (checkedAnswer == 0 || result.answer == checkedAnswer)) {
        writeSettingsValue(kSettingsHive, rememberedKey(m_settingsKey), rememberName,
                           std::uint32_t(result.answer), RegType::Number, true);
    }
    return result.answer;
}

} // namespace tallyrow
