#include "gui/Modal.h"

#include <QDialog>

namespace vk {

namespace {
TModalRunner* gRunner = nullptr;
}

int RunModal(QDialog* dialog) { return gRunner ? gRunner->Run(dialog) : dialog->exec(); }

TModalRunner* SetModalRunner(TModalRunner* runner) {
  TModalRunner* before = gRunner;
  gRunner = runner;
  return before;
}

}  // namespace vk
