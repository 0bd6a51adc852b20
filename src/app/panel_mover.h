#pragma once
// Lets the user drag a floating child panel by pressing on its strip or on an empty area of
// its pages: the panel follows the pointer until the button is released, and stays inside
// its parent. Presses on controls inside the pages do not move it.

#include <QObject>
#include <QPoint>

class QWidget;

namespace makeddl::app {

class PanelMover : public QObject {
  Q_OBJECT
 public:
  explicit PanelMover(QWidget* panel);
  // A press on this widget itself (not on one of its child controls) starts a move.
  void addHandle(QWidget* handle);
  bool isMoving() const { return moving_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool startMove(QWidget* handle, QPoint localPos, QPoint globalPos);
  void followPointer(QPoint globalPos);

  QWidget* panel_;
  bool moving_ = false;
  QPoint grabOffset_;  // pointer position relative to the panel's top-left corner
};

}  // namespace makeddl::app
