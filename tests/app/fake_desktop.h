#pragma once
// Desktop services for headless tests: records every message and cursor change and answers
// the dialogues with prepared answers.

#include <deque>
#include <optional>
#include <vector>

#include "app/desktop.h"
#include "connection/discovery.h"

namespace makeddl::app::testing {

// Discovery that asks one loopback port where nothing answers: window tests never send a
// request anywhere else.
inline connection::DiscoverySettings loopbackOnlyDiscovery() {
  return {{{"127.0.0.1", 9}}, std::chrono::milliseconds(100)};
}

struct ShownMessage {
  QString caption;
  QString text;
  MessageIcon icon;
};

class FakeDesktop : public Desktop {
 public:
  void showMessage(const QString& caption, const QString& text, MessageIcon icon) override {
    messages.push_back({caption, text, icon});
  }
  bool askYesNo(const QString& caption, const QString& text) override {
    questions.push_back({caption, text, MessageIcon::Warning});
    const bool answer = !yesNoAnswers.empty() && yesNoAnswers.front();
    dropAnswer(yesNoAnswers);
    return answer;
  }
  void setWaitCursor(bool waiting) override {
    waitDepth += waiting ? 1 : -1;
    ++cursorChanges;
  }
  void setClipboardText(const QString& text) override { clipboard = text; }
  std::optional<SaveFileChoice> askSaveFile(const QStringList& filters, const QString&) override {
    offeredFilters = filters;
    if (saveAnswers.empty() || saveAnswers.front().path.isEmpty()) return dropAnswer(saveAnswers), std::nullopt;
    const SaveFileChoice answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
  }
  std::optional<QString> browseForFolder(const QString& title, const QString& startFolder) override {
    folderDialogTitle = title;
    folderDialogStart = startFolder;
    if (folderAnswers.empty() || folderAnswers.front().isEmpty()) return dropAnswer(folderAnswers), std::nullopt;
    const QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
  }

  std::vector<ShownMessage> messages;
  std::vector<ShownMessage> questions;  // yes/no questions asked, in order
  int waitDepth = 0;
  int cursorChanges = 0;
  QString clipboard;
  QStringList offeredFilters;
  QString folderDialogTitle;
  QString folderDialogStart;
  // Prepared answers, taken in order; an empty path or folder (or none left) cancels.
  std::deque<SaveFileChoice> saveAnswers;
  std::deque<QString> folderAnswers;
  std::deque<bool> yesNoAnswers;  // none left answers No

 private:
  template <typename T>
  static void dropAnswer(std::deque<T>& answers) {
    if (!answers.empty()) answers.pop_front();
  }
};

}  // namespace makeddl::app::testing
