#pragma once
// The desktop services the window needs: message boxes, the wait cursor, the clipboard and
// the file and folder dialogues. The window reaches them only through this interface, so
// that headless tests answer the dialogues and read the messages.

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace makeddl::app {

enum class MessageIcon { Error, Warning };

// The caption of every message of the system.
inline const QString kMessageCaption = QStringLiteral("系统提示");
// The application title, also the caption of the default error report.
inline const QString kApplicationTitle = QStringLiteral("SQL SERVER 工具");

struct SaveFileChoice {
  QString path;
  int filterIndex = 0;  // which of the offered file types was chosen, from 0
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A modal message box owned by the window, with an OK button.
  virtual void showMessage(const QString& caption, const QString& text, MessageIcon icon) = 0;

  // A modal question owned by the window, with Yes and No buttons; true for Yes.
  virtual bool askYesNo(const QString& caption, const QString& text) = 0;

  virtual void setWaitCursor(bool waiting) = 0;
  virtual void setClipboardText(const QString& text) = 0;

  // The save-file dialogue; filters as Qt writes them ("SQL 文件 (*.sql)"). Empty when cancelled.
  virtual std::optional<SaveFileChoice> askSaveFile(const QStringList& filters,
                                                    const QString& defaultSuffix) = 0;
  // The folder-browse dialogue with a title, starting at startFolder. Empty when cancelled.
  virtual std::optional<QString> browseForFolder(const QString& title, const QString& startFolder) = 0;

  // A message of the system: caption "系统提示".
  void notify(const QString& text, MessageIcon icon) { showMessage(kMessageCaption, text, icon); }

  // The default report of an error no command handled itself.
  void reportError(const QString& errorText);
};

// A fixed message with the reason the server or the driver gave after it, on a line of its own.
QString withReason(const QString& message, const QString& reason);

// The text the default error report shows: "." is appended when the last character sorts
// after ".".
QString errorReportText(const QString& errorText);

// Shows the wait cursor while alive and restores the normal cursor when it goes, also when
// the command it guards fails.
class WaitCursor {
 public:
  explicit WaitCursor(Desktop& desktop) : desktop_(desktop) { desktop_.setWaitCursor(true); }
  ~WaitCursor() { desktop_.setWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Desktop& desktop_;
};

// The real desktop, on Qt Widgets; dialogues and boxes are owned by the given window.
class QtDesktop : public Desktop {
 public:
  explicit QtDesktop(QWidget* owner) : owner_(owner) {}
  void setOwner(QWidget* owner) { owner_ = owner; }
  void showMessage(const QString& caption, const QString& text, MessageIcon icon) override;
  bool askYesNo(const QString& caption, const QString& text) override;
  void setWaitCursor(bool waiting) override;
  void setClipboardText(const QString& text) override;
  std::optional<SaveFileChoice> askSaveFile(const QStringList& filters,
                                            const QString& defaultSuffix) override;
  std::optional<QString> browseForFolder(const QString& title, const QString& startFolder) override;

 private:
  QWidget* owner_;
  QString lastSavePath_;  // the file chosen last in the save dialogue during this run
};

}  // namespace makeddl::app
