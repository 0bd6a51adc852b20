#include "app/status_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace makeddl::app {

// A blank panel that reports every paint to its status bar and draws nothing itself.
class OwnerDrawnPanel : public QFrame {
 public:
  OwnerDrawnPanel(PanelStatusBar* bar) : QFrame(bar), bar_(bar) { setFrameShape(QFrame::Panel); }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    bar_->ownerDrawnPanelPainted(this);
  }

 private:
  PanelStatusBar* bar_;
};

PanelStatusBar::PanelStatusBar(const std::vector<PanelSpec>& panels, QWidget* parent)
    : QWidget(parent), layout_(new QHBoxLayout(this)) {
  QHBoxLayout* layout = layout_;
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  for (const PanelSpec& spec : panels) {
    QWidget* panel = nullptr;
    if (spec.ownerDrawn) {
      panel = new OwnerDrawnPanel(this);
    } else {
      auto* label = new QLabel(spec.text, this);
      label->setFrameShape(QFrame::Panel);
      label->setFrameShadow(QFrame::Sunken);
      panel = label;
    }
    panel->setFixedWidth(spec.width);
    layout->addWidget(panel);
    panels_.push_back(panel);
  }
  layout->addStretch(1);
}

void PanelStatusBar::addTrailingWidget(QWidget* widget, int stretch) {
  layout_->insertWidget(layout_->count() - 1, widget, stretch);  // before the closing stretch
}

QString PanelStatusBar::panelText(int panel) const {
  const auto* label = qobject_cast<const QLabel*>(panels_.at(panel));
  return label ? label->text() : QString();
}

void PanelStatusBar::setPanelText(int panel, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(panels_.at(panel))) label->setText(text);
}

QRect PanelStatusBar::panelRect(int panel) const { return panels_.at(panel)->geometry(); }

void PanelStatusBar::ownerDrawnPanelPainted(QWidget* panel) {
  if (!drawPanel_) return;
  for (int i = 0; i < panelCount(); ++i)
    if (panels_[i] == panel) drawPanel_(*this, i, panel->geometry());
}

}  // namespace makeddl::app
