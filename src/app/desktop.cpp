#include "app/desktop.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMessageBox>

namespace makeddl::app {

QString withReason(const QString& message, const QString& reason) {
  return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
}

QString errorReportText(const QString& errorText) {
  if (!errorText.isEmpty() && errorText.back() > QLatin1Char('.')) return errorText + '.';
  return errorText;
}

void Desktop::reportError(const QString& errorText) {
  showMessage(kApplicationTitle, errorReportText(errorText), MessageIcon::Error);
}

void QtDesktop::showMessage(const QString& caption, const QString& text, MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Warning,
                  caption, text, QMessageBox::Ok, owner_);
  box.exec();
}

bool QtDesktop::askYesNo(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner_);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void QtDesktop::setWaitCursor(bool waiting) {
  if (waiting)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void QtDesktop::setClipboardText(const QString& text) {
  QApplication::clipboard()->setText(text);
}

std::optional<SaveFileChoice> QtDesktop::askSaveFile(const QStringList& filters,
                                                     const QString& defaultSuffix) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(defaultSuffix);
  // A script is saved over an earlier one without a question, and the dialogue offers the
  // name chosen last.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!lastSavePath_.isEmpty()) dialog.selectFile(lastSavePath_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  lastSavePath_ = dialog.selectedFiles().front();
  return SaveFileChoice{lastSavePath_, static_cast<int>(filters.indexOf(dialog.selectedNameFilter()))};
}

std::optional<QString> QtDesktop::browseForFolder(const QString& title, const QString& startFolder) {
  const QString folder = QFileDialog::getExistingDirectory(owner_, title, startFolder);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

}  // namespace makeddl::app
