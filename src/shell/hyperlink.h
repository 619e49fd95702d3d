#pragma once

// A static text that opens a web address in the desktop's browser (the About box's link to the
// maker's page).

#include <QColor>
#include <QLabel>
#include <QString>
#include <QUrl>

#include <functional>

namespace strixc::shell {

// Reasons an address could not be opened. The numbers are the system shell's own codes, so a
// reason that has no text of ours still shows a number someone can look up.
namespace hyperlink_error {
constexpr int kOutOfResources = 0;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kNotEnoughMemory = 8;
constexpr int kBadExecutable = 11;
constexpr int kSharingViolation = 26;
constexpr int kAssociationIncomplete = 27;
constexpr int kDdeTimeout = 28;
constexpr int kDdeFailed = 29;
constexpr int kDdeBusy = 30;
constexpr int kNoAssociation = 31;
constexpr int kDllNotFound = 32;
}  // namespace hyperlink_error

// The reason's text; an unknown code gives "Unknown Error (<code>) occurred.".
QString HyperlinkErrorText(int code);
// The whole message shown for a failure: "Unable to open hyperlink:\n\n" and the reason.
QString HyperlinkFailureMessage(int code);

class Hyperlink : public QLabel {
  Q_OBJECT

 public:
  static constexpr QColor kLinkColour{0, 0, 238};
  static constexpr QColor kVisitedColour{85, 26, 139};
  static constexpr QColor kHoverColour{255, 0, 0};

  // Opens an address; false when it could not.
  using Opener = std::function<bool(const QUrl& address)>;
  // Shows a failure message to the operator.
  using ErrorReporter = std::function<void(const QString& message)>;

  explicit Hyperlink(const QString& text, const QString& address, QWidget* parent = nullptr);

  void SetAddress(const QString& address);
  QString Address() const { return address_; }

  // The colour the text is drawn in now: hover over visited over plain.
  QColor Colour() const;
  bool Visited() const { return visited_; }
  bool Hovered() const { return hovered_; }

  // Opens the address as a click does; false on failure (after the beep and the report).
  bool Open();

  // Default: the desktop's URL handler.
  void SetOpener(Opener opener);
  // Called with each failure message, after OpenFailed. Default: the program's message box over
  // the link's window.
  void SetErrorReporter(ErrorReporter reporter);
  // The last failure message; empty until one happened.
  QString LastError() const { return lastError_; }

 signals:
  void OpenFailed(const QString& message);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ApplyColour();

  QString address_;
  Opener opener_;
  ErrorReporter reporter_;
  QString lastError_;
  bool visited_ = false;
  bool hovered_ = false;
};

}  // namespace strixc::shell
