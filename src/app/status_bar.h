#pragma once
// StatusBar1: six fixed-width panels. Panel 4 is owner-drawn: each time it is painted its
// rectangle is handed to the window, which keeps it as the place for the progress bar.

#include <QRect>
#include <QWidget>
#include <functional>
#include <vector>

class QHBoxLayout;
class QLabel;

namespace makeddl::app {

class PanelStatusBar : public QWidget {
  Q_OBJECT
 public:
  using DrawPanelHandler = std::function<void(PanelStatusBar&, int panel, const QRect& rect)>;

  struct PanelSpec {
    int width;
    QString text;
    bool ownerDrawn = false;
  };

  PanelStatusBar(const std::vector<PanelSpec>& panels, QWidget* parent);

  QString panelText(int panel) const;
  void setPanelText(int panel, const QString& text);
  int panelCount() const { return static_cast<int>(panels_.size()); }
  // The panel's rectangle in status-bar coordinates.
  QRect panelRect(int panel) const;
  void setDrawPanelHandler(DrawPanelHandler handler) { drawPanel_ = std::move(handler); }
  // A widget after the last panel, in the bar's free space.
  void addTrailingWidget(QWidget* widget, int stretch = 0);

 private:
  friend class OwnerDrawnPanel;
  void ownerDrawnPanelPainted(QWidget* panel);

  std::vector<QWidget*> panels_;
  QHBoxLayout* layout_;
  DrawPanelHandler drawPanel_;
};

}  // namespace makeddl::app
