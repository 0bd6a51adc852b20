#include "app/panel_mover.h"

#include <QMouseEvent>
#include <QWidget>
#include <algorithm>

namespace makeddl::app {

PanelMover::PanelMover(QWidget* panel) : QObject(panel), panel_(panel) {}

void PanelMover::addHandle(QWidget* handle) { handle->installEventFilter(this); }

bool PanelMover::eventFilter(QObject* watched, QEvent* event) {
  auto* handle = qobject_cast<QWidget*>(watched);
  if (!handle) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* press = static_cast<QMouseEvent*>(event);
      return startMove(handle, press->position().toPoint(), press->globalPosition().toPoint());
    }
    case QEvent::MouseMove:
      if (!moving_) return false;
      followPointer(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
      return true;
    case QEvent::MouseButtonRelease:
      if (!moving_) return false;
      moving_ = false;
      return true;
    default:
      return false;
  }
}

bool PanelMover::startMove(QWidget* handle, QPoint localPos, QPoint globalPos) {
  // A press that a child control ignored bubbles up to the page: it is no press on the page.
  if (handle->childAt(localPos) != nullptr) return false;
  moving_ = true;
  grabOffset_ = panel_->mapFromGlobal(globalPos);
  return true;
}

void PanelMover::followPointer(QPoint globalPos) {
  QWidget* parent = panel_->parentWidget();
  QPoint topLeft = parent->mapFromGlobal(globalPos) - grabOffset_;
  topLeft.setX(std::clamp(topLeft.x(), 0, std::max(0, parent->width() - panel_->width())));
  topLeft.setY(std::clamp(topLeft.y(), 0, std::max(0, parent->height() - panel_->height())));
  panel_->move(topLeft);
}

}  // namespace makeddl::app
