#pragma once

// The program's message dialog: every message to the operator goes through it, never through the
// desktop's own message box. A text, an optional caption on the frame's tab, a beep when it opens,
// kept on top of the other windows, and the buttons of its style.

#include <QString>

#include "shell/dialog_frame.h"

class QHBoxLayout;

namespace strixc::shell {

// The numbers are the button codes callers know the styles by.
enum class MessageStyle { kOk = 0, kYesNoCancel = 3, kYesNo = 4 };
enum class MessageResult { kOk, kYes, kNo, kCancel };

// The buttons are PictureButtons named "ok", "yes", "no" and "cancel", in that order of the style.
class MessageBox : public DialogFrame {
  Q_OBJECT

 public:
  MessageBox(const QString& text, const QString& caption = {},
             MessageStyle style = MessageStyle::kOk, QWidget* parent = nullptr);

  // The answer so far: the closing answer of the style until a button is pressed.
  MessageResult Result() const { return result_; }
  MessageStyle Style() const { return style_; }

  // Closing the dialog (Escape, the window's close, reject) answers as Cancel would: OK in style
  // kOk, Cancel in kYesNoCancel, No in kYesNo.
  void reject() override;

  // Shows the message modally and returns the answer.
  static MessageResult Show(QWidget* parent, const QString& text,
                            MessageStyle style = MessageStyle::kOk, const QString& caption = {});
  // The same with a text from the string table, in the current language.
  static MessageResult Show(QWidget* parent, int textId, MessageStyle style = MessageStyle::kOk,
                            const QString& caption = {});

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Adds a button to `row` whose press ends the dialog with `answer`.
  void AddButton(QHBoxLayout* row, const char* name, int textId, MessageResult answer);

  MessageResult ClosingResult() const;

  MessageStyle style_;
  MessageResult result_;
};

}  // namespace strixc::shell
