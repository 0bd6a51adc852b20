#include "app/application.h"

#include "common/text_codec.h"

namespace makeddl::app {

QString applicationTitleFromBig5() {
  static constexpr char kTitleBig5[] = "SQL SERVER \xA4\x75\xA8\xE3";
  return QString::fromStdString(decodeToUtf8(kTitleBig5, Encoding::Big5));
}

}  // namespace makeddl::app
